// A scratchpad EEPROM at bit level: bytes go least significant bit first; a
// reset inside a byte of Write Scratchpad leaves a partial byte (PF).
#include "sim/model/chips/scratchpad_eeprom.h"

namespace sim {
namespace detail {

Next start_sending(ChipDevice &chip, Phase next)
{
    chip.phase = next;
    chip.tx_bits = 0;
    chip.tx_index = 0;
    return Next::send;
}

Next fall_asleep(ChipDevice &chip)
{
    chip.rx_bits = 0;
    chip.tx_bits = 0;
    return Next::sleep;
}

namespace {

bool reset(ChipDevice &chip)
{
    if (chip.rx_bits != 0
        && (chip.phase == Phase::write_scratchpad_address || chip.phase == Phase::write_scratchpad_data))
        chip.pf = true;
    chip.rx_byte = 0;
    chip.rx_bits = 0;
    chip.tx_bits = 0;
    if (chip.power_gone)
        return false;
    ++chip.transaction;
    chip.phase = Phase::rom_command;
    chip.command = 0;
    return true;
}

Next bit_written(ChipDevice &chip, bool one)
{
    if (one)
        chip.rx_byte = static_cast<uint8_t>(chip.rx_byte | (1u << chip.rx_bits));
    if (++chip.rx_bits < 8)
        return Next::listen;
    const uint8_t value = chip.rx_byte;
    chip.rx_byte = 0;
    chip.rx_bits = 0;
    ++chip.bytes;
    return byte_received(chip, value);
}

bool bit_to_send(ChipDevice &chip, Next &next)
{
    if (chip.tx_bits == 0)
        chip.tx_byte = next_tx_byte(chip);
    const bool one = ((chip.tx_byte >> chip.tx_bits) & 1u) != 0;
    next = Next::send;
    if (++chip.tx_bits == 8) {
        chip.tx_bits = 0;
        ++chip.bytes;
        next = tx_byte_done(chip);
    }
    return one;
}

Next programming_done(ChipDevice &chip)
{
    return start_sending(chip, Phase::copy_confirm);
}

void lost(ChipDevice &chip)
{
    fall_asleep(chip);
}

} // namespace

const ChipOps kScratchpadEeprom = {reset, bit_written, bit_to_send, programming_done, lost};

} // namespace detail
} // namespace sim
