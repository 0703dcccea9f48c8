// Gaps from a measured noise profile, handed to the master's accesses.
#include "sim/model/noise.h"

#include <algorithm>
#include <cmath>

#include "sim/model/board.h"
#include "sim/model/random.h"

namespace sim {
namespace detail {

namespace {

// A stream of its own, so that noise and jitter together draw what each draws alone.
constexpr uint64_t kNoiseStream = 0x6E6F6973652D3031ull;

// Uniform in (0, 1].
double unit(uint64_t &rng)
{
    return static_cast<double>((next_random(rng) >> 11) + 1) * 0x1p-53;
}

} // namespace

void NoiseReplay::start(const NoiseProfile &profile, uint64_t seed)
{
    double sum = 0.0;
    for (const uint64_t count : profile.counts)
        cumulative.push_back(sum += static_cast<double>(count));
    total = sum;
    on = total > 0.0 && profile.seconds > 0.0 && profile.counts.size() == profile.upper_us.size();
    if (!on)
        return;
    upper_us = profile.upper_us;
    mean_interval_ns = profile.seconds * 1e9 / total;
    const double low_ns = (upper_us.back() - 1) * 1e3;
    overflow = profile.overflow && profile.max_us > upper_us.back() && low_ns > 0.0;
    if (overflow) {
        overflow_low_ns = low_ns;
        overflow_log_ratio = std::log(profile.max_us * 1e3 / low_ns);
    }
    rng = seed ^ kNoiseStream;
    next_at = interval();
}

// Time from the end of one gap to the next arrival: exponential.
uint64_t NoiseReplay::interval()
{
    // At most some 30 years: a profile of hardly any gaps in a long duration
    // must not run the clock past its end.
    return static_cast<uint64_t>(std::min(-std::log(unit(rng)) * mean_interval_ns, 1e18));
}

// A bucket in proportion to its count; uniform within it, log-uniform in the overflow.
uint64_t NoiseReplay::length()
{
    const double pick = (1.0 - unit(rng)) * total; // [0, total)
    const size_t b = static_cast<size_t>(std::upper_bound(cumulative.begin(), cumulative.end(), pick)
                                         - cumulative.begin());
    const uint64_t low_ns = (upper_us[b] - 1) * kUs;
    if (overflow && b + 1 == upper_us.size()) {
        const double ns = overflow_low_ns * std::exp(unit(rng) * overflow_log_ratio);
        return std::max(low_ns + 1, static_cast<uint64_t>(ns));
    }
    return low_ns + 1 + next_random(rng) % kUs;
}

// The gap an access starting now loses, after `before` lost to other faults.
// An arrival while the master ran no access (a sleep, a stretch) finds no
// access to hit: the next one is drawn from now, which is what a Poisson
// process over the master's running time gives.
uint64_t Board::noise_delay(uint64_t before)
{
    uint64_t gap = 0;
    if (noise.next_at <= now) {
        if (noise.next_at > noise.ran_to) {
            noise.next_at = now + noise.interval();
        }
        if (noise.next_at <= now) {
            gap = noise.length();
            // From the gap's end, so its own time queues no more arrivals.
            noise.next_at = now + before + gap + noise.interval();
        }
    }
    noise.ran_to = now + before + gap + config.access_cost_ns;
    return gap;
}

} // namespace detail
} // namespace sim
