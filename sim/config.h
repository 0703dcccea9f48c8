// The simulated board's set-up: which chip, its memory and ROM, its timing,
// the faults to inject, the clock, and where the run's files go. A run starts
// from a Config (run.h).
#ifndef IDSTAMP_SIM_CONFIG_H
#define IDSTAMP_SIM_CONFIG_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The chips of sim/chip_list.h.
enum class Chip {
#define IDSTAMP_CHIP(name) name,
#include "sim/chip_list.h"
#undef IDSTAMP_CHIP
};

// Virtual time every register access costs by default, so busy-waits end.
constexpr uint64_t kAccessCostNs = 200;

// One register access made late, as if the process were preempted just before
// it: transactions first..last of the master (counted by its resets from 1;
// last kEveryLater: all from first on), falling edge `edge` of each (0: the
// reset, 1: the first slot after it, ...). Without `at`, the write that
// releases the line after that edge is late; with it, the first access that
// starts at_us or more after the edge.
struct Stretch {
    static constexpr uint32_t kEveryLater = UINT32_MAX;
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t edge = 0;
    uint32_t us = 0;
    bool at = false;
    uint32_t at_us = 0;
};

constexpr size_t kMaxStretches = 8;

// Gaps a busy loop saw on a real machine (IDSTAMP_SIM_FAULTS=noise=FILE, an
// oslat --json file read by the host side), replayed in virtual time.
// Bucket 1 (normal loop iterations) is left out: only gaps are kept.
struct NoiseProfile {
    std::vector<uint32_t> upper_us; // each bucket's upper bound, ascending; it holds (upper-1, upper] us
    std::vector<uint64_t> counts;   // gaps in it, all threads pooled; none is 0
    double seconds = 0.0;           // the loops' duration, summed over threads
    uint32_t max_us = 0;            // longest latency seen
    bool overflow = false;          // the last bucket is oslat's overflow: (upper-1, max_us]
};

struct Faults {
    bool absent = false;        // no chip answers
    bool stuck_low = false;     // the line is held low
    uint32_t timer_bad = 0;     // checked timer register that reads wrong (0: none)
    bool sched_eperm = false;   // sched_setscheduler fails with EPERM
    bool devmem_eacces = false; // opening /dev/mem fails with EACCES
    bool mmap_fail = false;     // the mapping fails with EPERM
    unsigned rom_crc = 0;       // first N Read ROM send the CRC with bit 0 flipped
    unsigned rom_crc_after = 0; // ... counted after this many good Read ROM
    unsigned read_flip = 0;     // first N Read Memory flip bit 0 of the first data byte
    unsigned copy_fail = 0;     // first N Copy Scratchpad program nothing and answer 1s
    unsigned short_fill = 0;    // first N Write Scratchpad fills stop at half the scratchpad, unseen by the master
    unsigned short_fill_after = 0; // ... counted after this many whole fills
    long power_loss = -1;       // after N row copies the chip is gone (-1: never)
    double jitter_p = 0.0;      // probability of losing time before an access
    unsigned jitter_max_us = 0; // losing 1 to this many microseconds
    uint64_t seed = 1;
    std::array<Stretch, kMaxStretches> stretches{};
    unsigned stretch_count = 0; // the first this many of stretches are set
    NoiseProfile noise;         // no counts: no noise
};

// How the chip times its side of the line, in nanoseconds after the reset's
// rise or the slot's falling edge. Real chips lie anywhere in the standard-speed
// ranges of their data sheets; the defaults are the middle of them.
struct ChipTiming {
    uint32_t presence_delay_ns = 30000; // rise of the reset to the presence pulse
    uint32_t presence_low_ns = 120000;  // length of the presence pulse
    uint32_t write_sample_ns = 30000;   // where a write slot is sampled: still low is a 0
    uint32_t read0_hold_ns = 30000;     // how long a read slot's 0 is held
};

enum class Corner { typical, fast, slow, random };

// Whose time the microsecond counter shows. virtual_time: every access costs
// Config::access_cost_ns and nothing else passes, so a run is the same every
// time. host: the host's monotonic clock, so the kernel's real preemption of
// the process reaches the bus as it would on the board.
enum class Clock { virtual_time, host };

// The chip's times at one corner of their ranges; random draws each time
// within its range from the seed.
ChipTiming chip_timing(Corner corner, uint64_t seed = 1);

struct Config {
    Chip chip = Chip::ds2431;
    // IDSTAMP_SIM_CHIP as given; empty: the image's size decides the chip.
    std::string chip_setting;
    // Whole memory of the chip (144 or 2624 bytes); empty: a new chip, all 0xFF.
    std::vector<uint8_t> memory;
    // Family byte and six serial bytes in bus order; the CRC-8 is computed.
    // Eight bytes are used as they are (a wrong CRC-8 stays wrong).
    // Empty: the chip's family and a fixed serial.
    std::vector<uint8_t> rom;
    Faults faults;
    ChipTiming timing;
    uint32_t tprog_us = 10000; // programming time of a Copy Scratchpad: the data sheets' maximum
    std::string image_path;    // where memory is saved after each copy; empty: nowhere
    std::string syslog_path;   // system log file; empty: kept in memory only; "-", /dev/stderr: standard error
    bool syslog_to_host = false; // send system log lines to the host's syslog
    std::string trace_path;    // VCD trace; empty: none
    // On the host's clock: the gaps between register accesses, written at
    // finish as an oslat profile (noise=FILE replays it); empty: none.
    std::string gaps_path;
    std::string report_path;   // summary at finish; "-", /dev/stderr: standard error; empty: none
    uint32_t start_counter_us = 0; // what the microsecond counter reads at the start
    uint64_t access_cost_ns = kAccessCostNs; // virtual time of one register access
    Clock clock = Clock::virtual_time;
    // On the host's clock: the retry loops' sleeps really sleep (false: they
    // return at once and are counted in Stats::sleep_seconds_skipped).
    bool real_sleep = false;
};

} // namespace sim

#endif
