// Preloaded into the board's own binary under qemu-ppc, so that the unchanged
// hardware back-end runs on the simulated board:
// - the C library calls of the machine seam go to the board, and their
//   arguments are checked to be exactly the board's (device, flags, window,
//   scheduling, log identity); any other argument ends the run with status
//   kTestError and the reason on standard error;
// - the board is set up from IDSTAMP_SIM_* before the program's main runs and
//   ends after it returns, as in idstamp-sim;
// - the window handed out is inaccessible, so a register load or store
//   traps; the handler decodes it, carries it out on the board with its exact
//   width and steps past the instruction;
// - then it patches that one instruction into a branch to a stub that does
//   the same by a plain call (site_patch.h), since a signal under qemu costs
//   some 17 us and the busy-waits make millions of accesses.
//   IDSTAMP_BOARD_TRAP=every keeps every access trapping.
// Everything else passes through to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <syslog.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "sim/host/preload/register_access.h"
#include "sim/host/preload/site_patch.h"

#if !defined(__powerpc__) || defined(__powerpc64__)
#error "the register trap decodes 32-bit PowerPC instructions"
#endif

namespace {

// Exit status of a run the test itself rejects: far from the tool's 0 and 255.
constexpr int kTestError = 99;

// Set while the board runs: calls it makes itself (its reservation of the
// window, the host's log) go to the C library unchecked.
bool g_in_board = false;

struct InBoard {
    bool was = g_in_board;
    InBoard() { g_in_board = true; }
    ~InBoard() { g_in_board = was; }
};

std::set<int> g_devmem_fds; // every descriptor the board handed out for /dev/mem
int g_max_priority = -1;    // what sched_get_priority_max(SCHED_RR) answered

[[noreturn]] void test_error(const char *format, ...) __attribute__((format(printf, 1, 2)));

void test_error(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // What the tool printed so far helps to see where it went wrong; the
    // tool is never inside stdio when it touches the window.
    std::fflush(stdout);
    // Then straight out, without the exit handlers: this may run in the trap
    // handler, or with the board half way through a step.
    const std::string line = std::string("idstamp board preload: ") + text + "\n";
    if (write(2, line.data(), line.size()) < 0) {
        // nothing more to say
    }
    _exit(kTestError);
}

template <typename F> F real(const char *name)
{
    void *symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        test_error("no %s in the C library", name);
    return reinterpret_cast<F>(symbol);
}

// Carries out `access` with the general registers `gpr`: on the board when it touches the window, else as the plain access it
// is (only a patched site can meet ordinary memory).
void carry_out(const RegisterAccess &access, uint32_t *gpr)
{
    const uintptr_t base = reinterpret_cast<uintptr_t>(sim::window());
    const uint32_t address = effective_address(access, gpr);
    const bool touches = base != 0 && address < base + sim::kWindowSize && address + access.width > base;
    if (touches && (address < base || address + access.width > base + sim::kWindowSize))
        test_error("access of %u bytes at 0x%08x runs out of the register window", access.width,
                   static_cast<unsigned>(address));

    const auto at = static_cast<uintptr_t>(address);
    if (access.store) {
        if (touches) {
            const InBoard in_board;
            sim::reg_write32(static_cast<uint32_t>(at - base), gpr[access.rt]);
        } else {
            *reinterpret_cast<volatile uint32_t *>(at) = gpr[access.rt];
        }
    } else {
        uint32_t value = 0;
        if (touches) {
            const InBoard in_board;
            const auto offset = static_cast<uint32_t>(at - base);
            switch (access.width) {
            case 1: value = sim::reg_read8(offset); break;
            case 2: value = sim::reg_read16(offset); break;
            default: value = sim::reg_read32(offset); break;
            }
        } else {
            switch (access.width) {
            case 1: value = *reinterpret_cast<const volatile uint8_t *>(at); break;
            case 2: value = *reinterpret_cast<const volatile uint16_t *>(at); break;
            default: value = *reinterpret_cast<const volatile uint32_t *>(at); break;
            }
        }
        gpr[access.rt] = value;
    }
    if (access.update)
        gpr[access.ra] = address;
}

// ---- sites patched into branches to a stub (site_patch.h) ----

struct PatchedSite {
    RegisterAccess access;
    uint32_t nip;
};

constexpr size_t kMaxSites = 32;
constexpr size_t kStubArea = kMaxSites * site_patch::kStubWords * 4;
PatchedSite g_sites[kMaxSites];
size_t g_site_count = 0;
uint32_t *g_stubs = nullptr;  // kMaxSites stubs, within a branch's reach of the program's code
bool g_patch_sites = true;    // IDSTAMP_BOARD_TRAP=every turns it off

void patched_access(uint32_t *regs, const void *site)
{
    const auto *patched = static_cast<const PatchedSite *>(site);
    carry_out(patched->access, regs);
}

// A branch reaches 32 MB either way; the stubs sit within 30 MB of the site.
bool near(uintptr_t a, uint32_t site)
{
    const auto distance = static_cast<int64_t>(a) - static_cast<int64_t>(site);
    return distance > -(30 << 20) && distance + static_cast<int64_t>(kStubArea) < (30 << 20);
}

// The stub area, mapped near the first site; null when no such place is free.
uint32_t *stub_area(uint32_t site)
{
    const auto map = [](uintptr_t hint) {
        void *p = mmap(reinterpret_cast<void *>(hint), kStubArea, PROT_READ | PROT_WRITE | PROT_EXEC,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    };
    for (int mb = 0; mb <= 24; mb++) {
        for (int side : {-1, 1}) {
            if (mb == 0 && side > 0)
                break; // the site's own megabyte is tried once
            const int64_t hint = (static_cast<int64_t>(site) & ~int64_t{0xFFFFF}) + side * (int64_t{mb} << 20);
            void *p = map(hint > 0 ? static_cast<uintptr_t>(hint) : 0);
            if (p != nullptr && near(reinterpret_cast<uintptr_t>(p), site))
                return static_cast<uint32_t *>(p);
            if (p != nullptr)
                munmap(p, kStubArea);
        }
    }
    return nullptr;
}

// Turns the site at `nip` into a branch to a stub of its own. A site that
// cannot be patched keeps trapping, which is slower and otherwise the same.
void patch_site(const RegisterAccess &access, uint32_t nip)
{
    // The stub puts every general register back but r1.
    if (!g_patch_sites || g_site_count == kMaxSites || access.rt == 1 || access.ra == 1)
        return;
    const InBoard in_board;
    if (g_stubs == nullptr && (g_stubs = stub_area(nip)) == nullptr) {
        g_patch_sites = false;
        return;
    }
    PatchedSite &site = g_sites[g_site_count];
    site = PatchedSite{access, nip};
    uint32_t *stub = g_stubs + g_site_count * site_patch::kStubWords;
    const auto stub_at = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stub));
    uint32_t words[site_patch::kStubWords];
    uint32_t branch = 0;
    if (!site_patch::build_stub(stub_at, nip + 4, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&patched_access)),
                                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&site)), words)
        || !site_patch::relative_branch(nip, stub_at, branch))
        return;
    std::memcpy(stub, words, sizeof words);
    __builtin___clear_cache(reinterpret_cast<char *>(stub), reinterpret_cast<char *>(stub + site_patch::kStubWords));

    const long page = sysconf(_SC_PAGESIZE);
    const uintptr_t start = static_cast<uintptr_t>(nip) & ~static_cast<uintptr_t>(page - 1);
    auto *code = reinterpret_cast<uint32_t *>(static_cast<uintptr_t>(nip));
    if (mprotect(reinterpret_cast<void *>(start), static_cast<size_t>(page), PROT_READ | PROT_WRITE | PROT_EXEC) != 0)
        return;
    *code = branch;
    __builtin___clear_cache(reinterpret_cast<char *>(code), reinterpret_cast<char *>(code + 1));
    if (mprotect(reinterpret_cast<void *>(start), static_cast<size_t>(page), PROT_READ | PROT_EXEC) != 0)
        test_error("cannot make the code at 0x%08x read-only again: %s", static_cast<unsigned>(nip),
                   std::strerror(errno));
    g_site_count++;
}

