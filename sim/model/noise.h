// Replay of a measured noise profile (Faults::noise): gaps arrive as a
// Poisson process in virtual time, each as long as a latency drawn from the
// profile's histogram. Board::noise_delay (noise.cpp) hands them to accesses.
#ifndef IDSTAMP_SIM_MODEL_NOISE_H
#define IDSTAMP_SIM_MODEL_NOISE_H

#include <cstdint>
#include <vector>

#include "sim/model/virtual_time.h"
#include "sim/config.h"

namespace sim {
namespace detail {

struct NoiseReplay {
    bool on = false;          // the profile has gaps
    uint64_t next_at = kNever; // the next gap arrives then
    uint64_t ran_to = 0;      // the master's last access ended then
    uint64_t rng = 0;
    double mean_interval_ns = 0.0;
    double total = 0.0;               // gaps in the profile
    std::vector<double> cumulative;   // by bucket: gaps in it and below
    std::vector<uint32_t> upper_us;
    bool overflow = false;
    double overflow_low_ns = 0.0, overflow_log_ratio = 0.0; // log-uniform from low to max

    // Takes the profile up; the first arrival is drawn from time 0.
    void start(const NoiseProfile &profile, uint64_t seed);
    uint64_t interval();
    uint64_t length();
};

} // namespace detail
} // namespace sim

#endif
