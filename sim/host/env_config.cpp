// Set-up of idstamp-sim from IDSTAMP_SIM_* variables: the tool's own command
// line stays exactly the board's. Only the settings: the image is claimed and
// read when the run starts (run_from_env.cpp).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string>

#include "sim/host/image_lock.h"
#include "sim/host/output_paths.h"
#include "sim/sim.h"

namespace sim {

namespace {

const char kPrefix[] = "idstamp-sim: ";

// Set and not empty.
const char *variable(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool parse_unsigned(const std::string &text, uint64_t max, uint64_t &value, int base = 10)
{
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || number > max)
        return false;
    value = number;
    return true;
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
    if (!parse_unsigned(transactions.substr(0, dash), 1000000000, first) || first == 0)
        return false;
    last = first;
    if (dash != std::string::npos) {
        const std::string end = transactions.substr(dash + 1);
        last = Stretch::kEveryLater;
        if (!end.empty() && (!parse_unsigned(end, 1000000000, last) || last < first))
            return false;
    }
    if (!parse_unsigned(text.substr(colon + 1, slash - colon - 1), 1000000000, edge)
        || !parse_unsigned(text.substr(slash + 1, at == std::string::npos ? at : at - slash - 1), 1000000, us)
        || us == 0)
        return false;
    if (at != std::string::npos && !parse_unsigned(text.substr(at + 1), 1000000000, at_us))
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
    uint64_t number = 0;
    const std::string bad_number =
        std::string(kPrefix) + "IDSTAMP_SIM_FAULTS: bad number in \"" + item + "\"";
    if (count != nullptr || name == "power-loss") {
        if (!parse_unsigned(value, 1000000000, number)) {
            error = bad_number;
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
            error = bad_number + " (jitter=P/MAX: probability 0 to 1, MAX microseconds from 1)";
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
            error = bad_number + " (stretch=T:K/US or T:K/US@AT: transactions T as N, N-M or N- from 1,"
                                 " falling edge K from 0, US microseconds 1 to 1000000, AT microseconds)";
            return false;
        }
        ++faults.stretch_count;
        return true;
    }
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

bool number_variable(const char *name, uint64_t max, uint64_t &value, std::string &error, int base = 10)
{
    const char *text = variable(name);
    if (text == nullptr)
        return true;
    if (!parse_unsigned(text, max, value, base)) {
        error = std::string(kPrefix) + name + ": \"" + text + "\" is not a number";
        return false;
    }
    return true;
}

} // namespace

bool settings_from_env(Config &config, std::string &error)
{
    if (const char *chip = variable("IDSTAMP_SIM_CHIP")) {
        std::string name(chip);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
            return static_cast<char>(std::tolower(c));
        });
        if (name == "ds2431") {
            config.chip = Chip::ds2431;
        } else if (name == "ds28ec20") {
            config.chip = Chip::ds28ec20;
        } else {
            error = std::string(kPrefix) + "IDSTAMP_SIM_CHIP: unknown chip \"" + chip + "\" (ds2431 or ds28ec20)";
            return false;
        }
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
    if (!number_variable("IDSTAMP_SIM_SEED", UINT64_MAX, number, error))
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
    if (!number_variable("IDSTAMP_SIM_TPROG_US", 1000000, number, error))
        return false;
    config.tprog_us = static_cast<uint32_t>(number);
    if (const char *cost = variable("IDSTAMP_SIM_ACCESS_NS")) {
        if (!parse_unsigned(cost, 10000, number) || number == 0) {
            error = std::string(kPrefix) + "IDSTAMP_SIM_ACCESS_NS: \"" + cost + "\" is not 1 to 10000";
            return false;
        }
        config.access_cost_ns = number;
    }
    number = config.start_counter_us;
    if (!number_variable("IDSTAMP_SIM_COUNTER", UINT32_MAX, number, error, 0))
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
