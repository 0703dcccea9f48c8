// Reading IDSTAMP_SIM_FAULTS: the list split into items, each read by the
// kind of its row in the fault table.
#include "sim/host/fault_values.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "sim/host/noise_profile.h"
#include "sim/host/value_parsers.h"

namespace sim {
namespace detail {

namespace {

// The timer registers the tool checks; timer-bad alone is the last.
const uint32_t kTimerRegisters[] = {0x600, 0x612, 0x638, 0x63A};

std::string bad_number(const FaultItem &item)
{
    return "bad number in \"" + item.text + "\"";
}

// A value of a jitter or stretch refused with its form and ranges.
std::string bad_form(const Fault &fault, const FaultItem &item)
{
    return bad_number(item) + " (" + fault.name + "=" + fault.form + ": " + fault.range + ")";
}

FaultItem split_item(const std::string &text)
{
    FaultItem item;
    item.text = text;
    const size_t equals = text.find('=');
    item.name = text.substr(0, equals);
    std::replace(item.name.begin(), item.name.end(), '_', '-');
    item.has_value = equals != std::string::npos;
    item.value = item.has_value ? text.substr(equals + 1) : "";
    return item;
}

bool read_item(const std::string &text, Faults &faults, std::string &why)
{
    const FaultItem item = split_item(text);
    const std::vector<Fault> &table = fault_table();
    const auto fault = std::find_if(table.begin(), table.end(),
                                    [&item](const Fault &known) { return item.name == known.name; });
    if (fault == table.end()) {
        why = "unknown fault \"" + item.name + "\"";
        return false;
    }
    return fault->read(*fault, item, faults, why);
}

} // namespace

bool read_flag(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why)
{
    if (item.has_value) {
        why = std::string("fault \"") + fault.name + "\" takes no value";
        return false;
    }
    fault.set(faults, 1);
    return true;
}

bool read_count(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why)
{
    uint64_t count = 0;
    const Number parsed = parse_number(item.value, 0, kMaxCount, count);
    if (parsed != Number::ok) {
        why = bad_number(item) + (parsed == Number::out_of_range ? " (" + fault.range + ")" : "");
        return false;
    }
    fault.set(faults, count);
    return true;
}

bool read_jitter(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why)
{
    if (!parse_jitter(item.value, faults.jitter_p, faults.jitter_max_us)) {
        why = bad_form(fault, item);
        return false;
    }
    return true;
}

bool read_stretch(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why)
{
    if (faults.stretch_count == kMaxStretches) {
        why = "more than " + std::to_string(kMaxStretches) + " stretch faults";
        return false;
    }
    if (!parse_stretch(item.value, faults.stretches[faults.stretch_count])) {
        why = bad_form(fault, item);
        return false;
    }
    ++faults.stretch_count;
    return true;
}

bool read_timer_bad(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why)
{
    uint64_t reg = std::end(kTimerRegisters)[-1];
    if (item.has_value) {
        const std::string &value = item.value;
        const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
        if (!hex || !parse_unsigned(value.substr(2), 0xFFFF, reg, 16)
            || std::find(std::begin(kTimerRegisters), std::end(kTimerRegisters), reg) == std::end(kTimerRegisters)) {
            why = std::string(fault.name) + "=" + value + " is not a timer register the tool checks (" + fault.range
                  + ")";
            return false;
        }
    }
    faults.timer_bad = static_cast<uint32_t>(reg);
    return true;
}

std::string timer_bad_registers()
{
    std::vector<std::string> names;
    for (const uint32_t reg : kTimerRegisters) {
        char name[16];
        std::snprintf(name, sizeof name, "0x%X", static_cast<unsigned>(reg));
        names.push_back(name);
    }
    return one_of(names);
}

bool read_noise(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why)
{
    if (!item.has_value || item.value.empty()) {
        why = std::string("fault \"") + fault.name + "\" takes a file: " + fault.name + "=" + fault.form + ", "
              + fault.range;
        return false;
    }
    if (faults.noise.seconds > 0.0) {
        why = "more than one noise profile";
        return false;
    }
    std::string what;
    if (!read_noise_profile(item.value, faults.noise, what)) {
        why = std::string(fault.name) + "=" + item.value + ": " + what;
        return false;
    }
    return true;
}

bool parse_faults(const std::string &text, Faults &faults, std::string &why)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string item = text.substr(start, comma - start);
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (!item.empty() && !read_item(item, faults, why))
            return false;
        start = comma + 1;
    }
    return true;
}

} // namespace detail
} // namespace sim
