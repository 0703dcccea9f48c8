// A scratchpad EEPROM at byte level: ROM commands after a reset, then one
// memory command. Every chip here speaks the same commands; what differs is
// data in its ChipModel (sizes, the bits of E, what Copy Scratchpad takes,
// Read Memory past the end) and the rules in its own file.
#include "sim/model/chips/scratchpad_eeprom.h"

#include "sim/crc.h"

namespace sim {
namespace detail {

namespace {

constexpr uint8_t kReadRom = 0x33;
constexpr uint8_t kSkipRom = 0xCC;
constexpr uint8_t kMatchRom = 0x55;
constexpr uint8_t kReadMemory = 0xF0;
constexpr uint8_t kWriteScratchpad = 0x0F;
constexpr uint8_t kReadScratchpad = 0xAA;
constexpr uint8_t kCopyScratchpad = 0x55;

uint8_t written_byte(const ChipDevice &chip, uint32_t address, uint8_t value)
{
    const auto rule = chip.model->rules.written_byte;
    return rule != nullptr ? rule(chip, address, value) : value;
}

void chip_event(ChipDevice &chip, ChipEvent event)
{
    if (chip.model->rules.event != nullptr)
        chip.model->rules.event(chip, event);
}

Next send_buffer(ChipDevice &chip, Phase phase)
{
    chip.tx_pos = 0;
    return start_sending(chip, phase);
}

Next rom_command(ChipDevice &chip, uint8_t value)
{
    chip.command = value;
    if (value == kReadRom) {
        chip.tx_len = 8;
        for (unsigned i = 0; i < 8; ++i)
            chip.tx_buf[i] = chip.rom[i];
        if (!take(chip.rom_good_left) && take(chip.rom_crc_left))
            chip.tx_buf[7] ^= 1u;
        return send_buffer(chip, Phase::read_rom);
    }
    if (value == kSkipRom) {
        chip.phase = Phase::memory_command;
        return Next::listen;
    }
    if (value == kMatchRom) {
        chip.phase = Phase::match_rom;
        chip.byte_count = 0;
        chip.rom_matched = true;
        return Next::listen;
    }
    return fall_asleep(chip);
}

Next match_rom(ChipDevice &chip, uint8_t value)
{
    if (value != chip.rom[chip.byte_count])
        chip.rom_matched = false;
    if (++chip.byte_count < 8)
        return Next::listen;
    if (!chip.rom_matched)
        return fall_asleep(chip); // not addressed: quiet until the next reset
    chip.phase = Phase::memory_command;
    return Next::listen;
}

// TA1, TA2, E/S, the scratchpad from the target's offset to its end whatever
// E says, then the inverted CRC-16.
Next read_scratchpad(ChipDevice &chip, uint8_t value)
{
    chip.tx_buf[0] = static_cast<uint8_t>(chip.ta);
    chip.tx_buf[1] = static_cast<uint8_t>(chip.ta >> 8);
    chip.tx_buf[2] = es_byte(chip);
    chip.tx_len = 3;
    for (unsigned i = chip.pad_start; i < chip.model->pad_size; ++i)
        chip.tx_buf[chip.tx_len++] = chip.pad[i];
    uint16_t sum = crc16(&value, 1);
    sum = static_cast<uint16_t>(~crc16(chip.tx_buf.data(), chip.tx_len, sum));
    chip.tx_buf[chip.tx_len++] = static_cast<uint8_t>(sum);
    chip.tx_buf[chip.tx_len++] = static_cast<uint8_t>(sum >> 8);
    return send_buffer(chip, Phase::send_buffer);
}

Next memory_command(ChipDevice &chip, uint8_t value)
{
    chip.command = value;
    chip.byte_count = 0;
    switch (value) {
    case kReadMemory:
        chip.phase = Phase::read_memory_address;
        chip_event(chip, ChipEvent::read_memory);
        return Next::listen;
    case kWriteScratchpad:
        chip.phase = Phase::write_scratchpad_address;
        chip.aa = false;
        chip.pf = true; // until the target address is complete
        chip.crc = crc16(&value, 1);
        return Next::listen;
    case kReadScratchpad:
        return read_scratchpad(chip, value);
    case kCopyScratchpad:
        chip.phase = Phase::copy_authorization;
        return Next::listen;
    default:
        return fall_asleep(chip);
    }
}

Next read_memory_address(ChipDevice &chip, uint8_t value)
{
    if (chip.byte_count++ == 0) {
        chip.addr_lo = value;
        return Next::listen;
    }
    chip.read_addr = static_cast<uint32_t>(value) << 8 | chip.addr_lo;
    if (chip.read_addr > chip.model->read_fold_above)
        chip.read_addr &= chip.model->read_fold_mask;
    chip.flip_next = take(chip.read_flip_left);
    return start_sending(chip, Phase::read_memory_data);
}

// A whole target address clears PF; the data goes in from the address's
// offset in the scratchpad, and E starts there.
Next write_scratchpad_address(ChipDevice &chip, uint8_t value)
{
    chip.crc = crc16(&value, 1, chip.crc);
    if (chip.byte_count++ == 0) {
        chip.addr_lo = value;
        return Next::listen;
    }
    chip.ta = static_cast<uint16_t>((value << 8 | chip.addr_lo) & chip.model->address_mask);
    chip.pad_start = chip.ta & (chip.model->pad_size - 1);
    chip.pad_next = chip.pad_start;
    chip.e = chip.pad_start;
    chip.pf = false;
    chip_event(chip, ChipEvent::target_address);
    chip.fill_cut = !take(chip.whole_fill_left) && take(chip.short_fill_left);
    chip.phase = Phase::write_scratchpad_data;
    return Next::listen;
}

Next write_scratchpad_byte(ChipDevice &chip, uint8_t value)
{
    const uint32_t pad_size = chip.model->pad_size;
    chip.crc = crc16(&value, 1, chip.crc);
    // On a protected byte the scratchpad gets what the protection lets
    // through, not the master's data.
    const uint32_t address = (chip.ta & ~(pad_size - 1)) + chip.pad_next;
    chip.pad[chip.pad_next] = written_byte(chip, address, value);
    chip.e = chip.pad_next;
    // The short-fill fault: the chip lets go here, as after a glitch that the
    // master never saw, and takes nothing more until the next reset.
    if (chip.fill_cut && chip.pad_next + 1 == pad_size / 2)
        return fall_asleep(chip);
    if (++chip.pad_next < pad_size)
        return Next::listen;
    // Filled to its end: the chip answers with the inverted CRC-16.
    const uint16_t sum = static_cast<uint16_t>(~chip.crc);
    chip.tx_buf[0] = static_cast<uint8_t>(sum);
    chip.tx_buf[1] = static_cast<uint8_t>(sum >> 8);
    chip.tx_len = 2;
    return send_buffer(chip, Phase::send_buffer);
}

bool copy_allowed(const ChipDevice &chip)
{
    const bool authorized = chip.auth[0] == static_cast<uint8_t>(chip.ta)
                            && chip.auth[1] == static_cast<uint8_t>(chip.ta >> 8) && chip.auth[2] == es_byte(chip);
    // Every chip refuses a target address outside its memory and a
    // scratchpad whose last write broke off (PF).
    if (!authorized || chip.pf || chip.ta >= chip.model->memory_size)
        return false;
    const auto rule = chip.model->rules.copy_allowed;
    return rule == nullptr || rule(chip);
}

// A chip that copies whole rows copies all of the row, so after a fill that
// ended early the bytes past E are whatever the scratchpad held. Those stale
// bytes pass the protection as the written ones did (no data sheet says what
// they do to a protected page; the protection holding surprises least).
Next copy_scratchpad(ChipDevice &chip)
{
    const bool forced_fail = take(chip.copy_fail_left);
    if (forced_fail || !copy_allowed(chip))
        return start_sending(chip, Phase::ones);
    const uint32_t pad_size = chip.model->pad_size;
    const uint32_t row = chip.ta & ~(pad_size - 1);
    const bool whole = chip.model->copy == CopyRule::whole_row;
    const unsigned first = whole ? 0 : chip.pad_start;
    const unsigned last = whole ? pad_size - 1 : chip.e;
    for (unsigned i = first; i <= last; ++i)
        chip.memory[row + i] = written_byte(chip, row + i, chip.pad[i]);
    chip.aa = true;
    ++chip.copies;
    if (chip.power_loss >= 0 && chip.copies >= static_cast<uint64_t>(chip.power_loss))
        chip.power_gone = true;
    chip.tx_bits = 0;
    return Next::program;
}

Next copy_authorization(ChipDevice &chip, uint8_t value)
{
    chip.auth[chip.byte_count++] = value;
    return chip.byte_count == 3 ? copy_scratchpad(chip) : Next::listen;
}

} // namespace

uint8_t es_byte(const ChipDevice &chip)
{
    return static_cast<uint8_t>((chip.aa ? 0x80u : 0u) | (chip.pf ? 0x20u : 0u) | (chip.e & chip.model->e_mask));
}

Next byte_received(ChipDevice &chip, uint8_t value)
{
    switch (chip.phase) {
    case Phase::rom_command:
        return rom_command(chip, value);
    case Phase::match_rom:
        return match_rom(chip, value);
    case Phase::memory_command:
        return memory_command(chip, value);
    case Phase::read_memory_address:
        return read_memory_address(chip, value);
    case Phase::write_scratchpad_address:
        return write_scratchpad_address(chip, value);
    case Phase::write_scratchpad_data:
        return write_scratchpad_byte(chip, value);
    case Phase::copy_authorization:
        return copy_authorization(chip, value);
    default:
        // The phases that send take no bytes.
        return Next::listen;
    }
}

uint8_t next_tx_byte(ChipDevice &chip)
{
    uint8_t value = 0xFF;
    switch (chip.phase) {
    case Phase::read_rom:
    case Phase::send_buffer:
        if (chip.tx_pos < chip.tx_len)
            value = chip.tx_buf[chip.tx_pos++];
        break;
    case Phase::read_memory_data:
        // 1s past the last address.
        if (chip.read_addr < chip.model->memory_size)
            value = chip.memory[chip.read_addr];
        ++chip.read_addr;
        if (chip.flip_next)
            value ^= 1u;
        chip.flip_next = false;
        break;
    case Phase::copy_confirm:
        value = 0xAA;
        break;
    default:
        break;
    }
    if (chip.tamper)
        value = chip.tamper(TxContext{chip.command, chip.tx_index, chip.transaction}, value);
    ++chip.tx_index;
    return value;
}

Next tx_byte_done(ChipDevice &chip)
{
    // After the ROM the chip waits for a memory command.
    if (chip.phase == Phase::read_rom && chip.tx_pos == chip.tx_len) {
        chip.phase = Phase::memory_command;
        return Next::listen;
    }
    return Next::send;
}

} // namespace detail
} // namespace sim
