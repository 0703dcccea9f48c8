// Set-up of idstamp-sim from IDSTAMP_SIM_* variables: the tool's own command
// line stays exactly the board's. Only the settings, read row by row from the
// settings table (settings_table.cpp): the image is claimed and read when the
// run starts (run_from_env.cpp).
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/host/nearest_name.h"
#include "sim/host/output_paths.h"
#include "sim/host/settings_table.h"
#include "sim/run.h"

namespace sim {

namespace {

const char kPrefix[] = "idstamp-sim: ";

// Any IDSTAMP_SIM_* name that is no setting is refused, with the nearest
// one: a misspelt one would run the board without what it was meant to set.
bool only_known_settings(std::string &error)
{
    std::vector<std::string> known;
    for (const detail::Setting &setting : detail::settings())
        known.push_back(setting.name);
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        // idstamp_sim_seed is as much a misspelling as IDSTAMP_SIM_SEDE.
        const std::string prefix = "IDSTAMP_SIM_";
        if (text.size() < prefix.size()
            || !std::equal(prefix.begin(), prefix.end(), text.begin(),
                           [](char p, char c) { return p == std::toupper(static_cast<unsigned char>(c)); }))
            continue;
        const std::string name = text.substr(0, text.find('='));
        if (std::find(known.begin(), known.end(), name) != known.end())
            continue;
        error = kPrefix + name + ": unknown setting; the nearest known one is " + detail::nearest_name(name, known);
        return false;
    }
    return true;
}

// One setting from the environment into config; false with its refusal.
bool read_setting(const detail::Setting &setting, Config &config, std::string &error)
{
    const char *value = std::getenv(setting.name);
    if (value != nullptr && *value == '\0' && !setting.empty_is_value)
        value = nullptr;
    std::string why;
    if (setting.values.read(value, config, why)) {
        if (value == nullptr || !setting.host_clock_only || config.clock == Clock::host)
            return true;
        why = "only on the host's clock (IDSTAMP_SIM_CLOCK=host)";
    }
    error = kPrefix + std::string(setting.name) + ": " + why;
    return false;
}

} // namespace

bool settings_from_env(Config &config, std::string &error)
{
    if (!only_known_settings(error))
        return false;
    for (const bool last : {false, true})
        for (const detail::Setting &setting : detail::settings())
            if (setting.read_last == last && !read_setting(setting, config, error))
                return false;
    return detail::check_output_paths(config, error);
}

} // namespace sim
