// The gaps the process saw between its register accesses on the host's clock,
// written as oslat --json writes a profile: one thread, its duration, its
// longest gap and a histogram by whole microseconds (bucket B: more than B-1,
// at most B; the last bucket, 1024, holds every longer one too). Replayed with
// noise=FILE, the model meets the gaps this very run met.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "sim/host/host.h"
#include "sim/host/output_paths.h"

namespace sim {
namespace detail {

void write_gap_profile(const Board &b)
{
    const std::string &path = b.config.gaps_path;
    if (path.empty() || b.host_gap_buckets.empty())
        return;
    std::FILE *out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        std::fprintf(stderr, "idstamp-sim: %s: %s\n", path.c_str(), std::strerror(errno));
        return;
    }
    const uint64_t max_us = (b.host_gap_max_ns + kUs - 1) / kUs;
    std::fprintf(out,
                 "{\n  \"file_version\": 1,\n  \"cmdline:\": \"idstamp-sim, IDSTAMP_SIM_GAPS: gaps between register "
                 "accesses\",\n  \"num_threads\": 1,\n  \"thread\": {\n    \"0\": {\n      \"cpu\": -1,\n"
                 "      \"min\": 1,\n      \"max\": %" PRIu64 ",\n      \"duration\": %.6f,\n      \"histogram\": {",
                 max_us, static_cast<double>(b.now) / 1e9);
    const char *separator = "\n";
    for (size_t bucket = 1; bucket < b.host_gap_buckets.size(); ++bucket) {
        if (b.host_gap_buckets[bucket] == 0)
            continue;
        std::fprintf(out, "%s        \"%zu\": %" PRIu64, separator, bucket, b.host_gap_buckets[bucket]);
        separator = ",\n";
    }
    std::fprintf(out, "\n      }\n    }\n  }\n}\n");
    close_output(out, path);
}

} // namespace detail
} // namespace sim
