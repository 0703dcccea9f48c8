// The board's clock counts virtual nanoseconds from the start of a run.
#ifndef IDSTAMP_SIM_MODEL_VIRTUAL_TIME_H
#define IDSTAMP_SIM_MODEL_VIRTUAL_TIME_H

#include <cstdint>

namespace sim {
namespace detail {

constexpr uint64_t kUs = 1000;
constexpr uint64_t kNever = UINT64_MAX;

} // namespace detail
} // namespace sim

#endif
