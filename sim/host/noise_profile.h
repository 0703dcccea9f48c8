// A noise profile from the file oslat --json writes (IDSTAMP_SIM_FAULTS=noise=FILE).
#ifndef IDSTAMP_SIM_HOST_NOISE_PROFILE_H
#define IDSTAMP_SIM_HOST_NOISE_PROFILE_H

#include <string>

#include "sim/config.h"

namespace sim {
namespace detail {

// Reads path into profile: the threads' histograms pooled, their durations
// summed. False with what is wrong in a few words (the caller names the file).
bool read_noise_profile(const std::string &path, NoiseProfile &profile, std::string &what);

} // namespace detail
} // namespace sim

#endif
