// DS2431: 1024 bits in four 32-byte pages, then a register row at 0x080 (a
// protection byte for each page at 0x080 to 0x083, the copy-protection byte
// at 0x084, the factory byte at 0x085) and a reserved row: 144 bytes. An
// 8-byte scratchpad; Copy Scratchpad takes only a whole row, on an 8-byte
// boundary. Read Memory past the end reads 1s.
#include "sim/model/chips/chip.h"

namespace sim {
namespace detail {

namespace {

constexpr uint32_t kRegisterRow = 0x080;
constexpr uint32_t kCopyProtection = 0x084;
constexpr uint32_t kFactoryByte = 0x085;
constexpr uint8_t kWriteProtected = 0x55;
constexpr uint8_t kEpromMode = 0xAA;

// 55h or AAh in a protection byte sets its function and makes the byte
// itself read-only; any other value does neither.
bool sets_protection(uint8_t value)
{
    return value == kWriteProtected || value == kEpromMode;
}

uint8_t written_byte(const ChipDevice &chip, uint32_t address, uint8_t value)
{
    const std::vector<uint8_t> &memory = chip.memory;
    if (address >= memory.size())
        return value;
    if (address < kRegisterRow) {
        // A write-protected page keeps its bytes; a page in EPROM mode can
        // only have bits cleared.
        const uint8_t page_mode = memory[kRegisterRow + address / 32];
        if (page_mode == kWriteProtected)
            return memory[address];
        return page_mode == kEpromMode ? static_cast<uint8_t>(value & memory[address]) : value;
    }
    const bool read_only = (address <= kCopyProtection && sets_protection(memory[address])) || address == kFactoryByte;
    return read_only ? memory[address] : value;
}

// The copy-protection byte at 55h or AAh blocks copies to the register
// rows and to write-protected pages.
bool copy_protected(const ChipDevice &chip, uint32_t row)
{
    if (!sets_protection(chip.memory[kCopyProtection]))
        return false;
    return row >= kRegisterRow || chip.memory[kRegisterRow + row / 32] == kWriteProtected;
}

// Copies on 8-byte boundaries only: T2..T0 must be 000b.
bool copy_allowed(const ChipDevice &chip)
{
    return (chip.ta & 7u) == 0 && !copy_protected(chip, chip.ta);
}

} // namespace

extern const ChipModel ds2431_model = {
    "ds2431", "DS2431", 0x2D,
    144,     // memory
    8, 0x07, // scratchpad, E
    0xFFFF,  // target address: all 16 bits kept
    kNoFold, 0,
    CopyRule::whole_row,
    {nullptr, written_byte, copy_allowed},
    &kScratchpadEeprom,
};

} // namespace detail
} // namespace sim
