// Set-up of idstamp-sim from IDSTAMP_SIM_* variables: the tool's own command
// line stays exactly the board's. Only the settings: the image is claimed and
// read when the run starts (run_from_env.cpp).
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "sim/host/chip_choice.h"
#include "sim/host/image_lock.h"
#include "sim/host/noise_profile.h"
#include "sim/host/output_paths.h"
#include "sim/run.h"

namespace sim {

namespace {

const char kPrefix[] = "idstamp-sim: ";

// The largest count of a fault, and of transactions, edges and microseconds
// in a stretch.
constexpr uint64_t kMaxCount = 1000000000;

// Set and not empty.
const char *variable(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Every setting config_from_env reads. Any other IDSTAMP_SIM_* name is refused:
// a misspelt one would run the board without what it was meant to set.
const char *const kSettings[] = {
    "IDSTAMP_SIM_EEPROM", "IDSTAMP_SIM_CHIP",     "IDSTAMP_SIM_ROM",     "IDSTAMP_SIM_FAULTS",
    "IDSTAMP_SIM_SEED",   "IDSTAMP_SIM_CHIP_TIMING", "IDSTAMP_SIM_SYSLOG", "IDSTAMP_SIM_TRACE",
    "IDSTAMP_SIM_REPORT", "IDSTAMP_SIM_TPROG_US", "IDSTAMP_SIM_COUNTER", "IDSTAMP_SIM_ACCESS_NS",
    "IDSTAMP_SIM_CLOCK",  "IDSTAMP_SIM_SLEEP", "IDSTAMP_SIM_GAPS",
};

// Edits (insert, delete, replace a character) that make a into b.
size_t edit_distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool only_known_settings(std::string &error)
{
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        // idstamp_sim_seed is as much a misspelling as IDSTAMP_SIM_SEDE.
        const std::string prefix = "IDSTAMP_SIM_";
        if (text.size() < prefix.size()
            || !std::equal(prefix.begin(), prefix.end(), text.begin(),
                           [](char known, char c) { return known == std::toupper(static_cast<unsigned char>(c)); }))
            continue;
        const std::string name = text.substr(0, text.find('='));
        if (std::find(std::begin(kSettings), std::end(kSettings), name) != std::end(kSettings))
            continue;
        // Nearest by edits, case aside ("seed" is SEED); of two as near, the
        // one that starts alike (TPROG is TPROG_US rather than EEPROM).
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) {
            return static_cast<char>(std::toupper(c));
        });
        const auto common_start = [&upper](const std::string &known) {
            return std::mismatch(upper.begin(), upper.end(), known.begin(), known.end()).first - upper.begin();
        };
        std::string nearest = kSettings[0];
        for (const std::string known : kSettings) {
            const size_t edits = edit_distance(upper, known), best = edit_distance(upper, nearest);
            if (edits < best || (edits == best && common_start(known) > common_start(nearest)))
                nearest = known;
        }
        error = std::string(kPrefix) + name + ": unknown setting; the nearest known one is " + nearest;
        return false;
    }
    return true;
}

enum class Number { ok, not_a_number, out_of_range };

// A whole unsigned number in min..max. A negative number or one too big for
// 64 bits is a number out of range, not something else.
Number parse_number(const std::string &text, uint64_t min, uint64_t max, uint64_t &value, int base = 10)
{
    const bool negative = text.size() > 1 && text[0] == '-';
    const std::string digits = negative ? text.substr(1) : text;
    if (digits.empty() || !std::isxdigit(static_cast<unsigned char>(digits[0])))
        return Number::not_a_number;
    errno = 0;
    char *end = nullptr;
    const unsigned long long number = std::strtoull(digits.c_str(), &end, base);
    if (*end != '\0')
        return Number::not_a_number;
    if (negative || errno == ERANGE || number < min || number > max)
        return Number::out_of_range;
    value = number;
    return Number::ok;
}

bool parse_unsigned(const std::string &text, uint64_t max, uint64_t &value, int base = 10)
{
    return parse_number(text, 0, max, value, base) == Number::ok;
}

