#include "sim/host/preload/window_access.h"

#include "sim/host/preload/interpose.h"
#include "sim/seam.h"

namespace preload {

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

} // namespace preload
