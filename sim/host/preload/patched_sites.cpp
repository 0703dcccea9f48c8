#include "sim/host/preload/patched_sites.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "sim/host/preload/interpose.h"
#include "sim/host/preload/site_patch.h"
#include "sim/host/preload/window_access.h"

namespace preload {

namespace {

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

// Overwrites the instruction at `nip` with `branch`, the code's page writable
// for just that long.
bool write_branch(uint32_t nip, uint32_t branch)
{
    const long page = sysconf(_SC_PAGESIZE);
    const uintptr_t start = static_cast<uintptr_t>(nip) & ~static_cast<uintptr_t>(page - 1);
    auto *code = reinterpret_cast<uint32_t *>(static_cast<uintptr_t>(nip));
    if (mprotect(reinterpret_cast<void *>(start), static_cast<size_t>(page), PROT_READ | PROT_WRITE | PROT_EXEC) != 0)
        return false;
    *code = branch;
    __builtin___clear_cache(reinterpret_cast<char *>(code), reinterpret_cast<char *>(code + 1));
    if (mprotect(reinterpret_cast<void *>(start), static_cast<size_t>(page), PROT_READ | PROT_EXEC) != 0)
        test_error("cannot make the code at 0x%08x read-only again: %s", static_cast<unsigned>(nip),
                   std::strerror(errno));
    return true;
}

} // namespace

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
    if (write_branch(nip, branch))
        g_site_count++;
}

void keep_every_access_trapping()
{
    g_patch_sites = false;
}

} // namespace preload
