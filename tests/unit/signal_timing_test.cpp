// The timer and the slots measured on the simulated line: how long the master
// holds the line low and how long each slot lasts, against standard-speed
// 1-Wire timing.
#include "signal/onewiresignal.h"
#include "signal/timer.h"
#include "sim/config.h"
#include "sim/test_probes.h"
#include "sim_board.h"

#include <vector>

namespace {

using simboard::boot;

constexpr uint64_t kUs = 1000;

// The timer check: each of its four registers set up otherwise makes it -1,
// -1 alone (the run sequence only tests for a negative result), and leaves
// the timer marked unset; the board's set-up makes it 0.
TEST(Timer, CheckFailsOnEachRegisterSetUpOtherwise)
{
    const struct {
        uint32_t badRegister; // window offset; 0: none
        int status;
    } cases[] = {{0, 0}, {0x600, -1}, {0x612, -1}, {0x638, -1}, {0x63A, -1}};
    for (const auto &c : cases) {
        sim::Faults faults;
        faults.timer_bad = c.badRegister;
        // map_window has checked the timer once already; a second check
        // sees the same registers.
        unsigned char *base = simboard::map_window(simboard::config(sim::Chip::ds2431, faults));
        EXPECT_EQ(set_timer_access(base), c.status) << std::hex << c.badRegister;
        EXPECT_EQ(timer_initialized, c.status == 0 ? 1 : 0) << std::hex << c.badRegister;
        EXPECT_EQ(sim::stats().misuses, 0u) << std::hex << c.badRegister;
    }
}

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

// Standard-speed 1-Wire timing in microseconds, in the tables' field order:
// reset low, presence wait, presence low, reset total, slot, write-1 low,
// write-0 low, read low, read sample delay, read sample window.
const std::vector<uint32_t> kStandard = {500, 60, 240, 400, 85, 10, 70, 6, 2, 10};

struct Table {
    const char *name;
    ONE_WIRE_TIMING *timing;
    sim::Chip chip;
};
const Table kTables[] = {{"ds2431Timing", &ds2431Timing, sim::Chip::ds2431},
                         {"ds28ec20Timing", &ds28ec20Timing, sim::Chip::ds28ec20}};

TEST(Timing, BothTablesHoldStandardSpeed)
{
    for (const Table &table : kTables) {
        const ONE_WIRE_TIMING &t = *table.timing;
        EXPECT_EQ((std::vector<uint32_t>{t.resetLow, t.presenceWaitMax, t.presenceLowMax, t.resetTotal, t.slot,
                                         t.write1Low, t.write0Low, t.readLow, t.readSampleDelay,
                                         t.readSampleWindow}),
                  kStandard)
            << table.name;
    }
}

// Measured on the line with each table: the reset low for 500 us and the first
// slot 100 us after the presence pulse (which ends 150 us after the rise on a
// typical chip); each slot low for 10, 70 or 6 us (at most a microsecond and a
// few accesses more) and 85 us long, falling edge to falling edge.
TEST(Slots, LowTimesAndLengthsAreStandardSpeed)
{
    for (const Table &table : kTables) {
        for (const int value : {0xA5, 0x00, 0xFF, -1}) { // -1: a read
            boot(simboard::config(table.chip));
            ow_open(&eepromAccess);
            sim::record_pulses();
            ASSERT_EQ(ow_reset_presence_pulse(table.timing, &eepromAccess), 0);
            unsigned char got = 0;
            ASSERT_EQ(value < 0 ? ow_read_byte(&eepromAccess, table.timing, &got)
                                : ow_write_byte(&eepromAccess, table.timing, static_cast<unsigned char>(value)),
                      0);
            const uint64_t end = sim::now_ns();
            ow_close(&eepromAccess);

            const std::vector<sim::Pulse> p = sim::pulses();
            ASSERT_EQ(p.size(), 9u);
            const uint64_t to_first_slot = p[1].fall_ns - p[0].rise_ns;
            EXPECT_GT(to_first_slot, 250 * kUs) << table.name;
            EXPECT_LT(to_first_slot, 253 * kUs) << table.name;
            for (size_t i = 0; i < 9; i++) { // the reset, then the eight slots
                const bool one = i > 0 && ((value >> (i - 1)) & 1) != 0;
                const uint64_t want = i == 0 ? 500 : value < 0 ? 6 : one ? 10 : 70;
                const uint64_t low = p[i].rise_ns - p[i].fall_ns;
                const uint64_t slot = (i < 8 ? p[i + 1].fall_ns : end) - p[i].fall_ns;
                EXPECT_GT(low, want * kUs) << table.name << " " << value << " pulse " << i;
                EXPECT_LT(low, (want + 2) * kUs) << table.name << " " << value << " pulse " << i;
                EXPECT_TRUE(i == 0 || (slot >= 85 * kUs && slot < 88 * kUs))
                    << table.name << " " << value << " slot " << i;
            }
            EXPECT_EQ(sim::stats().violations, 0u) << table.name;
        }
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
