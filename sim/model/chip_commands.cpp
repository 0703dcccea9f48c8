// The chip at byte level: ROM commands after a reset, then one memory command.
// Both chips speak the same commands; they differ in memory and scratchpad
// size, in what Copy Scratchpad takes from the scratchpad (the DS2431 only
// whole rows, the DS28EC20 any run of bytes in one), in Read Memory past the
// end, and the DS2431 has page protection bytes at 0x080 to 0x083.
#include "sim/crc.h"
#include "sim/model/board.h"

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

// The DS2431's register row: a protection byte for each data page at 0x080
// to 0x083, the copy-protection byte, the factory byte.
constexpr uint32_t kDs2431RegisterRow = 0x080;
constexpr uint32_t kDs2431CopyProtection = 0x084;
constexpr uint32_t kDs2431FactoryByte = 0x085;
constexpr uint8_t kWriteProtected = 0x55;
constexpr uint8_t kEpromMode = 0xAA;

// 55h or AAh in a protection byte sets its function and makes the byte
// itself read-only; any other value does neither.
bool sets_protection(uint8_t value)
{
    return value == kWriteProtected || value == kEpromMode;
}

// The DS28EC20 reads a target address above its last one with the upper four
// address bits cleared: 0x1A3E reads from 0x0A3E, 0xF000 from 0x0000.
constexpr uint32_t kDs28ec20LastAddress = 0x0A3F;
constexpr uint32_t kDs28ec20FoldMask = 0x0FFF;

// Counts down a fault that hits the first N occasions.
bool take(unsigned &left)
{
    if (left == 0)
        return false;
    --left;
    return true;
}

} // namespace

uint8_t Board::es() const
{
    return static_cast<uint8_t>((aa ? 0x80u : 0u) | (pf ? 0x20u : 0u) | (e & (pad_size - 1)));
}

uint8_t Board::protected_byte(uint32_t address, uint8_t value) const
{
    if (config.chip != Chip::ds2431 || address >= memory_size)
        return value;
    if (address < kDs2431RegisterRow) {
        // A write-protected page keeps its bytes; a page in EPROM mode can
        // only have bits cleared.
        const uint8_t page_mode = memory[kDs2431RegisterRow + address / 32];
        if (page_mode == kWriteProtected)
            return memory[address];
        return page_mode == kEpromMode ? static_cast<uint8_t>(value & memory[address]) : value;
    }
    const bool read_only = (address <= kDs2431CopyProtection && sets_protection(memory[address]))
                           || address == kDs2431FactoryByte;
    return read_only ? memory[address] : value;
}

bool Board::copy_protected(uint32_t row) const
{
    // The copy-protection byte at 55h or AAh blocks copies to the register
    // rows and to write-protected pages.
    if (config.chip != Chip::ds2431 || !sets_protection(memory[kDs2431CopyProtection]))
        return false;
    return row >= kDs2431RegisterRow || memory[kDs2431RegisterRow + row / 32] == kWriteProtected;
}

void Board::byte_received(uint8_t value)
{
    switch (phase) {
    case Phase::rom_command:
        command = value;
        if (value == kReadRom) {
            tx_len = 8;
            tx_pos = 0;
            for (unsigned i = 0; i < 8; ++i)
                tx_buf[i] = rom[i];
            if (!take(rom_good_left) && take(rom_crc_left))
                tx_buf[7] ^= 1u;
            start_tx(Phase::read_rom);
        } else if (value == kSkipRom) {
            phase = Phase::memory_command;
        } else if (value == kMatchRom) {
            phase = Phase::match_rom;
            byte_count = 0;
            rom_matched = true;
        } else {
            go_idle();
        }
        break;

    case Phase::match_rom:
        if (value != rom[byte_count])
            rom_matched = false;
        if (++byte_count == 8) {
            if (rom_matched)
                phase = Phase::memory_command;
            else
                go_idle(); // not addressed: quiet until the next reset
        }
        break;

    case Phase::memory_command:
        command = value;
        byte_count = 0;
        if (value == kReadMemory) {
            phase = Phase::read_memory_address;
            // The DS28EC20 refuses a copy after a Read Memory until the
            // scratchpad is written again (its BS flag).
            bs = true;
        } else if (value == kWriteScratchpad) {
            phase = Phase::write_scratchpad_address;
            aa = false;
            pf = true; // until the target address is complete
            crc = crc16(&value, 1);
        } else if (value == kReadScratchpad) {
            // TA1, TA2, E/S, the scratchpad from the target's offset to its
            // end whatever E says, then the CRC.
            tx_buf[0] = static_cast<uint8_t>(ta);
            tx_buf[1] = static_cast<uint8_t>(ta >> 8);
            tx_buf[2] = es();
            tx_len = 3;
            for (unsigned i = pad_start; i < pad_size; ++i)
                tx_buf[tx_len++] = pad[i];
            uint16_t sum = crc16(&value, 1);
            sum = static_cast<uint16_t>(~crc16(tx_buf.data(), tx_len, sum));
            tx_buf[tx_len++] = static_cast<uint8_t>(sum);
            tx_buf[tx_len++] = static_cast<uint8_t>(sum >> 8);
            tx_pos = 0;
            start_tx(Phase::send_buffer);
        } else if (value == kCopyScratchpad) {
            phase = Phase::copy_authorization;
        } else {
            go_idle();
        }
        break;

    case Phase::read_memory_address:
        if (byte_count++ == 0) {
            addr_lo = value;
        } else {
            read_addr = static_cast<uint32_t>(value) << 8 | addr_lo;
            if (config.chip == Chip::ds28ec20 && read_addr > kDs28ec20LastAddress)
                read_addr &= kDs28ec20FoldMask;
            flip_next = take(read_flip_left);
            start_tx(Phase::read_memory_data);
        }
        break;

    case Phase::write_scratchpad_address:
        crc = crc16(&value, 1, crc);
        if (byte_count++ == 0) {
            addr_lo = value;
        } else {
            // A whole target address clears PF (and the DS28EC20's BS); the
            // data goes in from the address's offset in the scratchpad, and
            // E starts there.
            ta = static_cast<uint16_t>(value << 8 | addr_lo);
            pad_start = ta & (pad_size - 1);
            pad_next = pad_start;
            e = pad_start;
            pf = false;
            bs = false;
            fill_cut = !take(whole_fill_left) && take(short_fill_left);
            phase = Phase::write_scratchpad_data;
        }
        break;

    case Phase::write_scratchpad_data:
        write_scratchpad_byte(value);
        break;

    case Phase::copy_authorization:
        auth[byte_count++] = value;
        if (byte_count == 3)
            copy_scratchpad();
        break;

    default:
        break;
    }
}

