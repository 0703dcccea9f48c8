// The board's random numbers: splitmix64, deterministic from its state, so
// the same seed gives the same run. Each user keeps a state of its own.
#ifndef IDSTAMP_SIM_MODEL_RANDOM_H
#define IDSTAMP_SIM_MODEL_RANDOM_H

#include <cstdint>

namespace sim {
namespace detail {

inline uint64_t next_random(uint64_t &state)
{
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace detail
} // namespace sim

#endif
