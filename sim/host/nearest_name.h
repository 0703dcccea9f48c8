// The known name nearest to a misspelt one, for the hint of a refusal.
#ifndef IDSTAMP_SIM_HOST_NEAREST_NAME_H
#define IDSTAMP_SIM_HOST_NEAREST_NAME_H

#include <cstddef>
#include <string>
#include <vector>

namespace sim {
namespace detail {

// Edits (insert, delete, replace a character) that make a into b.
size_t edit_distance(const std::string &a, const std::string &b);

// Of the known names (upper case), the one fewest edits from name, case
// aside ("seed" is SEED); of two as near, the one that starts alike (TPROG is
// TPROG_US rather than EEPROM); of two alike in both, the one listed first.
// known must not be empty.
std::string nearest_name(const std::string &name, const std::vector<std::string> &known);

} // namespace detail
} // namespace sim

#endif
