// Every IDSTAMP_SIM_* setting, one row each: its name, its default, what it
// means, what it takes (and so its refusals) and the field of Config it sets.
// A new setting is a row here, its field in Config and the code that uses
// it; docs/simulated-board.md's table must have its row too
// (Docs.SimTablesMatchTheCode).
#include "sim/host/settings_table.h"

#include "sim/host/fault_values.h"
#include "sim/host/image_lock.h"
#include "sim/host/value_parsers.h"
#include "sim/model/chips/chip.h"

namespace sim {
namespace detail {

namespace {

// IDSTAMP_SIM_CHIP: the chips of the chip list by name, in any case; the
// name as given is kept for the refusal of an image of another chip.
Values chip_names()
{
    std::vector<Choice> chips;
    for (size_t i = 0; i < chip_count(); ++i)
        chips.push_back({chip_at(i).name, static_cast<int>(chip_kind(chip_at(i)))});
    return choice("chip", chips,
                  [](Config &c, int chip, const std::string &given) {
                      c.chip = static_cast<Chip>(chip);
                      c.chip_setting = given;
                  },
                  true);
}

// Through a symbolic link the image is the link's target: read, locked and
// saved there, and the link stays.
void set_image(Config &c, const char *path)
{
    c.image_path = path != nullptr ? path : "idstamp-sim.eeprom";
    if (!c.image_path.empty())
        c.image_path = follow_links(c.image_path);
}

// The set-up a row's reader fills in.
using C = Config &;

// Made before main, which is where the settings are read.
const std::vector<Setting> kSettings = {
    {"IDSTAMP_SIM_EEPROM", "`idstamp-sim.eeprom` in the current directory",
     "The chip's memory image, read at the start and saved after every copy.",
     path("a path; set but empty: a blank chip never saved", set_image), true},
    {"IDSTAMP_SIM_CHIP", "the image's chip; `ds2431` when there is no image",
     "The chip of a new image; an existing image must hold it.", chip_names()},
    {"IDSTAMP_SIM_ROM", "family of the chip, serial `9c 3e 6b 0d 00 00`",
     "The chip's ROM; its CRC-8 is computed.",
     form("14 hex digits (family code and six serial bytes in bus order)",
          [](const std::string &text, C c) { return parse_hex_bytes(text, 7, c.rom); })},
    {"IDSTAMP_SIM_FAULTS", "none", "Faults of the board, [below](#faults).",
     text("comma-separated faults",
          [](const std::string &list, C c, std::string &why) { return parse_faults(list, c.faults, why); })},
    {"IDSTAMP_SIM_SEED", "`1`",
     "Seed of the jitter's and the noise profile's random numbers and of the `random` chip timing.",
     number(0, UINT64_MAX, [](C c, uint64_t seed) { c.faults.seed = seed; })},
    {"IDSTAMP_SIM_CHIP_TIMING", "`typical`", "Where the chip's own times sit in their ranges.",
     choice("timing",
            {{"typical", static_cast<int>(Corner::typical)}, {"fast", static_cast<int>(Corner::fast)},
             {"slow", static_cast<int>(Corner::slow)}, {"random", static_cast<int>(Corner::random)}},
            [](C c, int corner, const std::string &) {
                c.timing = chip_timing(static_cast<Corner>(corner), c.faults.seed);
            })},
    {"IDSTAMP_SIM_SYSLOG", "unset: the host's syslog", "File the system log lines are appended to.",
     path("a path; `-` or `/dev/stderr`: standard error; set but empty: nowhere",
          [](C c, const char *file) {
              c.syslog_to_host = file == nullptr;
              c.syslog_path = file != nullptr ? file : "";
          }),
     true},
    {"IDSTAMP_SIM_TRACE", "none", "VCD file of the line, with a GTKWave save file beside it.",
     path("a path", [](C c, const char *file) { c.trace_path = file != nullptr ? file : ""; }), true},
    {"IDSTAMP_SIM_REPORT", "none", "File for the report at the end of the run.",
     path("a path; `-` or `/dev/stderr`: standard error",
          [](C c, const char *file) { c.report_path = file != nullptr ? file : ""; }),
     true},
    {"IDSTAMP_SIM_TPROG_US", "`10000`", "How long the chip programs a row after Copy Scratchpad, in microseconds.",
     number(0, 1000000, [](C c, uint64_t us) { c.tprog_us = static_cast<uint32_t>(us); })},
    {"IDSTAMP_SIM_COUNTER", "`0`", "What the microsecond counter reads at the start.",
     number(0, UINT32_MAX, [](C c, uint64_t us) { c.start_counter_us = static_cast<uint32_t>(us); }, kOrHex),
     false, false, true},
    {"IDSTAMP_SIM_ACCESS_NS", "`200`", "Virtual time every register access costs, in nanoseconds.",
     number(1, 10000, [](C c, uint64_t ns) { c.access_cost_ns = ns; }, kRangeForAny)},
    {"IDSTAMP_SIM_CLOCK", "`virtual`", "Whose time the counter shows: virtual time or the host's monotonic clock.",
     choice("clock", {{"virtual", static_cast<int>(Clock::virtual_time)}, {"host", static_cast<int>(Clock::host)}},
            [](C c, int clock, const std::string &) { c.clock = static_cast<Clock>(clock); })},
    {"IDSTAMP_SIM_SLEEP", "`skip`", "Whether the retry loops' sleeps return at once or really sleep.",
     choice("way", {{"skip", 0}, {"real", 1}}, [](C c, int real, const std::string &) { c.real_sleep = real != 0; }),
     false, true},
    {"IDSTAMP_SIM_GAPS", "unset", "File for the gaps between the tool's register accesses, as an oslat profile.",
     path("a path",
          [](C c, const char *file) {
              if (file != nullptr)
                  c.gaps_path = file;
          }),
     false, true},
};

} // namespace

const std::vector<Setting> &settings()
{
    return kSettings;
}

} // namespace detail
} // namespace sim
