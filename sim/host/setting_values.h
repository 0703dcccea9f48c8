// What an IDSTAMP_SIM_* setting takes, and how its value is read into the
// set-up. Each maker gives both the text the docs' table shows and a reader
// whose refusals say the same, so the two cannot drift apart.
#ifndef IDSTAMP_SIM_HOST_SETTING_VALUES_H
#define IDSTAMP_SIM_HOST_SETTING_VALUES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/config.h"

namespace sim {
namespace detail {

// Reads a value into config; value is null when the setting is unset. False
// with why it is refused, which follows "idstamp-sim: NAME: ".
using ReadValue = std::function<bool(const char *value, Config &config, std::string &why)>;

struct Values {
    std::string text; // Markdown: what the setting takes
    ReadValue read;
};

// How a number is written, and what its refusal says.
enum NumberForm : unsigned {
    kDecimal = 0,
    kOrHex = 1,       // decimal, or hex with 0x; the range is given in both
    kRangeForAny = 2, // text that is no number is given the range too
};

// A whole number min..max: refused `"12x" is not a number`, or with its
// range, `"1000001" is not 0 to 1000000`.
Values number(uint64_t min, uint64_t max, void (*set)(Config &, uint64_t), unsigned form = kDecimal);

struct Choice {
    const char *name;
    int value;
};

// One of the names, refused `unknown WHAT "given" (a, b or c)`; set gets the
// chosen name's value and the text as given.
Values choice(const char *what, std::vector<Choice> choices, void (*set)(Config &, int, const std::string &),
              bool any_case = false);

// Text of one form, refused `"given" is not FORM`; read says whether it is one.
Values form(const char *form, bool (*read)(const std::string &, Config &));

// Text whose reader says its own refusals; what is the docs' text.
Values text(const char *what, bool (*read)(const std::string &, Config &, std::string &why));

// A path, never refused here (check_output_paths compares them all at the
// end); set gets null when the setting is unset.
Values path(const char *what, void (*set)(Config &, const char *));

} // namespace detail
} // namespace sim

#endif
