// A register access site patched into a branch: the first access at a site
// traps, and from then on the site branches to a stub that carries out the
// same access by a plain call, without a signal. Under qemu-ppc a signal costs
// about 17 us and a call well under one, and the busy-waits make millions of
// accesses. The stub keeps every register the code at the site can see.
#ifndef IDSTAMP_SIM_HOST_PRELOAD_SITE_PATCH_H
#define IDSTAMP_SIM_HOST_PRELOAD_SITE_PATCH_H

#include <cstddef>
#include <cstdint>

namespace site_patch {

// The instruction words of one stub.
constexpr size_t kStubWords = 72;

// Where the stub keeps the interrupted code's registers, passed to the handler
// as `regs`: general registers 0 to 31 (r1 as the code saw it), then LR, CR,
// CTR and XER. The handler may change any general register but r1; the stub
// puts them back when it returns.
constexpr size_t kSavedRegisters = 36;

// The handler the stub calls: void handler(uint32_t *regs, const void *site).
using Handler = void (*)(uint32_t *regs, const void *site);

// `b to` placed at `from`, or false when `to` is out of its 32 MB reach.
bool relative_branch(uint32_t from, uint32_t to, uint32_t &word);

// Fills `words` with a stub that will sit at `stub`: it saves the registers,
// calls `handler(regs, site)` and goes on at `resume`. False when `resume` is
// out of a relative branch's reach from the stub's last word.
bool build_stub(uint32_t stub, uint32_t resume, uint32_t handler, uint32_t site, uint32_t (&words)[kStubWords]);

} // namespace site_patch

#endif
