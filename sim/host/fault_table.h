// The faults IDSTAMP_SIM_FAULTS names: one row each, from which the fault
// list is read, its refusals are said and the docs' table is printed.
#ifndef IDSTAMP_SIM_HOST_FAULT_TABLE_H
#define IDSTAMP_SIM_HOST_FAULT_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/config.h"

namespace sim {
namespace detail {

// One item of the list: "name" or "name=value".
struct FaultItem {
    std::string text;  // as given, the blanks around it dropped
    std::string name;  // before any '=', with '_' read as '-'
    bool has_value = false;
    std::string value; // after the '='
};

struct Fault {
    const char *name;
    const char *form;  // the value as the docs write it ("N", "P/MAX"); null: it takes none
    std::string range; // what the value may be, as the docs and the refusals say it
    const char *meaning; // one line, Markdown
    // Reads the item into faults (fault_values.h has the kinds); false with
    // why it is refused, which follows "idstamp-sim: IDSTAMP_SIM_FAULTS: ".
    bool (*read)(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why);
    void (*set)(Faults &faults, uint64_t value); // what a flag (1) or a count sets; null for the others
};

// Every fault, in the docs' order.
const std::vector<Fault> &fault_table();

} // namespace detail
} // namespace sim

#endif
