// The run's other files: the trace, the report and the system log.
#ifndef IDSTAMP_SIM_HOST_OUTPUT_PATHS_H
#define IDSTAMP_SIM_HOST_OUTPUT_PATHS_H

#include <cstdio>
#include <string>

#include "sim/sim.h"

namespace sim {
namespace detail {

// Whether two paths name one file: the same inode when it exists, otherwise
// the same place once symbolic links and relative directories are resolved.
bool same_file(const std::string &a, const std::string &b);

// Refuses a trace, report or log path that names the image.
bool check_output_paths(const Config &config, std::string &error);

// Closes an output file; a write or close that failed is reported on
// standard error. False when it failed.
bool close_output(std::FILE *file, const std::string &path);

} // namespace detail
} // namespace sim

#endif
