// The chip's own times at the corners of their ranges, as a master on the
// line sees them.
#include <gtest/gtest.h>

#include "harness/software_master.h"
#include "sim/config.h"
#include "sim/run.h"
#include "sim/test_probes.h"

namespace {

using simtest::Bytes;
using simtest::Master;

constexpr uint64_t kUs = 1000;

// Presence pulse after a reset: when it starts after the rise and how long it
// lasts, in nanoseconds as the master sees them (a few accesses late).
std::pair<uint64_t, uint64_t> presence(Master &m)
{
    m.drive_low();
    m.wait_us(500);
    m.release();
    const uint64_t rise = sim::now_ns();
    EXPECT_TRUE(m.watch(false, 100));
    const uint64_t start = sim::now_ns();
    EXPECT_TRUE(m.watch(true, 300));
    return {start - rise, sim::now_ns() - start};
}

// How long the chip holds a 0 in a read slot, from the falling edge.
uint64_t read0_hold(Master &m)
{
    EXPECT_TRUE(m.command({0x33})); // the family byte 0x2D begins with a 1, then a 0
    m.read_bit();
    m.drive_low();
    const uint64_t fall = sim::now_ns();
    m.release();
    EXPECT_TRUE(m.watch(true, 100));
    return sim::now_ns() - fall;
}

// Whether Read ROM, sent with its 1s held low for low_us, reached the chip:
// it answers with the family byte, else it goes quiet and the line reads 1s.
bool read_rom_taken(Master &m, uint32_t write1_low_us)
{
    m.reset();
    m.timing.write1_low = write1_low_us;
    m.write_bytes({0x33});
    m.timing = simtest::Timing{};
    return m.read_byte() == 0x2D;
}

TEST(ChipTiming, CornersSitWhereTheySay)
{
    struct Case {
        sim::Corner corner;
        uint64_t presence_delay_us, presence_low_us, write_sample_us, read0_hold_us;
    };
    const Case cases[] = {
        {sim::Corner::typical, 30, 120, 30, 30},
        {sim::Corner::fast, 15, 60, 15, 15},
        {sim::Corner::slow, 60, 240, 60, 60},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.corner));
        sim::Config config;
        config.timing = sim::chip_timing(c.corner);
        sim::start(config);
        Master m;
        m.open();
        const auto [delay, low] = presence(m);
        EXPECT_GE(delay, c.presence_delay_us * kUs);
        EXPECT_LT(delay, c.presence_delay_us * kUs + 1000);
        EXPECT_GE(low, c.presence_low_us * kUs - 1000);
        EXPECT_LT(low, c.presence_low_us * kUs + 1000);
        m.wait_us(100);
        const uint64_t hold = read0_hold(m);
        EXPECT_GT(hold, c.read0_hold_us * kUs);
        EXPECT_LT(hold, c.read0_hold_us * kUs + 1000);
        // A write-1 let go a microsecond before the sample is a 1; one let go
        // after it is a 0 (the low is counted from the falling edge).
        EXPECT_TRUE(read_rom_taken(m, static_cast<uint32_t>(c.write_sample_us - 2)));
        EXPECT_FALSE(read_rom_taken(m, static_cast<uint32_t>(c.write_sample_us)));
    }
}

// Random: each time anywhere in its range, the same for the same seed.
TEST(ChipTiming, RandomDrawsStayInTheirRanges)
{
    const sim::ChipTiming fast = sim::chip_timing(sim::Corner::fast), slow = sim::chip_timing(sim::Corner::slow);
    uint32_t lowest = UINT32_MAX, highest = 0;
    for (uint64_t seed = 1; seed <= 200; seed++) {
        const sim::ChipTiming t = sim::chip_timing(sim::Corner::random, seed);
        EXPECT_TRUE(t.presence_delay_ns >= fast.presence_delay_ns && t.presence_delay_ns <= slow.presence_delay_ns);
        EXPECT_TRUE(t.presence_low_ns >= fast.presence_low_ns && t.presence_low_ns <= slow.presence_low_ns);
        EXPECT_TRUE(t.write_sample_ns >= fast.write_sample_ns && t.write_sample_ns <= slow.write_sample_ns);
        EXPECT_TRUE(t.read0_hold_ns >= fast.read0_hold_ns && t.read0_hold_ns <= slow.read0_hold_ns);
        lowest = std::min(lowest, t.read0_hold_ns);
        highest = std::max(highest, t.read0_hold_ns);
        EXPECT_EQ(sim::chip_timing(sim::Corner::random, seed).write_sample_ns, t.write_sample_ns);
    }
    EXPECT_LT(lowest, 20 * kUs); // spread over the range, not stuck at one point
    EXPECT_GT(highest, 55 * kUs);
}

} // namespace
