// The host side of a run: what the process around the board holds. The
// emulated system calls record here (host_calls.cpp), the run saves the image
// and traces the line from the board's hooks (run.cpp), and the report is
// written from the board's counters (report.cpp).
#ifndef IDSTAMP_SIM_HOST_HOST_H
#define IDSTAMP_SIM_HOST_HOST_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/host/vcd_trace.h"
#include "sim/model/board.h"
#include "sim/config.h"
#include "sim/test_probes.h"

namespace sim {
namespace detail {

struct Host {
    explicit Host(const Config &setup) : config(setup) {}

    const Config &config; // the run's set-up, as the board holds it
    bool finished = false;
    bool image_behind = false; // the last save of the memory to the image failed

    // The system log and the scheduler, as the tool called them.
    std::vector<std::string> syslog_lines;
    std::vector<SchedCall> sched_calls;
    std::vector<OpenlogCall> openlog_calls;
    std::string log_ident;
    int log_facility = 0;
    bool log_opened = false;

    // The pretend /dev/mem: its descriptors and the window it maps.
    uint8_t *window = nullptr;
    std::vector<int> open_fds;
    int next_fd = 0;

    VcdTrace trace;
};

// The one host side, beside board(); host() starts a default run when
// nothing was started.
extern Host *g_host;

inline Host &host()
{
    if (__builtin_expect(g_host == nullptr, 0))
        start_default();
    return *g_host;
}

// report.cpp
void write_report(const Board &b);
// gap_profile.cpp: Config::gaps_path, when set.
void write_gap_profile(const Board &b);

} // namespace detail
} // namespace sim

#endif