bool parse_rom(const std::string &text, std::vector<uint8_t> &rom)
{
    if (text.size() != 14 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return false;
    rom.clear();
    for (size_t i = 0; i < 14; i += 2)
        rom.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

bool parse_jitter(const std::string &text, Faults &faults)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    const std::string p = text.substr(0, slash);
    char *end = nullptr;
    errno = 0;
    const double probability = std::strtod(p.c_str(), &end);
    uint64_t max = 0;
    if (errno != 0 || *end != '\0' || !(probability >= 0.0 && probability <= 1.0)
        || !parse_unsigned(text.substr(slash + 1), 1000000, max) || max == 0)
        return false;
    faults.jitter_p = probability;
    faults.jitter_max_us = static_cast<unsigned>(max);
    return true;
}

// T:K/US or T:K/US@AT, T being N, N-M or N- (transactions from 1).
bool parse_stretch(const std::string &text, Stretch &stretch)
{
    const size_t colon = text.find(':'), slash = text.find('/', colon), at = text.find('@', slash);
    if (colon == std::string::npos || slash == std::string::npos)
        return false;
    const std::string transactions = text.substr(0, colon);
    const size_t dash = transactions.find('-');
    uint64_t first = 0, last = 0, edge = 0, us = 0, at_us = 0;
    if (!parse_unsigned(transactions.substr(0, dash), kMaxCount, first) || first == 0)
        return false;
    last = first;
    if (dash != std::string::npos) {
        const std::string end = transactions.substr(dash + 1);
        last = Stretch::kEveryLater;
        if (!end.empty() && (!parse_unsigned(end, kMaxCount, last) || last < first))
            return false;
    }
    if (!parse_unsigned(text.substr(colon + 1, slash - colon - 1), kMaxCount, edge)
        || !parse_unsigned(text.substr(slash + 1, at == std::string::npos ? at : at - slash - 1), 1000000, us)
        || us == 0)
        return false;
    if (at != std::string::npos && !parse_unsigned(text.substr(at + 1), kMaxCount, at_us))
        return false;
    stretch = Stretch{static_cast<uint32_t>(first), static_cast<uint32_t>(last), static_cast<uint32_t>(edge),
                      static_cast<uint32_t>(us), at != std::string::npos, static_cast<uint32_t>(at_us)};
    return true;
}

// timer-bad alone is timer 2's prescaler; =REG names any register the tool checks.
bool parse_timer_bad(bool has_value, const std::string &value, Faults &faults, std::string &error)
{
    uint64_t reg = 0x63A;
    if (has_value) {
        const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
        if (!hex || !parse_unsigned(value.substr(2), 0xFFFF, reg, 16)
            || (reg != 0x600 && reg != 0x612 && reg != 0x638 && reg != 0x63A)) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_FAULTS: timer-bad=" + value
                    + " is not a timer register the tool checks (0x600, 0x612, 0x638 or 0x63A)";
            return false;
        }
    }
    faults.timer_bad = static_cast<uint32_t>(reg);
    return true;
}

// noise=FILE: the file is read now, so a bad one ends the run before the tool starts.
bool parse_noise(bool has_value, const std::string &file, Faults &faults, std::string &error)
{
    const std::string start = std::string(kPrefix) + "IDSTAMP_SIM_FAULTS: ";
    if (!has_value || file.empty()) {
        error = start + "fault \"noise\" takes a file: noise=FILE, as oslat --json=FILE writes it";
        return false;
    }
    if (faults.noise.seconds > 0.0) {
        error = start + "more than one noise profile";
        return false;
    }
    std::string what;
    if (!detail::read_noise_profile(file, faults.noise, what)) {
        error = start + "noise=" + file + ": " + what;
        return false;
    }
    return true;
}

