// The timer block, the port and the line's timing windows of the board.
#include <gtest/gtest.h>

#include "tests/sim/sim_master.h"

namespace {

using simtest::Bytes;
using simtest::Master;

TEST(Timer, SetUpRegistersAndACounterThatWraps)
{
    for (const bool bad : {false, true}) {
        sim::Config config;
        config.faults.timer_bad = bad;
        config.start_counter_us = 0xFFFFFFFEu;
        sim::start(config);
        EXPECT_EQ(sim::reg_read16(0x638), 0);
        EXPECT_EQ(sim::reg_read16(0x63A), bad ? 0x0085 : 0x0084);
        EXPECT_EQ(sim::reg_read16(0x612), 0x0002);
        EXPECT_EQ(sim::reg_read8(0x600), 0xDD);
        EXPECT_EQ(sim::reg_read32(0x61C), 0xFFFFFFFFu); // 5th access of 200 ns: 1 us
        EXPECT_EQ(sim::sleep_seconds(2), 0u);
        EXPECT_EQ(sim::reg_read32(0x61C), 0xFFFFFFFEu + 2000001u);
    }
}

TEST(Port, PinPullsTheLineOnlyWithAnOutputDirection)
{
    for (const uint32_t field : {0x00000000u, 0x00100000u, 0x00200000u, 0x00300000u}) {
        sim::start(sim::Config{});
        EXPECT_EQ(sim::reg_read32(0x1464), sim::kDataRegInit | 0x04000000u);
        sim::reg_write32(0x1468, (sim::kDirRegInit & 0xFFCFFFFFu) | field);
        sim::reg_write32(0x1464, 0x12345678u & ~0x04000000u);
        const bool pulls = field == 0x00100000u || field == 0x00300000u;
        EXPECT_EQ(sim::reg_read32(0x1464), (0x12345678u & ~0x04000000u) | (pulls ? 0 : 0x04000000u)) << field;
    }
}

TEST(Line, PresencePulseFromAPresentChipOnly)
{
    struct Case {
        sim::Chip chip;
        bool absent, stuck_low, presence;
    };
    for (const Case c : {Case{sim::Chip::ds2431, false, false, true}, Case{sim::Chip::ds28ec20, false, false, true},
                         Case{sim::Chip::ds2431, true, false, false}, Case{sim::Chip::ds2431, false, true, false}}) {
        sim::Config config;
        config.chip = c.chip;
        config.faults.absent = c.absent;
        config.faults.stuck_low = c.stuck_low;
        sim::start(config);
        Master m;
        m.open();
        EXPECT_EQ(m.reset(), c.presence);
        EXPECT_EQ(sim::stats().presence_pulses, c.presence ? 1u : 0u);
    }
    // 30 us after the rise, 120 us long.
    sim::start(sim::Config{});
    Master m;
    m.open();
    m.drive_low();
    m.wait_us(500);
    m.release();
    uint64_t edges[3] = {sim::now_ns(), 0, 0};
    for (int i = 1; i < 3; ++i) {
        while (m.line_high() == (i == 1)) {
        }
        edges[i] = sim::now_ns();
    }
    EXPECT_NEAR(static_cast<double>(edges[1] - edges[0]), 30000.0, 400.0);
    EXPECT_NEAR(static_cast<double>(edges[2] - edges[1]), 120000.0, 400.0);
}

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

TEST(Line, PageWritesWithStandardTimingBreakNoWindow)
{
    for (const sim::Chip chip : {sim::Chip::ds2431, sim::Chip::ds28ec20}) {
        sim::Config config;
        config.chip = chip;
        sim::start(config);
        const size_t row = chip == sim::Chip::ds2431 ? 8 : 32;
        Master m;
        m.open();
        Bytes page(32);
        for (size_t i = 0; i < 32; ++i)
            page[i] = static_cast<uint8_t>(i * 7);
        for (size_t at = 0; at < 32; at += row)
            EXPECT_EQ(m.write_row(static_cast<uint16_t>(32 + at), {page.begin() + at, page.begin() + at + row}), 0xAA);
        EXPECT_EQ(m.read_memory(32, 32), page);
        m.close();
        const sim::Stats &s = sim::stats();
        EXPECT_EQ(s.violations, 0u);
        EXPECT_EQ(s.copies, 32 / row);
        EXPECT_EQ(s.resets, 3 * (32 / row) + 1);
        EXPECT_EQ(s.slots, 8 * s.bytes);
        // Busy from the write of open() (second access) to the write of close().
        EXPECT_EQ(s.bus_busy_ns, s.virtual_ns - 2 * sim::kAccessCostNs);

        // Reading the confirmation while the chip still programs is out of bounds.
        m.open();
        m.command({0xCC, 0xAA});
        const Bytes head = m.read_bytes(3);
        m.command({0xCC, 0x55, head[0], head[1], head[2]});
        m.wait_us(1000);
        m.read_byte();
        EXPECT_EQ(sim::stats().violations, 8u);
    }
}

} // namespace
