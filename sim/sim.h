// The simulated board: virtual time, the SoC's timer and I/O port, the
// open-drain 1-Wire line, and a DS2431 or DS28EC20 on it.
//
// The simulated platform back-end (platform/sim_platform.cpp) routes every
// seam call here; tests use this interface to set the board up and look at
// what happened on it.
#ifndef IDSTAMP_SIM_SIM_H
#define IDSTAMP_SIM_SIM_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// Window the tool maps: physical start and length.
constexpr uint64_t kWindowPhys = 0xE0000000u;
constexpr uint64_t kWindowSize = 0x200000u;

// The I/O port as the board comes up: the other pins' data latches hold a
// recognisable pattern (the 1-Wire pin's latch bit 0x04000000 is clear), and
// every direction field but the 1-Wire pin's (0x00300000) is non-zero, so a
// read-modify-write that loses other pins' bits shows.
constexpr uint32_t kDataRegInit = 0x5A5A5A5Au;
constexpr uint32_t kDirRegInit = 0xA585A5A5u;

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

struct Stats {
    uint64_t virtual_ns = 0;     // virtual time since start
    uint64_t bus_busy_ns = 0;    // time with the pin's direction field open
    uint64_t master_edges = 0;   // falling edges driven by the master
    uint64_t resets = 0;         // reset pulses the chip recognised
    uint64_t presence_pulses = 0;
    uint64_t slots = 0;          // read and write slots the chip took part in
    uint64_t bytes = 0;          // whole bytes received or sent by the chip
    uint64_t copies = 0;         // Copy Scratchpad that programmed memory
    uint64_t violations = 0;     // timing outside the chip's windows
    uint64_t sleep_seconds = 0;
    uint64_t sleep_seconds_skipped = 0; // on the host's clock, of sleep_seconds
    // On the host's clock: gaps between two register accesses of at least 2,
    // 10 and 32 us (the process was away, as a busy loop measures it).
    uint64_t host_gaps[3] = {0, 0, 0};
    uint64_t devmem_opens = 0;
    uint64_t devmem_closes = 0;
    uint64_t register_accesses = 0;
    uint64_t misuses = 0;        // calls the tool should never make (see misuse_log)
    // What the tool's own guard logged at its end: slots it found disturbed,
    // and transactions it ran again (0 when it logged nothing).
    uint64_t tool_disturbed_slots = 0;
    uint64_t tool_reruns = 0;
};

// A low pulse on the line as the master drove it (tests measure slots with it).
struct Pulse {
    uint64_t fall_ns;
    uint64_t rise_ns;
};

// Lets a test change a byte the chip is about to send: command is the ROM or
// memory command being answered, index counts the bytes sent for it from 0
// (the first data byte of Read Memory, TA1 of Read Scratchpad, the first CRC
// byte after Write Scratchpad), transaction counts the chip's resets since start.
struct TxContext {
    uint8_t command;
    unsigned index;
    uint64_t transaction;
};
using TxTamper = std::function<uint8_t(const TxContext &, uint8_t)>;

// Reads IDSTAMP_SIM_* into config: the settings alone, with the image's path
// followed through its links and the output paths checked against it; the
// image itself is not touched. On an error returns false with a message for
// standard error.
bool settings_from_env(Config &config, std::string &error);

// Claims config.image_path for this run (a place that can't hold an image is
// refused; a second run on it waits for the first) and reads an existing
// image into config.memory, its size deciding config.chip. An empty path is a
// blank chip. False with a message for standard error.
bool take_image(Config &config, std::string &error);

// settings_from_env, then take_image.
bool config_from_env(Config &config, std::string &error);

// config_from_env, then start(): how idstamp-sim and the board binary's
// preload begin a run. False with a message for standard error, the board
// not started.
bool start_from_env(std::string &error);

// A fresh board with the given set-up; time starts again.
void start(const Config &config);

// Ends the run: final trace timestamp, report. Safe to call more than once.
void finish();

// Exit status of idstamp-sim, and of the board binary on the simulated board,
// when the chip's memory changed and its image could not be saved: never the
// tool's own 0 or 255 (EX_IOERR of sysexits.h).
constexpr int kImageNotSaved = 74;

// Whether the image holds the chip's memory as it is: false after a save that
// failed, until a later one succeeds; true without an image.
bool image_saved();

// The process's exit status once the tool returned tool_status and the run
// finished: tool_status, or kImageNotSaved with a line on standard error when
// the image lacks the chip's last changes.
int exit_status(int tool_status);

// Whether a board is running. Any other entry point used before start()
// starts a default board (Config{}: blank DS2431, nothing saved or traced).
bool started();

const Stats &stats();
uint64_t now_ns();
const std::vector<uint8_t> &memory();
const std::array<uint8_t, 8> &rom();
const std::vector<std::string> &syslog_lines();
// One text per misuse counted in stats().misuses.
const std::vector<std::string> &misuse_log();

struct SchedCall {
    int pid;
    int policy;
    int priority;
};
const std::vector<SchedCall> &sched_calls();

struct OpenlogCall {
    std::string ident;
    int option;
    int facility;
};
const std::vector<OpenlogCall> &openlog_calls();

// The 1-Wire CRCs as the chips compute them: CRC-8 (x8+x5+x4+1) and CRC-16
// (x16+x15+x2+1), both bits least significant first, start value 0.
uint8_t crc8(const uint8_t *data, size_t length, uint8_t crc = 0);
uint16_t crc16(const uint8_t *data, size_t length, uint16_t crc = 0);

// The register window as mapped by the tool (null until mapped).
uint8_t *window();

// Master's low pulses, recorded from now on (cleared by the call).
void record_pulses();
const std::vector<Pulse> &pulses();

void set_tx_tamper(TxTamper tamper);

// Entry points of the simulated back-end.
uint8_t reg_read8(uint32_t offset);
uint16_t reg_read16(uint32_t offset);
uint32_t reg_read32(uint32_t offset);
void reg_write32(uint32_t offset, uint32_t value);
int mem_open(const char *path, int flags);
void *mem_map(void *hint, size_t length, int prot, int flags, int fd, int64_t offset);
int mem_close(int fd);
unsigned sleep_seconds(unsigned seconds);
int sched_priority_max(int policy);
int sched_set(int pid, int policy, int priority);
void openlog(const char *ident, int option, int facility);
void syslog(int priority, const std::string &message);

} // namespace sim

#endif
