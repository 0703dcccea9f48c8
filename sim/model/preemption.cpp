// Time the master's accesses lose before they take effect, as when the
// process is preempted: random jitter on any access, stretches of chosen
// accesses of chosen transactions (Faults::stretches), and the gaps of a
// measured noise profile (noise.cpp).
#include "sim/model/board.h"
#include "sim/model/random.h"

#include <algorithm>

namespace sim {
namespace detail {

uint64_t Board::jitter_delay()
{
    if (next_random(rng) >= jitter_threshold)
        return 0;
    return (1 + next_random(rng) % config.faults.jitter_max_us) * kUs;
}

// Time lost before an access: jitter, and stretches whose access this is.
uint64_t Board::access_delay()
{
    uint64_t delay = jitter_on ? jitter_delay() : 0;
    if (now >= late_from)
        delay += take_late();
    if (noise.on)
        delay += noise_delay(delay);
    return delay;
}

void Board::count_host_gap(uint64_t gap)
{
    const uint64_t bucket = (gap + kUs - 1) / kUs;
    ++host_gap_buckets[std::min<uint64_t>(std::max<uint64_t>(bucket, 1), host_gap_buckets.size() - 1)];
    host_gap_max_ns = std::max(host_gap_max_ns, gap);
}

// When an access that took the slow way takes effect: on the host's clock
// its real time, never before the board's own now; plus any fault's delay,
// which on the host's clock is kept for the accesses after it.
uint64_t Board::hooked_access_time(uint64_t to)
{
    if (host_clock) {
        const uint64_t real = hooks.clock_ns(hooks.context);
        const uint64_t gap = real - host_last_ns;
        if (!host_gap_buckets.empty() && host_last_ns != 0)
            count_host_gap(gap);
        host_last_ns = real;
        stats.host_gaps[0] += gap >= 2 * kUs;
        stats.host_gaps[1] += gap >= 10 * kUs;
        stats.host_gaps[2] += gap >= 32 * kUs;
        const uint64_t host = real + host_lost_ns;
        to = host > now ? host : now;
    }
    const uint64_t delay = access_delay();
    host_lost_ns += delay;
    return to + delay;
}

// Stretch faults. Transactions and edges are the master's, whatever the chip
// makes of them: a low counts as a reset when the master held it 480 us or
// more, not counting the stretch added to it, so a slot stretched that long is
// still the slot it was. A low is known to be a reset only when it ends; the
// falling edges after that are 1, 2, ...

// Arms the stretches of falling edge k of the master's current transaction.
void Board::arm_stretches(uint32_t k)
{
    const uint64_t t = master_transaction;
    const Faults &f = config.faults;
    for (unsigned i = 0; i < f.stretch_count && i < kMaxStretches; ++i) {
        const Stretch &s = f.stretches[i];
        if (s.edge != k || t < s.first || t > s.last)
            continue;
        if (!s.at) {
            release_late_ns += s.us * kUs;
            continue;
        }
        // One access at a time: still waiting from an earlier transaction
        // (AT longer than a transaction), it is not armed again.
        if (late[i] != kNever)
            continue;
        late[i] = master_fall_at + s.at_us * kUs;
        late_from = std::min(late_from, late[i]);
        access_hook = true;
    }
}

void Board::stretch_fall()
{
    stretch_in_low = 0;
    release_late_ns = 0;
    if (master_transaction == 0)
        return; // before the first reset nothing is counted
    ++master_edge_k;
    arm_stretches(master_edge_k);
}

// Before the write that lets go of the master's low takes effect.
void Board::stretch_release()
{
    uint64_t late_ns = release_late_ns;
    release_late_ns = 0;
    if (now - master_fall_at - stretch_in_low >= kResetMin) {
        // It was the next transaction's reset, edge 0, not a slot of this one.
        ++master_transaction;
        master_edge_k = 0;
        arm_stretches(0);
        late_ns = release_late_ns;
        release_late_ns = 0;
    }
    if (late_ns != 0) {
        stretch_in_low += late_ns;
        advance(now + late_ns);
    }
}

// The delay of every late access due at this access's start.
uint64_t Board::take_late()
{
    uint64_t delay = 0;
    late_from = kNever;
    for (unsigned i = 0; i < kMaxStretches; ++i) {
        if (late[i] <= now) {
            delay += config.faults.stretches[i].us * kUs;
            late[i] = kNever;
        }
        late_from = std::min(late_from, late[i]);
    }
    access_hook = jitter_on || host_clock || noise.on || late_from != kNever;
    stretch_in_low += delay;
    return delay;
}

} // namespace detail
} // namespace sim
