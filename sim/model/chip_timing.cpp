// The chips' own times across their data sheets' standard-speed ranges. A
// master that works at one point of a range may fail at another, so the board
// can put the chip at either end of each range, or anywhere inside it.
#include "sim/model/random.h"
#include "sim/config.h"

namespace sim {

namespace {

struct Range {
    uint32_t fast_ns, slow_ns;
};

// Presence-detect high (tPDH) and low (tPDL), the write slot's sample point,
// and the read slot's 0, which must outlast 15 us (a master may sample until
// then), so the fast end lets go 1 ns after it.
constexpr Range kPresenceDelay{15000, 60000};
constexpr Range kPresenceLow{60000, 240000};
constexpr Range kWriteSample{15000, 60000};
constexpr Range kRead0Hold{15001, 60000};

uint32_t pick(Corner corner, const Range &range, uint32_t typical, uint64_t &state)
{
    switch (corner) {
    case Corner::fast:
        return range.fast_ns;
    case Corner::slow:
        return range.slow_ns;
    case Corner::random:
        return range.fast_ns + static_cast<uint32_t>(detail::next_random(state) % (range.slow_ns - range.fast_ns + 1));
    case Corner::typical:
        break;
    }
    return typical;
}

} // namespace

ChipTiming chip_timing(Corner corner, uint64_t seed)
{
    const ChipTiming typical;
    uint64_t state = seed ^ 0x6368697074696D65ull; // "chiptime"
    ChipTiming t;
    t.presence_delay_ns = pick(corner, kPresenceDelay, typical.presence_delay_ns, state);
    t.presence_low_ns = pick(corner, kPresenceLow, typical.presence_low_ns, state);
    t.write_sample_ns = pick(corner, kWriteSample, typical.write_sample_ns, state);
    t.read0_hold_ns = pick(corner, kRead0Hold, typical.read0_hold_ns, state);
    return t;
}

} // namespace sim