bool parse_fault(std::string item, Faults &faults, std::string &error)
{
    const size_t equals = item.find('=');
    std::string name = item.substr(0, equals);
    std::replace(name.begin(), name.end(), '_', '-');
    const bool has_value = equals != std::string::npos;
    const std::string value = has_value ? item.substr(equals + 1) : "";

    bool *flag = nullptr;
    if (name == "absent")
        flag = &faults.absent;
    else if (name == "stuck-low")
        flag = &faults.stuck_low;
    else if (name == "sched-eperm")
        flag = &faults.sched_eperm;
    else if (name == "devmem-eacces")
        flag = &faults.devmem_eacces;
    else if (name == "mmap-fail")
        flag = &faults.mmap_fail;
    if (flag != nullptr) {
        if (has_value) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_FAULTS: fault \"" + name + "\" takes no value";
            return false;
        }
        *flag = true;
        return true;
    }

    if (name == "timer-bad")
        return parse_timer_bad(has_value, value, faults, error);

    unsigned *count = nullptr;
    if (name == "rom-crc")
        count = &faults.rom_crc;
    else if (name == "rom-crc-after")
        count = &faults.rom_crc_after;
    else if (name == "read-flip")
        count = &faults.read_flip;
    else if (name == "copy-fail")
        count = &faults.copy_fail;
    else if (name == "short-fill")
        count = &faults.short_fill;
    else if (name == "short-fill-after")
        count = &faults.short_fill_after;
    uint64_t number = 0;
    const std::string bad_number =
        std::string(kPrefix) + "IDSTAMP_SIM_FAULTS: bad number in \"" + item + "\"";
    if (count != nullptr || name == "power-loss") {
        const Number parsed = parse_number(value, 0, kMaxCount, number);
        if (parsed != Number::ok) {
            error = bad_number + (parsed == Number::out_of_range ? " (0 to " + std::to_string(kMaxCount) + ")" : "");
            return false;
        }
        if (count != nullptr)
            *count = static_cast<unsigned>(number);
        else
            faults.power_loss = static_cast<long>(number);
        return true;
    }
    if (name == "jitter") {
        if (!parse_jitter(value, faults)) {
            error = bad_number + " (jitter=P/MAX: probability 0 to 1, MAX microseconds 1 to 1000000)";
            return false;
        }
        return true;
    }
    if (name == "stretch") {
        if (faults.stretch_count == kMaxStretches) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_FAULTS: more than " + std::to_string(kMaxStretches)
                    + " stretch faults";
            return false;
        }
        if (!parse_stretch(value, faults.stretches[faults.stretch_count])) {
            error = bad_number + " (stretch=T:K/US or T:K/US@AT: transactions T as N, N-M or N- from 1 to"
                                 " 1000000000, falling edge K 0 to 1000000000, US microseconds 1 to 1000000,"
                                 " AT microseconds 0 to 1000000000)";
            return false;
        }
        ++faults.stretch_count;
        return true;
    }
    if (name == "noise")
        return parse_noise(has_value, value, faults, error);
    error = std::string(kPrefix) + "IDSTAMP_SIM_FAULTS: unknown fault \"" + name + "\"";
    return false;
}

bool parse_faults(const std::string &text, Faults &faults, std::string &error)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string item = text.substr(start, comma - start);
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (!item.empty() && !parse_fault(item, faults, error))
            return false;
        start = comma + 1;
    }
    return true;
}

// A number variable: a non-number is said to be one, a number out of range is
// given the range (range: how it reads, e.g. "0 to 1000000").
bool number_variable(const char *name, uint64_t min, uint64_t max, const std::string &range, uint64_t &value,
                     std::string &error, int base = 10)
{
    const char *text = variable(name);
    if (text == nullptr)
        return true;
    switch (parse_number(text, min, max, value, base)) {
    case Number::ok:
        return true;
    case Number::not_a_number:
        error = std::string(kPrefix) + name + ": \"" + text + "\" is not a number";
        return false;
    case Number::out_of_range:
        error = std::string(kPrefix) + name + ": \"" + text + "\" is not " + range;
        return false;
    }
    return false;
}

