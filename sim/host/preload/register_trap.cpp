#include "sim/host/preload/register_trap.h"

#include <signal.h>
#include <ucontext.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "sim/host/preload/interpose.h"
#include "sim/host/preload/patched_sites.h"
#include "sim/host/preload/register_access.h"
#include "sim/host/preload/window_access.h"
#include "sim/seam.h"

#if !defined(__powerpc__) || defined(__powerpc64__)
#error "the register trap decodes 32-bit PowerPC instructions"
#endif

namespace preload {

namespace {

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

} // namespace

void catch_register_traps()
{
    struct sigaction action {};
    action.sa_sigaction = on_register_trap;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGSEGV, &action, nullptr) != 0)
        test_error("cannot catch SIGSEGV: %s", std::strerror(errno));
}

} // namespace preload
