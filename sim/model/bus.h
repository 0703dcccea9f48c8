// What the master's side of the board holds: the clock, the register window
// with the I/O port, the open-drain line and the preemption faults on the
// master's accesses. Behaviour is in registers.cpp, line.cpp and
// preemption.cpp (members of Board, which composes this with the chip).
#ifndef IDSTAMP_SIM_MODEL_BUS_H
#define IDSTAMP_SIM_MODEL_BUS_H

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "sim/model/noise.h"
#include "sim/model/virtual_time.h"
#include "sim/config.h"
#include "sim/seam.h"
#include "sim/test_probes.h"

namespace sim {
namespace detail {

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

// Who changed the line: its level, the master's pull, the chip's pull.
enum class Wire : uint8_t { owr = 0, master = 1, chip = 2 };

struct Bus {
    // Virtual time.
    uint64_t now = 0;

    // The host's clock (Clock::host): now follows it, plus the time the
    // faults made the master lose on top of the real preemption.
    bool host_clock = false;
    uint64_t host_lost_ns = 0;
    uint64_t host_last_ns = 0; // the host's time at the last access
    bool save_pending = false; // a copy's memory not yet handed to the host side
    // By whole microseconds rounded up, 1 to 1024 (1024: and longer): the
    // gaps between accesses, when Config::gaps_path asks for them.
    std::vector<uint64_t> host_gap_buckets;
    uint64_t host_gap_max_ns = 0;

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

    // A measured noise profile replayed (Faults::noise); access_hook is set with it.
    NoiseReplay noise;

    // Register window and port.
    uint32_t data_latch = kDataRegInit;
    uint32_t dir_reg = kDirRegInit;
    std::map<uint32_t, uint32_t> other_regs;

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
};

} // namespace detail
} // namespace sim

#endif