// IDSTAMP_SIM_CLOCK and IDSTAMP_SIM_SLEEP. Real sleeps are the host's, so
// they are refused on the virtual clock, where a sleep costs no real time.
bool clock_variables(Config &config, std::string &error)
{
    if (const char *clock = variable("IDSTAMP_SIM_CLOCK")) {
        const std::string name(clock);
        if (name == "virtual") {
            config.clock = Clock::virtual_time;
        } else if (name == "host") {
            config.clock = Clock::host;
        } else {
            error = std::string(kPrefix) + "IDSTAMP_SIM_CLOCK: unknown clock \"" + name + "\" (virtual or host)";
            return false;
        }
    }
    if (const char *sleep = variable("IDSTAMP_SIM_SLEEP")) {
        const std::string name(sleep);
        if (name != "skip" && name != "real") {
            error = std::string(kPrefix) + "IDSTAMP_SIM_SLEEP: unknown way \"" + name + "\" (skip or real)";
            return false;
        }
        if (config.clock != Clock::host) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_SLEEP: only on the host's clock (IDSTAMP_SIM_CLOCK=host)";
            return false;
        }
        config.real_sleep = name == "real";
    }
    if (const char *gaps = variable("IDSTAMP_SIM_GAPS")) {
        if (config.clock != Clock::host) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_GAPS: only on the host's clock (IDSTAMP_SIM_CLOCK=host)";
            return false;
        }
        config.gaps_path = gaps;
    }
    return true;
}

} // namespace

bool settings_from_env(Config &config, std::string &error)
{
    if (!only_known_settings(error))
        return false;
    const char *chip = variable("IDSTAMP_SIM_CHIP");
    if (chip != nullptr) {
        if (!detail::chip_named(chip, config.chip)) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_CHIP: unknown chip \"" + chip + "\" (" + detail::chip_names() + ")";
            return false;
        }
        config.chip_setting = chip;
    }

    if (const char *rom = variable("IDSTAMP_SIM_ROM")) {
        if (!parse_rom(rom, config.rom)) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_ROM: \"" + rom
                    + "\" is not 14 hex digits (family code and six serial bytes in bus order)";
            return false;
        }
    }

    if (const char *faults = variable("IDSTAMP_SIM_FAULTS")) {
        if (!parse_faults(faults, config.faults, error))
            return false;
    }

    uint64_t number = config.faults.seed;
    if (!number_variable("IDSTAMP_SIM_SEED", 0, UINT64_MAX, "0 to 18446744073709551615", number, error))
        return false;
    config.faults.seed = number;
    if (const char *corner = variable("IDSTAMP_SIM_CHIP_TIMING")) {
        const std::string name(corner);
        const Corner corners[] = {Corner::typical, Corner::fast, Corner::slow, Corner::random};
        const char *const names[] = {"typical", "fast", "slow", "random"};
        const auto known = std::find(std::begin(names), std::end(names), name);
        if (known == std::end(names)) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_CHIP_TIMING: unknown timing \"" + name
                    + "\" (typical, fast, slow or random)";
            return false;
        }
        config.timing = chip_timing(corners[known - std::begin(names)], config.faults.seed);
    }
    number = config.tprog_us;
    if (!number_variable("IDSTAMP_SIM_TPROG_US", 0, 1000000, "0 to 1000000", number, error))
        return false;
    config.tprog_us = static_cast<uint32_t>(number);
    if (const char *cost = variable("IDSTAMP_SIM_ACCESS_NS")) {
        if (!parse_unsigned(cost, 10000, number) || number == 0) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_ACCESS_NS: \"" + cost + "\" is not 1 to 10000";
            return false;
        }
        config.access_cost_ns = number;
    }
    if (!clock_variables(config, error))
        return false;
    number = config.start_counter_us;
    if (!number_variable("IDSTAMP_SIM_COUNTER", 0, UINT32_MAX, "0 to 4294967295 (0xFFFFFFFF)", number, error, 0))
        return false;
    config.start_counter_us = static_cast<uint32_t>(number);

    // Set but empty means "none" for the files below.
    const char *syslog_file = std::getenv("IDSTAMP_SIM_SYSLOG");
    config.syslog_to_host = syslog_file == nullptr;
    config.syslog_path = syslog_file != nullptr ? syslog_file : "";
    const char *trace = std::getenv("IDSTAMP_SIM_TRACE");
    config.trace_path = trace != nullptr ? trace : "";
    const char *report = std::getenv("IDSTAMP_SIM_REPORT");
    config.report_path = report != nullptr ? report : "";

    // Through a symbolic link the image is the link's target: read, locked and
    // saved there, and the link stays.
    const char *image = std::getenv("IDSTAMP_SIM_EEPROM");
    config.image_path = image != nullptr ? image : "idstamp-sim.eeprom";
    if (!config.image_path.empty())
        config.image_path = detail::follow_links(config.image_path);
    return detail::check_output_paths(config, error);
}

} // namespace sim
