// DS2433: 4096 bits in sixteen 32-byte pages, 512 bytes (0x000 to 0x1FF), no
// register pages and no protection. A 32-byte scratchpad; Copy Scratchpad
// takes the bytes from the target's offset through E. The chip keeps only
// the nine low bits of a target address: it clears the seven upper ones as
// they are shifted in, so Read Scratchpad shows the address it will use and
// Read Memory of 0x0200 reads 0x0000. 1s follow the last address.
#include "sim/model/chips/chip.h"

namespace sim {
namespace detail {

extern const ChipModel ds2433_model = {
    "ds2433", "DS2433", 0x23,
    512,      // memory
    32, 0x1F, // scratchpad, E
    0x01FF,   // target address: nine bits kept
    0x01FF, 0x01FF,
    CopyRule::written_bytes,
    {nullptr, nullptr, nullptr},
    &kScratchpadEeprom,
};

} // namespace detail
} // namespace sim