void Board::write_scratchpad_byte(uint8_t value)
{
    crc = crc16(&value, 1, crc);
    // On a protected DS2431 byte the scratchpad gets what the protection
    // lets through, not the master's data.
    const uint32_t address = (ta & ~(pad_size - 1)) + pad_next;
    pad[pad_next] = protected_byte(address, value);
    e = pad_next;
    // The short-fill fault: the chip lets go here, as after a glitch that the
    // master never saw, and takes nothing more until the next reset.
    if (fill_cut && pad_next + 1 == pad_size / 2) {
        go_idle();
        return;
    }
    if (++pad_next < pad_size)
        return;
    // Filled to its end: the chip answers with the inverted CRC-16.
    const uint16_t sum = static_cast<uint16_t>(~crc);
    tx_buf[0] = static_cast<uint8_t>(sum);
    tx_buf[1] = static_cast<uint8_t>(sum >> 8);
    tx_len = 2;
    tx_pos = 0;
    start_tx(Phase::send_buffer);
}

bool Board::copy_allowed() const
{
    const bool authorized = auth[0] == static_cast<uint8_t>(ta) && auth[1] == static_cast<uint8_t>(ta >> 8)
                            && auth[2] == es();
    // Both chips refuse a target address outside their memory and a
    // scratchpad whose last write broke off (PF).
    if (!authorized || pf || ta >= memory_size)
        return false;
    // The DS2431 copies on 8-byte boundaries only: T2..T0 must be 000b.
    if (config.chip == Chip::ds2431)
        return (ta & (pad_size - 1)) == 0 && !copy_protected(ta);
    return !bs;
}

void Board::copy_scratchpad()
{
    const bool forced_fail = take(copy_fail_left);
    if (forced_fail || !copy_allowed()) {
        start_tx(Phase::ones);
        return;
    }
    // The DS28EC20 copies the bytes from the beginning offset through the
    // ending offset, 1 to 32 of them. The DS2431 copies only whole rows: all
    // eight bytes, so after a fill that ended early the bytes past E are
    // whatever the scratchpad held. Those stale bytes pass the protection
    // as the written ones did (the data sheet does not say what they do to a
    // protected page; the protection holding surprises least).
    const uint32_t row = ta & ~(pad_size - 1);
    const unsigned first = config.chip == Chip::ds2431 ? 0 : pad_start;
    const unsigned last = config.chip == Chip::ds2431 ? static_cast<unsigned>(pad_size - 1) : e;
    for (unsigned i = first; i <= last; ++i) {
        memory[row + i] = protected_byte(row + i, pad[i]);
    }
    aa = true;
    ++stats.copies;
    // The host side saves the image. On the host's clock it waits for the
    // end of programming: the save takes real time, which inside the copy
    // command's last slot would be a preemption of the simulation's own.
    if (host_clock)
        save_pending = true;
    else
        memory_changed();
    if (config.faults.power_loss >= 0 && stats.copies >= static_cast<uint64_t>(config.faults.power_loss))
        power_gone = true;
    mode = Mode::programming;
    tx_bits = 0;
    schedule(now + config.tprog_us * kUs, EventKind::program_end);
}

uint8_t Board::next_tx_byte()
{
    uint8_t value = 0xFF;
    switch (phase) {
    case Phase::read_rom:
    case Phase::send_buffer:
        if (tx_pos < tx_len)
            value = tx_buf[tx_pos++];
        break;
    case Phase::read_memory_data:
        // 1s past the last address, on both chips.
        if (read_addr < memory_size)
            value = memory[read_addr];
        ++read_addr;
        if (flip_next)
            value ^= 1u;
        flip_next = false;
        break;
    case Phase::copy_confirm:
        value = 0xAA;
        break;
    default:
        break;
    }
    if (tamper)
        value = tamper(TxContext{command, tx_index, transaction}, value);
    ++tx_index;
    return value;
}

void Board::tx_byte_done()
{
    // After the ROM the chip waits for a memory command.
    if (phase == Phase::read_rom && tx_pos == tx_len) {
        mode = Mode::rx;
        phase = Phase::memory_command;
    }
}

} // namespace detail
} // namespace sim
