// The line's timing windows: what the board counts as a violation.
#include <gtest/gtest.h>

#include "harness/software_master.h"
#include "sim/config.h"
#include "sim/run.h"
#include "sim/test_probes.h"

namespace {

using simtest::Bytes;
using simtest::Master;

// One slot bent out of the chip's windows, then a good one that ends it.
TEST(Line, TimingViolationsAreCounted)
{
    enum Slot { write0, write1, read, short_reset };
    struct Case {
        const char *name;
        uint8_t command; // 0x33 makes the chip answer, 0xCC listen
        void (*bend)(simtest::Timing &);
        Slot slot;
        uint64_t violations;
    };
    const Case cases[] = {
        {"standard write 0", 0xCC, [](simtest::Timing &) {}, write0, 0},
        {"standard write 1", 0xCC, [](simtest::Timing &) {}, write1, 0},
        {"standard read", 0x33, [](simtest::Timing &) {}, read, 0},
        {"write-1 low 30 us", 0xCC, [](simtest::Timing &t) { t.write1_low = 30; }, write1, 1},
        {"write-0 low 40 us", 0xCC, [](simtest::Timing &t) { t.write0_low = 40; }, write0, 1},
        {"low 200 us", 0xCC, [](simtest::Timing &t) { t.write0_low = 200; t.slot = 260; }, write0, 1},
        {"slot of 50 us", 0xCC, [](simtest::Timing &t) { t.slot = 50; }, write1, 1},
        {"recovery of 2 us", 0xCC, [](simtest::Timing &t) { t.write0_low = 83; }, write0, 1},
        {"read low 20 us", 0x33, [](simtest::Timing &t) { t.read_low = 20; }, read, 1},
        // Released at about 6 us, the line first looked at some 8 us later:
        // in time; 10 us later: after a fast chip may have let its 0 go.
        {"read sampled at 14 us", 0x33, [](simtest::Timing &t) { t.read_delay = 7; }, read, 0},
        {"read sampled at 17 us", 0x33, [](simtest::Timing &t) { t.read_delay = 10; }, read, 1},
        // Both slots fall inside the 120 us presence pulse.
        {"slots inside presence", 0xCC, [](simtest::Timing &t) { t.presence_max = 0; }, short_reset, 2},
    };
    for (const Case &c : cases) {
        sim::start(sim::Config{});
        Master m;
        m.open();
        ASSERT_TRUE(m.command({c.command})) << c.name;
        c.bend(m.timing);
        if (c.slot == read)
            m.read_bit();
        else if (c.slot == short_reset)
            m.reset(), m.write_bit(true);
        else
            m.write_bit(c.slot == write1);
        m.timing = simtest::Timing{};
        m.write_bit(true);
        EXPECT_EQ(sim::stats().violations, c.violations) << c.name;
    }
}

// A row written with the tool's timing breaks no window; reading the
// confirmation while the chip still programs breaks eight.
TEST(Line, ConfirmationReadDuringProgrammingIsOutOfBounds)
{
    for (const sim::Chip chip : {sim::Chip::ds2431, sim::Chip::ds28ec20}) {
        sim::Config config;
        config.chip = chip;
        sim::start(config);
        Master m;
        m.open();
        EXPECT_EQ(m.write_row(32, Bytes(chip == sim::Chip::ds2431 ? 8 : 32, 0x5A)), 0xAA);
        EXPECT_EQ(sim::stats().violations, 0u);
        m.command({0xCC, 0xAA});
        const Bytes head = m.read_bytes(3);
        m.command({0xCC, 0x55, head[0], head[1], head[2]});
        m.wait_us(1000);
        m.read_byte();
        EXPECT_EQ(sim::stats().violations, 8u);
    }
}

} // namespace
