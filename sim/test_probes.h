// What tests (and the benchmarks, the fuzzers and the board binary's
// preload) look at on the simulated board once it ran, and the one way they
// change what it does: a byte the chip is about to send.
#ifndef IDSTAMP_SIM_TEST_PROBES_H
#define IDSTAMP_SIM_TEST_PROBES_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

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

// Master's low pulses, recorded from now on (cleared by the call).
void record_pulses();
const std::vector<Pulse> &pulses();

void set_tx_tamper(TxTamper tamper);

} // namespace sim

#endif