void on_register_trap(int, siginfo_t *info, void *context)
{
    auto *uc = static_cast<ucontext_t *>(context);
    unsigned long *gregs = uc->uc_mcontext.uc_regs->gregs;
    const uint32_t nip = static_cast<uint32_t>(gregs[PT_NIP]);
    const uintptr_t fault = reinterpret_cast<uintptr_t>(info->si_addr);
    const uintptr_t base = reinterpret_cast<uintptr_t>(sim::window());
    if (base == 0 || fault < base || fault >= base + sim::kWindowSize)
        test_error("segmentation fault at %p outside the register window (instruction at 0x%08x)", info->si_addr,
                   static_cast<unsigned>(nip));

    const uint32_t instruction = *reinterpret_cast<const uint32_t *>(static_cast<uintptr_t>(nip));
    RegisterAccess access;
    std::string refusal;
    if (!decode_register_access(instruction, access, refusal))
        test_error("register window access at 0x%08x: %s", static_cast<unsigned>(nip), refusal.c_str());
    uint32_t gpr[32];
    for (unsigned i = 0; i < 32; i++)
        gpr[i] = static_cast<uint32_t>(gregs[PT_R0 + i]);
    carry_out(access, gpr);
    gregs[PT_R0 + access.rt] = gpr[access.rt];
    if (access.update)
        gregs[PT_R0 + access.ra] = gpr[access.ra];
    gregs[PT_NIP] = nip + 4;
    patch_site(access, nip);
}

