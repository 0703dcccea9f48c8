// Every fault of IDSTAMP_SIM_FAULTS, one row each: its name, the value it
// takes and that value's range, what it does, how it is read (fault_values.h)
// and the field of Faults it sets. A new fault is a row here, its field in
// Faults and the board code that acts on it; docs/simulated-board.md's table
// must have its row too (Docs.SimTablesMatchTheCode).
#include "sim/host/fault_table.h"

#include "sim/host/fault_values.h"
#include "sim/host/value_parsers.h"

namespace sim {
namespace detail {

namespace {

const std::string kCounts = "0 to " + std::to_string(kMaxCount);
const std::string kDelays = "1 to " + std::to_string(kMaxDelayUs);

// Made before main, which is where the faults are read.
const std::vector<Fault> kFaults = {
    {"absent", nullptr, "", "No chip: nothing answers a reset.", read_flag,
     [](Faults &f, uint64_t) { f.absent = true; }},
    {"stuck-low", nullptr, "", "The line is held low for the whole run: the master never sees it rise.",
     read_flag, [](Faults &f, uint64_t) { f.stuck_low = true; }},
    {"rom-crc", "N", kCounts, "The first N Read ROM commands send the ROM's CRC-8 byte with bit 0 flipped.",
     read_count, [](Faults &f, uint64_t n) { f.rom_crc = static_cast<unsigned>(n); }},
    {"rom-crc-after", "K", kCounts, "With `rom-crc`: the bad ones begin after K good Read ROM commands.",
     read_count, [](Faults &f, uint64_t n) { f.rom_crc_after = static_cast<unsigned>(n); }},
    {"read-flip", "N", kCounts, "The first N Read Memory commands send their first data byte with bit 0 flipped.",
     read_count, [](Faults &f, uint64_t n) { f.read_flip = static_cast<unsigned>(n); }},
    {"copy-fail", "N", kCounts,
     "The first N Copy Scratchpad commands program nothing and answer 1s (0xFF) instead of the confirmation "
     "pattern.",
     read_count, [](Faults &f, uint64_t n) { f.copy_fail = static_cast<unsigned>(n); }},
    {"short-fill", "N", kCounts,
     "The first N Write Scratchpad fills stop at half the scratchpad, unseen by the master.", read_count,
     [](Faults &f, uint64_t n) { f.short_fill = static_cast<unsigned>(n); }},
    {"short-fill-after", "K", kCounts, "With `short-fill`: the short fills begin after K whole ones.", read_count,
     [](Faults &f, uint64_t n) { f.short_fill_after = static_cast<unsigned>(n); }},
    {"power-loss", "N", kCounts, "After N row copies in this run the chip is gone from the next reset on.",
     read_count, [](Faults &f, uint64_t n) { f.power_loss = static_cast<long>(n); }},
    {"jitter", "P/MAX", "probability 0 to 1, MAX microseconds " + kDelays,
     "Before each register access, with probability P, the access happens 1 to MAX microseconds later.",
     read_jitter, nullptr},
    {"stretch", "T:K/US or T:K/US@AT",
     "transactions T as N, N-M or N- from 1 to " + std::to_string(kMaxCount) + ", falling edge K " + kCounts
         + ", US microseconds " + kDelays + ", AT microseconds " + kCounts,
     "One register access after falling edge K of the master's transactions T is made US microseconds late.",
     read_stretch, nullptr},
    {"noise", "FILE", "as oslat --json=FILE writes it",
     "The gaps a busy loop saw on a real machine, replayed in virtual time.", read_noise, nullptr},
    {"timer-bad", "REG", timer_bad_registers(),
     "One of the timer registers the tool checks reads wrong; `timer-bad` alone is the last of them.",
     read_timer_bad, nullptr},
    {"sched-eperm", nullptr, "", "`sched_setscheduler` fails with EPERM.", read_flag,
     [](Faults &f, uint64_t) { f.sched_eperm = true; }},
    {"devmem-eacces", nullptr, "", "Opening `/dev/mem` fails with EACCES.", read_flag,
     [](Faults &f, uint64_t) { f.devmem_eacces = true; }},
    {"mmap-fail", nullptr, "", "Mapping the window fails with EPERM.", read_flag,
     [](Faults &f, uint64_t) { f.mmap_fail = true; }},
};

} // namespace

const std::vector<Fault> &fault_table()
{
    return kFaults;
}

} // namespace detail
} // namespace sim
