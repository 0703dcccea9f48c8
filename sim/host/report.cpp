// Summary of a run, one "key value" a line, for scripts and people alike.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "sim/host/host.h"
#include "sim/host/output_paths.h"

namespace sim {
namespace detail {

void write_report(const Board &b)
{
    const std::string &path = b.config.report_path;
    if (path.empty())
        return;
    const bool to_stderr = is_standard_error(path);
    std::FILE *out = to_stderr ? stderr : std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        std::fprintf(stderr, "idstamp-sim: %s: %s\n", path.c_str(), std::strerror(errno));
        return;
    }
    const Stats &s = b.stats;
    const struct {
        const char *key;
        uint64_t value;
    } lines[] = {
        {"virtual_time_us", s.virtual_ns / kUs},
        {"bus_busy_us", s.bus_busy_ns / kUs},
        {"resets", s.resets},
        {"presence_pulses", s.presence_pulses},
        {"slots", s.slots},
        {"bytes", s.bytes},
        {"copies", s.copies},
        {"timing_violations", s.violations},
        {"sleep_seconds", s.sleep_seconds},
        {"devmem_opens", s.devmem_opens},
        {"devmem_closes", s.devmem_closes},
    };
    for (const auto &line : lines)
        std::fprintf(out, "%s %" PRIu64 "\n", line.key, line.value);
    if (b.config.clock == Clock::host) {
        std::fprintf(out, "sleep_seconds_skipped %" PRIu64 "\n", s.sleep_seconds_skipped);
        std::fprintf(out, "host_gaps_2us %" PRIu64 "\nhost_gaps_10us %" PRIu64 "\nhost_gaps_32us %" PRIu64 "\n",
                     s.host_gaps[0], s.host_gaps[1], s.host_gaps[2]);
    }
    if (s.tool_disturbed_slots != 0) {
        std::fprintf(out, "disturbed_slots %" PRIu64 "\n", s.tool_disturbed_slots);
        std::fprintf(out, "reruns %" PRIu64 "\n", s.tool_reruns);
    }
    if (s.misuses != 0)
        std::fprintf(out, "misuses %" PRIu64 "\n", s.misuses);
    if (to_stderr)
        std::fflush(stderr);
    else
        close_output(out, path);
}

} // namespace detail
} // namespace sim
