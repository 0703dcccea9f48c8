// The run's other files: the trace, the report and the system log.
#ifndef IDSTAMP_SIM_HOST_OUTPUT_PATHS_H
#define IDSTAMP_SIM_HOST_OUTPUT_PATHS_H

#include <cstdio>
#include <string>

#include "sim/config.h"

namespace sim {
namespace detail {

// Whether two paths name one file: the same inode when it exists, otherwise
// the same place once symbolic links and relative directories are resolved.
bool same_file(const std::string &a, const std::string &b);

// Whether a report or log path means the process's own standard error: "-",
// /dev/stderr, /dev/fd/2 or /proc/self/fd/2. Those go through descriptor 2, as
// everything else said there does: a file opened again by one of these names
// would write from an offset of its own and overwrite the other lines.
bool is_standard_error(const std::string &path);

// The GTKWave save file written beside a trace: .gtkw for .vcd, or added.
std::string gtkw_path(const std::string &trace_path);

// Whether a path names a regular file or one still to be made (not a device,
// a FIFO or a directory). A trace gets its save file only then.
bool is_made_or_regular(const std::string &path);

// Refuses a trace (with its save file), report or log path that names the
// image, its lock file, one of its temporary files or another of these
// outputs, however spelt; and a trace on standard error.
bool check_output_paths(const Config &config, std::string &error);

// Closes an output file; a write or close that failed is reported on
// standard error. False when it failed.
bool close_output(std::FILE *file, const std::string &path);

} // namespace detail
} // namespace sim

#endif
