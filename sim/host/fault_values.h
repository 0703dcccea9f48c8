// The kinds of fault in IDSTAMP_SIM_FAULTS, each read with its own refusals,
// and the list itself.
#ifndef IDSTAMP_SIM_HOST_FAULT_VALUES_H
#define IDSTAMP_SIM_HOST_FAULT_VALUES_H

#include <string>

#include "sim/host/fault_table.h"
#include "sim/config.h"

namespace sim {
namespace detail {

// A fault that takes no value: fault.set(faults, 1).
bool read_flag(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why);

// A count 0 to kMaxCount: fault.set(faults, count).
bool read_count(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why);

// jitter=P/MAX.
bool read_jitter(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why);

// stretch=T:K/US[@AT], up to kMaxStretches of them.
bool read_stretch(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why);

// timer-bad alone is timer 2's prescaler; =REG names any register the tool checks.
bool read_timer_bad(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why);

// The registers timer-bad takes, as its refusal and the docs list them.
std::string timer_bad_registers();

// noise=FILE: the file is read now, so a bad one ends the run before the tool starts.
bool read_noise(const Fault &fault, const FaultItem &item, Faults &faults, std::string &why);

// The comma-separated list of IDSTAMP_SIM_FAULTS into faults; false with why
// it is refused, which follows "idstamp-sim: IDSTAMP_SIM_FAULTS: ".
bool parse_faults(const std::string &text, Faults &faults, std::string &why);

} // namespace detail
} // namespace sim

#endif
