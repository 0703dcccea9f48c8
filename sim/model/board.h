// Inside of the simulated board: one process-wide board with its clock,
// registers, line and chip. The files of sim/ each implement a part of it.
#ifndef IDSTAMP_SIM_MODEL_BOARD_H
#define IDSTAMP_SIM_MODEL_BOARD_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/host/image_file.h"
#include "sim/sim.h"
#include "sim/host/vcd_trace.h"

namespace sim {
namespace detail {

constexpr uint64_t kUs = 1000;
constexpr uint64_t kNever = UINT64_MAX;

// Register offsets in the window.
constexpr uint32_t kTimerConfig = 0x600;   // 8 bits
constexpr uint32_t kTimer2Mode = 0x612;    // 16 bits
constexpr uint32_t kCounter = 0x61C;       // 32 bits
constexpr uint32_t kTimer1Prescale = 0x638; // 16 bits
constexpr uint32_t kTimer2Prescale = 0x63A; // 16 bits
constexpr uint32_t kPortData = 0x1464;
constexpr uint32_t kPortDir = 0x1468;

constexpr uint32_t kLineBit = 0x04000000u;
constexpr uint32_t kDirField = 0x00300000u;

// The master's windows at standard speed, whatever the chip's own times
// (Config::timing) are.
constexpr uint64_t kResetMin = 480 * kUs;
constexpr uint64_t kBitLowMax = 120 * kUs;     // longest low that is still a slot
constexpr uint64_t kWrite1LowMax = 15 * kUs;
constexpr uint64_t kWrite0LowMin = 60 * kUs;
constexpr uint64_t kSlotMin = 65 * kUs;
constexpr uint64_t kRecoveryMin = 5 * kUs;
constexpr uint64_t kReadSampleMax = 15 * kUs;  // a read slot is sampled by then

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

enum class Violation : uint8_t {
    recovery,          // line high too short before a falling edge
    short_slot,        // falling edges closer than a slot
    neither_bit_nor_reset,
    ambiguous_write,   // write-slot low between a 1 and a 0
    long_read_low,     // master low too long while the chip answers
    late_read_sample,  // read slot first sampled after the chip may let go
    edge_in_presence,
    edge_in_programming,
};

struct Board {
    // Set-up of this run.
    Config config;
    bool finished = false;
    bool image_behind = false; // the last save of the memory to the image failed
    size_t memory_size = 144;
    size_t pad_size = 8;
    std::vector<uint8_t> memory;
    std::array<uint8_t, 8> rom{};

    Stats stats;
    std::vector<std::string> misuses;
    std::vector<std::string> syslog_lines;
    std::vector<SchedCall> sched_calls;
    std::vector<OpenlogCall> openlog_calls;
    std::string log_ident;
    int log_facility = 0;
    bool log_opened = false;

    // Virtual time and the chip's pending events (few at a time).
    uint64_t now = 0;
    uint64_t next_event = kNever;
    std::vector<Event> events;

    // Preemption jitter.
    bool jitter_on = false;
    uint64_t jitter_threshold = 0;
    uint64_t rng = 0;

    // Stretch faults (Faults::stretches), on the master's count of its
    // resets and falling edges. access() takes its slow way only while
    // access_hook is set: with jitter, or a late access waiting for its time.
    bool access_hook = false;
    bool stretch_on = false;
    uint64_t master_transaction = 0; // the master's resets so far
    uint32_t master_edge_k = 0;      // its falling edges since the last reset
    uint64_t stretch_in_low = 0;     // stretch added since its last falling edge
    uint64_t release_late_ns = 0;    // the write that ends its low is this late
    // By stretch: its first access that starts then or later is late (kNever: none).
    std::array<uint64_t, kMaxStretches> late = [] {
        std::array<uint64_t, kMaxStretches> none{};
        none.fill(kNever);
        return none;
    }();
    uint64_t late_from = kNever; // the earliest of late[]

    // Register window and port.
    uint8_t *window = nullptr;
    uint32_t data_latch = kDataRegInit;
    uint32_t dir_reg = kDirRegInit;
    std::map<uint32_t, uint32_t> other_regs;
    std::vector<int> open_fds;
    int next_fd = 0;

    // The line: wired AND of master, chip and a short.
    bool master_low = false;
    bool chip_low = false;
    bool stuck_low = false;
    bool line_high = true;
    bool dir_open = false;
    uint64_t busy_since = 0;
    uint64_t busy_closed_ns = 0; // bus busy time of finished transactions
    uint64_t master_fall_at = 0;
    bool prev_low_was_slot = false;
    bool had_rise = false;
    uint64_t last_rise_at = 0;
    uint64_t presence_window_end = 0;
    bool awaiting_sample = false; // a read slot released, not yet sampled

    // Master pulses for tests.
    bool recording = false;
    std::vector<Pulse> pulses;

    VcdTrace trace;

    // The chip, bit level.
    Mode mode = Mode::idle;
    bool low_seen = false; // the chip saw the line go low and waits for the rise
    uint64_t low_since = 0;
    bool tx_slot = false;  // the current slot is one the chip answers
    uint8_t rx_byte = 0;
    unsigned rx_bits = 0;
    uint8_t tx_byte = 0;
    unsigned tx_bits = 0;

    // The chip, byte level.
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
    bool any_data = false;

    // Fault counters left in this run.
    unsigned rom_crc_left = 0;
    unsigned rom_good_left = 0; // good Read ROM before the bad ones begin
    unsigned read_flip_left = 0;
    unsigned copy_fail_left = 0;

    // registers.cpp: clock and register window.
    void advance(uint64_t to);
    uint64_t jitter_delay();
    uint64_t access_delay();
    uint32_t counter() const;
    uint32_t word_at(uint32_t offset) const;
    void port_write(uint32_t offset, uint32_t value);

    // line.cpp: the open-drain line and the timing windows.
    void master_edge(bool low);
    void set_chip_low(bool low);
    void refresh_line();
    void line_sampled();
    void violation(Violation kind);
    void stretch_fall();
    void stretch_release();
    void arm_stretches(uint32_t k);
    uint64_t take_late();

    // chip.cpp: reset, presence and slots.
    void schedule(uint64_t at, EventKind kind);
    void run_events(uint64_t until);
    void handle(EventKind kind);
    void chip_fall();
    void chip_rise();
    void chip_reset();
    void go_idle();
    void start_tx(Phase next);

    // chip_commands.cpp: ROM and memory commands.
    void byte_received(uint8_t value);
    uint8_t next_tx_byte();
    void tx_byte_done();
    uint8_t es() const;
    void write_scratchpad_byte(uint8_t value);
    void copy_scratchpad();
    bool page_protected(uint32_t address) const;

    // board.cpp
    void misuse(const std::string &what);
    void refresh_stats();
};

// The one board; board() starts a default one when nothing was started.
extern Board *g_board;
void start_default();

inline Board &board()
{
    if (__builtin_expect(g_board == nullptr, 0))
        start_default();
    return *g_board;
}

// Fires due chip events, then moves the clock; every access goes through here.
inline void Board::advance(uint64_t to)
{
    if (to >= next_event)
        run_events(to);
    now = to;
}

// report.cpp
void write_report(const Board &b);

} // namespace detail
} // namespace sim

#endif
