// The IDSTAMP_SIM_* settings: one row each, from which the environment is
// read, every refusal but the output paths' is said, a misspelt name is
// given its nearest one and the docs' table is printed.
#ifndef IDSTAMP_SIM_HOST_SETTINGS_TABLE_H
#define IDSTAMP_SIM_HOST_SETTINGS_TABLE_H

#include <vector>

#include "sim/host/setting_values.h"

namespace sim {
namespace detail {

struct Setting {
    const char *name;
    const char *default_text; // Markdown, as the docs' table shows it
    const char *meaning;      // one line, Markdown
    Values values;            // what it takes and how it is read (setting_values.h)
    // Set but empty is a value of its own (a path that means "none");
    // otherwise it is the same as unset.
    bool empty_is_value = false;
    // Refused on the virtual clock, where it means nothing. Read after
    // IDSTAMP_SIM_CLOCK.
    bool host_clock_only = false;
    // Read after every other row: of several bad settings, the others are
    // refused first.
    bool read_last = false;
};

// Every setting, in the order they are read (but for read_last) and the docs
// list them: a setting that depends on another comes after it.
const std::vector<Setting> &settings();

} // namespace detail
} // namespace sim

#endif
