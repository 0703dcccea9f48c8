#include <algorithm>
#include <regex>
#include <sstream>

#include "soak.h"

namespace soak {

namespace {

// Start texts and retry texts have no line end: a value can follow them on
// the same line, so each line is taken from its first marker on.
const char *const kMarkers[] = {"ONE WIRE part information", "8-bit Family", "48-bit Serial", "8-bit CRC",
                                "CRC: ", "MAC address read", "IPv4 PAGE info", "\t slot", " slot ",
                                "Read generic string done", "Read string:", "IDSTAMP: Read MAC address"};

bool is_rom_value(const std::string &value)
{
    return value.rfind("ONE WIRE", 0) == 0 || value.rfind("8-bit Family", 0) == 0 || value.rfind("48-bit", 0) == 0
           || value.rfind("8-bit CRC", 0) == 0;
}

} // namespace

// What a run printed that a reader takes as the chip's content: the ROM
// report, the records' reports and CRCs, the IPv4 texts to be written, and
// the MAC address logged.
std::string values_of(const std::string &out, const std::string &log, bool without_rom)
{
    static const std::regex kAttempt("\\(\\d+\\)");
    std::string values;
    std::istringstream in(out + log);
    for (std::string line; std::getline(in, line);) {
        size_t at = std::string::npos;
        for (const char *marker : kMarkers)
            at = std::min(at, line.find(marker));
        if (at == std::string::npos)
            continue;
        const std::string value = line.substr(at);
        if (!(without_rom && is_rom_value(value)))
            values += std::regex_replace(value, kAttempt, "(n)") + "\n";
    }
    return values;
}

// Status 255 failed; status 0 with the intended image and values exact, with
// anything else silent; any other status (or a crash) other.
void count(Config &c, Build build, unsigned seed, const Outcome &r)
{
    Counts &n = c.builds[build];
    ++n.runs;
    n.disturbed_slots += r.disturbed_slots;
    n.reruns += r.reruns;
    if (r.status == 255) {
        ++n.failed;
    } else if (r.status != 0) {
        ++n.other;
        n.other_seeds.push_back(seed);
    } else if (r.image != c.want.image || r.values != c.want_values[r.rom_given_up]) {
        ++n.silent;
        n.silent_seeds.push_back(seed);
    } else {
        ++n.ok;
        n.disturbed_ok += r.disturbed;
        if (r.timed)
            n.ok_us.push_back(r.virtual_us);
    }
}

// An undisturbed level cannot have a disturbed run that succeeded; at any
// other a sweep without one could not have failed.
bool broken(const Config &c)
{
    const Counts &n = c.builds[kSim];
    return n.silent != 0 || n.other != 0 || (c.probability > 0 && n.disturbed_ok == 0);
}

} // namespace soak
