// DS28EC20: 20480 bits in eighty 32-byte pages, then the register pages to
// 0xA3F: 2624 bytes. A 32-byte scratchpad; Copy Scratchpad takes the bytes
// from the target's offset through E. Read Memory from a target above 0xA3F
// starts with the upper four address bits cleared (0x1A3E reads from 0x0A3E,
// 0xF000 from 0x0000), and 1s follow the last address.
#include "sim/model/chips/chip.h"

namespace sim {
namespace detail {

namespace {

// The BS flag in ChipDevice::own: a Read Memory came after the last Write
// Scratchpad, and the chip refuses a copy until the scratchpad is written
// again.
constexpr uint32_t kBs = 1u;

void event(ChipDevice &chip, ChipEvent event)
{
    if (event == ChipEvent::read_memory)
        chip.own |= kBs;
    else
        chip.own &= ~kBs;
}

bool copy_allowed(const ChipDevice &chip)
{
    return (chip.own & kBs) == 0;
}

} // namespace

extern const ChipModel ds28ec20_model = {
    "ds28ec20", "DS28EC20", 0x43,
    2624,     // memory
    32, 0x1F, // scratchpad, E
    0xFFFF,   // target address: all 16 bits kept
    0x0A3F, 0x0FFF,
    CopyRule::written_bytes,
    {event, nullptr, copy_allowed},
    &kScratchpadEeprom,
};

} // namespace detail
} // namespace sim
