#include "harness/product_state.h"

#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace harness {

namespace {

// The product's writable globals, by source file. The record page images,
// the IPv4 texts and the timing tables are rewritten before use by every
// path that reads them today; they are reset all the same, as a new
// process has them.
const std::vector<ProductGlobal> kGlobals = {
    {"command_line.cpp", "sleepTime"},
    {"hardware_bringup.cpp", "memDriver"},
    {"run_sequence.cpp", "logOpened"},
    {"ipv4_work.cpp", "Ip1"},
    {"ipv4_work.cpp", "Net1"},
    {"ipv4_work.cpp", "Gw1"},
    {"ipv4_work.cpp", "Ip2"},
    {"ipv4_work.cpp", "Net2"},
    {"ipv4_work.cpp", "Gw2"},
    {"bus_bringup.cpp", "eepromAccess"},
    {"mac_record.cpp", "myWexloMac"},
    {"ipv4_record.cpp", "myWexloIp"},
    {"string_record.cpp", "myWexloStr"},
    {"memory_read.cpp", "takenBytes"},
    {"rerun.cpp", "onewireReruns"},
    {"rerun.cpp", "heldLines"},
    {"rerun.cpp", "heldCount"},
    {"timer.cpp", "gtm"},
    {"timer.cpp", "usecTimerPtr"},
    {"timer.cpp", "timer_initialized"},
    {"onewiresignal.cpp", "ds2431Timing"},
    {"onewiresignal.cpp", "ds28ec20Timing"},
    {"onewiresignal.cpp", "owDisturbedSlots"},
};

[[noreturn]] void give_up(const std::string &why)
{
    std::fprintf(stderr, "product state: %s\n", why.c_str());
    std::abort();
}

// A symbol's source-level name: a static at namespace scope is mangled as
// _ZL<length><name>.
std::string plain_name(const char *symbol)
{
    if (std::strncmp(symbol, "_ZL", 3) != 0)
        return symbol;
    char *rest = nullptr;
    const unsigned long length = std::strtoul(symbol + 3, &rest, 10);
    return std::string(rest, std::min<size_t>(length, std::strlen(rest)));
}

ElfW(Addr) load_bias()
{
    ElfW(Addr) bias = 0;
    // The first object reported is the program itself.
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *out) {
            *static_cast<ElfW(Addr) *>(out) = info->dlpi_addr;
            return 1;
        },
        &bias);
    return bias;
}

struct Found {
    std::set<std::string> units;             // source files linked in
    std::map<std::string, ElfW(Sym)> locals; // "unit/name"
    std::map<std::string, ElfW(Sym)> globals;
    std::set<std::string> ambiguous;
};

void add_symbol(Found &found, const ElfW(Sym) &sym, const std::string &unit, const char *name)
{
    if (ELF64_ST_TYPE(sym.st_info) != STT_OBJECT || sym.st_shndx == SHN_UNDEF)
        return;
    const bool local = ELF64_ST_BIND(sym.st_info) == STB_LOCAL;
    const std::string key = local ? unit + "/" + plain_name(name) : std::string(name);
    auto &table = local ? found.locals : found.globals;
    if (!table.emplace(key, sym).second)
        found.ambiguous.insert(key);
}

// The objects of the running program's symbol table; locals follow the
// file symbol of their source file.
Found symbols_of_program()
{
    const int fd = open("/proc/self/exe", O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0)
        give_up("cannot open /proc/self/exe");
    const size_t size = static_cast<size_t>(st.st_size);
    void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED)
        give_up("cannot map /proc/self/exe");
    const char *file = static_cast<const char *>(map);
    const auto *header = reinterpret_cast<const ElfW(Ehdr) *>(file);
    const auto *sections = reinterpret_cast<const ElfW(Shdr) *>(file + header->e_shoff);
    Found found;
    for (unsigned i = 0; i < header->e_shnum; i++) {
        if (sections[i].sh_type != SHT_SYMTAB)
            continue;
        const auto *syms = reinterpret_cast<const ElfW(Sym) *>(file + sections[i].sh_offset);
        const char *names = file + sections[sections[i].sh_link].sh_offset;
        std::string unit;
        for (size_t s = 0; s < sections[i].sh_size / sizeof(ElfW(Sym)); s++) {
            if (ELF64_ST_TYPE(syms[s].st_info) == STT_FILE)
                found.units.insert(unit = names + syms[s].st_name);
            else
                add_symbol(found, syms[s], unit, names + syms[s].st_name);
        }
    }
    munmap(map, size);
    if (found.units.empty())
        give_up("the program has no symbol table (stripped?)");
    return found;
}

// Copies without the address sanitizer's checks: a clang build gives a
// global's symbol the size of its padding too.
__attribute__((no_sanitize_address)) void copy_bytes(volatile unsigned char *to, const volatile unsigned char *from,
                                                     size_t size)
{
    for (size_t i = 0; i < size; i++)
        to[i] = from[i];
}

const ElfW(Sym) *find_symbol(const Found &found, const ProductGlobal &global)
{
    const std::string local_key = std::string(global.unit) + "/" + global.name;
    if (found.ambiguous.count(local_key) != 0 || found.ambiguous.count(global.name) != 0)
        give_up(local_key + " is defined twice in the program");
    const auto local = found.locals.find(local_key);
    if (local != found.locals.end())
        return &local->second;
    const auto global_sym = found.globals.find(global.name);
    return global_sym != found.globals.end() ? &global_sym->second : nullptr;
}

GlobalBytes locate(const Found &found, const ProductGlobal &global, ElfW(Addr) bias)
{
    GlobalBytes bytes;
    const ElfW(Sym) *sym = find_symbol(found, global);
    if (sym == nullptr) {
        if (found.units.count(global.unit) != 0)
            give_up(std::string(global.unit) + "/" + global.name + " is not in the program's symbol table");
        return bytes; // its source file is not linked in
    }
    bytes.at = reinterpret_cast<unsigned char *>(bias + sym->st_value);
    bytes.size = sym->st_size;
    bytes.initial.resize(bytes.size);
    copy_bytes(reinterpret_cast<unsigned char *>(bytes.initial.data()), bytes.at, bytes.size);
    return bytes;
}

// Taken once, before main: the product's globals are all initialised
// statically, so they hold their start-up bytes then.
const std::vector<GlobalBytes> &state()
{
    static const std::vector<GlobalBytes> taken = [] {
        const Found found = symbols_of_program();
        const ElfW(Addr) bias = load_bias();
        std::vector<GlobalBytes> all;
        for (const ProductGlobal &global : kGlobals)
            all.push_back(locate(found, global, bias));
        return all;
    }();
    return taken;
}

const bool kTakenAtStart = !state().empty();

} // namespace

const std::vector<ProductGlobal> &product_globals()
{
    return kGlobals;
}

const GlobalBytes &product_global(const ProductGlobal &global)
{
    for (size_t i = 0; i < kGlobals.size(); i++)
        if (std::strcmp(kGlobals[i].unit, global.unit) == 0 && std::strcmp(kGlobals[i].name, global.name) == 0)
            return state()[i];
    give_up(std::string(global.unit) + "/" + global.name + " is not a listed product global");
}

void reset_product_state()
{
    (void)kTakenAtStart;
    for (const GlobalBytes &bytes : state())
        copy_bytes(bytes.at, reinterpret_cast<const unsigned char *>(bytes.initial.data()), bytes.size);
}

} // namespace harness
