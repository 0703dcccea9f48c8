// oslat --json output: thread.N.{duration, max, histogram{"B": count}}, where
// bucket B holds loop latencies in (B-1, B] us and the highest bucket also
// every longer one. Zero buckets are left out of the file.
#include "sim/host/noise_profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

#include <nlohmann/json.hpp>

namespace sim {
namespace detail {

namespace {

using nlohmann::json;

// Longest bucket bound and latency taken: 10 s is no scheduling gap.
constexpr uint64_t kMaxMicroseconds = 10000000;
// Keeps the pooled sums far from wrapping.
constexpr uint64_t kMaxCount = 1000000000000000ull;

bool read_whole(const std::string &path, std::string &text, std::string &what)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        what = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            what = std::string("cannot be read: ") + std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

// "1", "32", ...: no sign, no leading zero, no fraction.
bool bucket_number(const std::string &name, uint64_t &bucket)
{
    if (name.empty() || name.size() > 8 || name[0] == '0')
        return false;
    bucket = 0;
    for (const char c : name) {
        if (c < '0' || c > '9')
            return false;
        bucket = bucket * 10 + static_cast<uint64_t>(c - '0');
    }
    return bucket <= kMaxMicroseconds;
}

bool read_thread(const std::string &id, const json &thread, std::map<uint64_t, uint64_t> &buckets,
                 double &seconds, uint64_t &max_us, std::string &what)
{
    const std::string name = "thread \"" + id + "\"";
    if (!thread.is_object() || !thread.contains("histogram") || !thread["histogram"].is_object()) {
        what = "no histogram (" + name + " has no \"histogram\" object)";
        return false;
    }
    const json *duration = thread.contains("duration") ? &thread["duration"] : nullptr;
    if (duration == nullptr || !duration->is_number() || !(duration->get<double>() > 0.0)
        || !std::isfinite(duration->get<double>())) {
        what = name + ": the duration is " + (duration == nullptr ? "missing" : duration->dump())
               + ", not a positive number of seconds";
        return false;
    }
    seconds += duration->get<double>();
    if (thread.contains("max")) {
        const json &max = thread["max"];
        if (!max.is_number_unsigned() || max.get<uint64_t>() > kMaxMicroseconds) {
            what = name + ": max " + max.dump() + " is not 0 to " + std::to_string(kMaxMicroseconds)
                   + " microseconds";
            return false;
        }
        max_us = std::max(max_us, max.get<uint64_t>());
    }
    for (const auto &[key, count] : thread["histogram"].items()) {
        uint64_t bucket = 0;
        if (!bucket_number(key, bucket)) {
            what = name + ": bucket \"" + key + "\" is not a whole number of microseconds, 1 to "
                   + std::to_string(kMaxMicroseconds);
            return false;
        }
        if (count.is_number() && count.get<double>() < 0.0) {
            what = name + ": bucket \"" + key + "\" has a negative count, " + count.dump();
            return false;
        }
        if (!count.is_number_unsigned() || count.get<uint64_t>() > kMaxCount) {
            what = name + ": bucket \"" + key + "\" has the count " + count.dump() + ", not a whole number 0 to "
                   + std::to_string(kMaxCount);
            return false;
        }
        buckets[bucket] += count.get<uint64_t>();
    }
    return true;
}

} // namespace

bool read_noise_profile(const std::string &path, NoiseProfile &profile, std::string &what)
{
    std::string text;
    if (!read_whole(path, text, what))
        return false;
    json file;
    try {
        file = json::parse(text);
    } catch (const json::parse_error &e) {
        size_t line = 1, column = 1;
        for (size_t i = 0; i + 1 < e.byte && i < text.size(); ++i, ++column)
            if (text[i] == '\n')
                line += 1, column = 0;
        what = "not JSON (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
        return false;
    }
    if (!file.is_object() || !file.contains("thread") || !file["thread"].is_object() || file["thread"].empty()) {
        what = "no histogram (no \"thread\" object with oslat's histograms)";
        return false;
    }

    std::map<uint64_t, uint64_t> buckets;
    double seconds = 0.0;
    uint64_t max_us = 0;
    for (const auto &[id, thread] : file["thread"].items())
        if (!read_thread(id, thread, buckets, seconds, max_us, what))
            return false;
    uint64_t total = 0;
    for (const auto &bucket : buckets)
        total += bucket.second;
    if (total == 0) {
        what = "the histogram is empty (no counts)";
        return false;
    }

    profile = NoiseProfile{};
    profile.seconds = seconds;
    profile.max_us = static_cast<uint32_t>(max_us);
    for (const auto &[bucket, count] : buckets) {
        if (bucket < 2 || count == 0)
            continue; // bucket 1 is the loop running
        profile.upper_us.push_back(static_cast<uint32_t>(bucket));
        profile.counts.push_back(count);
    }
    // The file's highest bucket holds every longer latency too: it is an
    // overflow when it holds any and something longer was seen.
    const uint64_t last = buckets.rbegin()->first;
    profile.overflow = last >= 2 && buckets.rbegin()->second > 0 && max_us > last;
    return true;
}

} // namespace detail
} // namespace sim
