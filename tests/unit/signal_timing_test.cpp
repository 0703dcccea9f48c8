// The timer and the slots measured on the simulated line: how long the master
// holds the line low and how long each slot lasts, against the timing table.
#include "signal/onewiresignal.h"
#include "signal/timer.h"
#include "sim_board.h"

namespace {

using simboard::boot;

constexpr uint64_t kUs = 1000;

TEST(Timer, WaitEndsAfterTheCounterWraps)
{
    sim::Config c = simboard::config(sim::Chip::ds2431);
    c.start_counter_us = 0xFFFFFFFFu - 15; // 2^32 - 16
    simboard::map_window(c);
    const uint32_t entry = in_be32(usecTimerPtr);
    ASSERT_GE(entry, 0xFFFFFFF0u);
    const uint32_t last = wait_usec_timer(32);
    EXPECT_LT(last, 0x100u) << "the wait should end after the wrap";
    EXPECT_GT(static_cast<uint32_t>(last - entry), 32u);
    EXPECT_LE(static_cast<uint32_t>(last - entry), 34u);
    unsigned int now = 0;
    const uint32_t delta = get_delta_timer(entry, &now);
    EXPECT_EQ(delta, static_cast<uint32_t>(now - entry));
    EXPECT_GE(now, last);
    EXPECT_LT(get_delta_timer(0xFFFFFFF0u, nullptr), 0x200u);
}

// Each slot: low for the table's time (at most a microsecond and a few
// accesses more), and the slot at least `slot` long, falling edge to falling
// edge; a reset holds the line low for resetLow.
TEST(Slots, LowTimesAndLengthsFollowTheTable)
{
    const ONE_WIRE_TIMING &t = ds28ec20Timing;
    for (const int value : {0xA5, 0x00, 0xFF, -1}) { // -1: a read
        boot(simboard::config(sim::Chip::ds28ec20));
        ow_open(&eepromAccess);
        sim::record_pulses();
        ASSERT_EQ(ow_reset_presence_pulse(&ds28ec20Timing, &eepromAccess), 0);
        unsigned char got = 0;
        ASSERT_EQ(value < 0 ? ow_read_byte(&eepromAccess, &ds28ec20Timing, &got)
                            : ow_write_byte(&eepromAccess, &ds28ec20Timing, static_cast<unsigned char>(value)),
                  0);
        const uint64_t end = sim::now_ns();
        ow_close(&eepromAccess);

        const std::vector<sim::Pulse> p = sim::pulses();
        ASSERT_EQ(p.size(), 9u);
        for (size_t i = 0; i < 9; i++) { // the reset, then the eight slots
            const bool one = i > 0 && ((value >> (i - 1)) & 1) != 0;
            const uint64_t want = i == 0 ? t.resetLow : value < 0 ? t.readLow : one ? t.write1Low : t.write0Low;
            const uint64_t low = p[i].rise_ns - p[i].fall_ns, slot = (i < 8 ? p[i + 1].fall_ns : end) - p[i].fall_ns;
            EXPECT_GT(low, want * kUs) << value << " pulse " << i;
            EXPECT_LT(low, (want + 2) * kUs) << value << " pulse " << i;
            EXPECT_TRUE(i == 0 || (slot >= t.slot * kUs && slot < (t.slot + 3) * kUs)) << value << " slot " << i;
        }
        EXPECT_EQ(sim::stats().violations, 0u);
    }
}

// Preempted right after the release, a reset gives up at the rise check even
// though the line is up: the clock is looked at before the line. Every access
// loses 1 to 40 us here, and the chip's presence pulse begins 30 us after the
// rise, so a reset that fails sooner than that failed with the line high.
TEST(Reset, RiseCheckLooksAtTheClockFirst)
{
    sim::Config c = simboard::config(sim::Chip::ds2431);
    c.faults.jitter_p = 1.0;
    c.faults.jitter_max_us = 40;
    unsigned char *base = simboard::map_window(c);
    simboard::captured([&] { initialize_wexlo_onewire(base); });
    int early = 0;
    for (int i = 0; i < 100; i++) {
        ow_open(&eepromAccess);
        sim::record_pulses();
        const int rc = ow_reset_presence_pulse(&ds2431Timing, &eepromAccess);
        const uint64_t since_rise = sim::now_ns() - sim::pulses().at(0).rise_ns;
        ow_close(&eepromAccess);
        early += rc < 0 && since_rise < 30 * kUs;
    }
    EXPECT_GT(early, 0);
}

TEST(Reset, NullArgumentsLeaveTheLineAlone)
{
    boot(simboard::config(sim::Chip::ds2431));
    const uint64_t edges = sim::stats().master_edges;
    EXPECT_EQ(ow_reset_presence_pulse(nullptr, &eepromAccess), -1);
    EXPECT_EQ(ow_reset_presence_pulse(&ds2431Timing, nullptr), -1);
    EXPECT_EQ(ow_write_one(nullptr, &eepromAccess), -1);
    EXPECT_EQ(ow_write_zero(&ds2431Timing, nullptr), -1);
    EXPECT_EQ(ow_read_bit(&ds2431Timing, &eepromAccess, nullptr), -1);
    EXPECT_EQ(ow_read_byte(&eepromAccess, &ds2431Timing, nullptr), -1);
    EXPECT_EQ(ow_write_byte(&eepromAccess, nullptr, 0xA5), -1);
    EXPECT_EQ(sim::stats().master_edges, edges);
}

} // namespace