void finish_board()
{
    std::fflush(stdout); // the tool's output comes before anything the board prints
    const InBoard in_board;
    sim::finish();
    // The board counts calls the tool must never make; here they fail the run.
    if (sim::stats().misuses != 0) {
        for (const std::string &m : sim::misuse_log())
            std::fprintf(stderr, "idstamp board preload: misuse: %s\n", m.c_str());
        std::fflush(stderr);
        _exit(kTestError);
    }
    // An image that could not be saved ends the run with sim::kImageNotSaved,
    // as in idstamp-sim, whatever the program returned.
    if (const int status = sim::exit_status(0); status != 0) {
        std::fflush(stderr);
        _exit(status);
    }
}

void start_board()
{
    const InBoard in_board;
    std::string error;
    if (!sim::start_from_env(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        _exit(255);
    }

    // Every access traps when IDSTAMP_BOARD_TRAP is "every"; by default
    // ("first") only the first at each site does (patch_site).
    if (const char *trap = std::getenv("IDSTAMP_BOARD_TRAP")) {
        if (std::strcmp(trap, "every") == 0)
            g_patch_sites = false;
        else if (std::strcmp(trap, "first") != 0)
            test_error("IDSTAMP_BOARD_TRAP: \"%s\" is neither \"first\" nor \"every\"", trap);
    }

    struct sigaction action {};
    action.sa_sigaction = on_register_trap;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGSEGV, &action, nullptr) != 0)
        test_error("cannot catch SIGSEGV: %s", std::strerror(errno));
}

// What the PowerPC start code hands the C library: the program's main among it.
struct StartupInfo {
    void *sda_base;
    int (*main)(int, char **, char **, void *);
    int (*init)(int, char **, char **, void *);
    void (*fini)();
};

int (*g_program_main)(int, char **, char **, void *) = nullptr;

// The program's main with the board around it, as idstamp-sim's main has it.
// Every initialiser has run by now, so the board's end, registered here, runs
// before any static object is destroyed, whatever order the libraries'
// initialisers took.
int board_main(int argc, char **argv, char **envp, void *auxv)
{
    start_board();
    std::atexit(finish_board);
    return g_program_main(argc, argv, envp, auxv);
}

bool is_devmem_fd(int fd)
{
    return g_devmem_fds.count(fd) != 0;
}

int open_checked(const char *real_name, const char *path, int flags, va_list args)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        mode = va_arg(args, mode_t);
    if (g_in_board || path == nullptr || std::strcmp(path, "/dev/mem") != 0)
        return real<int (*)(const char *, int, ...)>(real_name)(path, flags, mode);
    if (flags != (O_RDWR | O_SYNC))
        test_error("%s(\"/dev/mem\", 0x%x): the flags must be O_RDWR | O_SYNC (0x%x)", real_name,
                   static_cast<unsigned>(flags), static_cast<unsigned>(O_RDWR | O_SYNC));
    const InBoard in_board;
    const int fd = sim::mem_open(path, flags);
    if (fd >= 0)
        g_devmem_fds.insert(fd);
    return fd;
}

void *map_checked(void *hint, size_t length, int prot, int flags, int fd, int64_t offset)
{
    if (hint != nullptr || length != sim::kWindowSize || prot != (PROT_READ | PROT_WRITE) || flags != MAP_SHARED
        || offset != static_cast<int64_t>(sim::kWindowPhys))
        test_error("mmap(%p, 0x%zx, 0x%x, 0x%x, %d, 0x%llx) of /dev/mem: expected (nil, 0x%llx, PROT_READ | "
                   "PROT_WRITE, MAP_SHARED, fd, 0x%llx)",
                   hint, length, static_cast<unsigned>(prot), static_cast<unsigned>(flags), fd,
                   static_cast<unsigned long long>(offset), static_cast<unsigned long long>(sim::kWindowSize),
                   static_cast<unsigned long long>(sim::kWindowPhys));
    const InBoard in_board;
    return sim::mem_map(hint, length, prot, flags, fd, offset);
}

std::string formatted(const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    return text.data();
}

void log_line(int priority, const char *format, va_list args)
{
    const std::string text = formatted(format, args);
    const InBoard in_board;
    sim::syslog(priority, text);
}

} // namespace

