// What the chip holds: its memory and ROM, its own timers, where it is in a
// bit and in a transaction, the scratchpad with its registers, and the
// fault counters that change its answers. Behaviour is in chip.cpp and
// chip_commands.cpp (members of Board, which composes this with the bus).
#ifndef IDSTAMP_SIM_MODEL_CHIP_STATE_H
#define IDSTAMP_SIM_MODEL_CHIP_STATE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/model/virtual_time.h"
#include "sim/test_probes.h"

namespace sim {
namespace detail {

// What the chip is doing with the line.
enum class Mode : uint8_t {
    off,         // no chip, or it lost power
    idle,        // waits for a reset
    presence,    // between the reset and the end of its presence pulse
    rx,          // takes bits from write slots
    tx,          // answers read slots
    programming, // copies the scratchpad; ignores the line
};

// Where the chip is in a transaction, byte by byte.
enum class Phase : uint8_t {
    rom_command,
    match_rom,
    read_rom,
    memory_command,
    read_memory_address,
    read_memory_data,
    write_scratchpad_address,
    write_scratchpad_data,
    send_buffer,     // bytes prepared in tx_buf, then 1s
    copy_authorization,
    copy_confirm,    // alternating 0 and 1 after a good copy
    ones,
};

enum class EventKind : uint8_t { tx_release, presence_start, presence_end, program_end };

struct Event {
    uint64_t at;
    EventKind kind;
};

struct ChipState {
    size_t memory_size = 144;
    size_t pad_size = 8;
    std::vector<uint8_t> memory;
    std::array<uint8_t, 8> rom{};

    // The chip's pending events (few at a time).
    uint64_t next_event = kNever;
    std::vector<Event> events;

    // Bit level.
    Mode mode = Mode::idle;
    bool low_seen = false; // the chip saw the line go low and waits for the rise
    uint64_t low_since = 0;
    bool tx_slot = false;  // the current slot is one the chip answers
    uint8_t rx_byte = 0;
    unsigned rx_bits = 0;
    uint8_t tx_byte = 0;
    unsigned tx_bits = 0;

    // Byte level.
    Phase phase = Phase::rom_command;
    uint8_t command = 0;
    unsigned tx_index = 0;
    uint64_t transaction = 0;
    unsigned byte_count = 0;
    uint8_t addr_lo = 0;
    uint32_t read_addr = 0;
    bool flip_next = false;
    std::array<uint8_t, 40> tx_buf{};
    unsigned tx_len = 0;
    unsigned tx_pos = 0;
    uint16_t crc = 0;
    std::array<uint8_t, 3> auth{};
    bool rom_matched = false;
    bool power_gone = false;
    TxTamper tamper;

    // Scratchpad and its registers.
    std::array<uint8_t, 32> pad{};
    uint16_t ta = 0;
    unsigned pad_start = 0;
    unsigned pad_next = 0;
    unsigned e = 7;
    bool aa = false;
    bool pf = true;
    bool bs = false; // DS28EC20: a Read Memory came after the last Write Scratchpad

    // Fault counters left in this run.
    unsigned rom_crc_left = 0;
    unsigned rom_good_left = 0; // good Read ROM before the bad ones begin
    unsigned read_flip_left = 0;
    unsigned copy_fail_left = 0;
    unsigned short_fill_left = 0;
    unsigned whole_fill_left = 0; // whole fills before the short ones begin
    bool fill_cut = false;        // this fill stops at half the scratchpad
};

} // namespace detail
} // namespace sim

#endif