// The fortified log calls are not declared by the headers of a plain build.
extern "C" void __syslog_chk(int priority, int flag, const char *format, ...);
extern "C" void __vsyslog_chk(int priority, int flag, const char *format, va_list args);

extern "C" {

// The board starts when the program's main is called and ends when it exits.
int __libc_start_main(int argc, char **argv, char **envp, void *auxv, void (*rtld_fini)(), StartupInfo *startup,
                      char **stack_on_entry)
{
    using Start = int (*)(int, char **, char **, void *, void (*)(), StartupInfo *, char **);
    if (startup == nullptr || startup->main == nullptr)
        test_error("the program's start code gave no main");
    static StartupInfo wrapped;
    wrapped = *startup;
    g_program_main = startup->main;
    wrapped.main = board_main;
    return real<Start>("__libc_start_main")(argc, argv, envp, auxv, rtld_fini, &wrapped, stack_on_entry);
}

int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = open_checked("open", path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = open_checked("open64", path, flags, args);
    va_end(args);
    return fd;
}

void *mmap(void *hint, size_t length, int prot, int flags, int fd, off_t offset) noexcept
{
    if (g_in_board || !is_devmem_fd(fd))
        return real<void *(*)(void *, size_t, int, int, int, off_t)>("mmap")(hint, length, prot, flags, fd, offset);
    return map_checked(hint, length, prot, flags, fd, offset);
}

void *mmap64(void *hint, size_t length, int prot, int flags, int fd, off64_t offset) noexcept
{
    if (g_in_board || !is_devmem_fd(fd))
        return real<void *(*)(void *, size_t, int, int, int, off64_t)>("mmap64")(hint, length, prot, flags, fd,
                                                                                 offset);
    return map_checked(hint, length, prot, flags, fd, offset);
}

int close(int fd)
{
    if (g_in_board || !is_devmem_fd(fd))
        return real<int (*)(int)>("close")(fd);
    const InBoard in_board;
    return sim::mem_close(fd);
}

unsigned int sleep(unsigned int seconds)
{
    if (g_in_board)
        return real<unsigned int (*)(unsigned int)>("sleep")(seconds);
    const InBoard in_board;
    return sim::sleep_seconds(seconds);
}

int sched_get_priority_max(int policy) noexcept
{
    if (g_in_board)
        return real<int (*)(int)>("sched_get_priority_max")(policy);
    if (policy != SCHED_RR)
        test_error("sched_get_priority_max(%d): expected SCHED_RR (%d)", policy, SCHED_RR);
    const InBoard in_board;
    g_max_priority = sim::sched_priority_max(policy);
    return g_max_priority;
}

int sched_setscheduler(pid_t pid, int policy, const struct sched_param *param) noexcept
{
    if (g_in_board)
        return real<int (*)(pid_t, int, const struct sched_param *)>("sched_setscheduler")(pid, policy, param);
    if (pid != 0 || policy != SCHED_RR || param == nullptr || g_max_priority < 0
        || param->sched_priority != g_max_priority)
        test_error("sched_setscheduler(%d, %d, priority %d): expected (0, SCHED_RR, priority %d from "
                   "sched_get_priority_max(SCHED_RR))",
                   static_cast<int>(pid), policy, param != nullptr ? param->sched_priority : -1, g_max_priority);
    const InBoard in_board;
    return sim::sched_set(pid, policy, param->sched_priority);
}

void openlog(const char *ident, int option, int facility)
{
    if (g_in_board) {
        real<void (*)(const char *, int, int)>("openlog")(ident, option, facility);
        return;
    }
    if (ident == nullptr || std::strcmp(ident, "##### IDSTAMP") != 0 || option != (LOG_CONS | LOG_NDELAY)
        || facility != LOG_USER)
        test_error("openlog(\"%s\", 0x%x, %d): expected (\"##### IDSTAMP\", LOG_CONS | LOG_NDELAY, LOG_USER)",
                   ident != nullptr ? ident : "(null)", static_cast<unsigned>(option), facility);
    const InBoard in_board;
    sim::openlog(ident, option, facility);
}

void vsyslog(int priority, const char *format, va_list args)
{
    if (g_in_board) {
        real<void (*)(int, const char *, va_list)>("vsyslog")(priority, format, args);
        return;
    }
    log_line(priority, format, args);
}

void syslog(int priority, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}

void __vsyslog_chk(int priority, int flag, const char *format, va_list args)
{
    if (g_in_board) {
        real<void (*)(int, int, const char *, va_list)>("__vsyslog_chk")(priority, flag, format, args);
        return;
    }
    log_line(priority, format, args);
}

void __syslog_chk(int priority, int flag, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    __vsyslog_chk(priority, flag, format, args);
    va_end(args);
}

} // extern "C"
