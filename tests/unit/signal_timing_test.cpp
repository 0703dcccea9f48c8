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

TEST(Timer, MisconfiguredPrescalerIsRefused)
{
    sim::Faults faults;
    faults.timer_bad = true;
    sim::start(simboard::config(sim::Chip::ds2431, faults));
    const int fd = platform_mem_open("/dev/mem", O_RDWR | O_SYNC);
    auto *base = static_cast<unsigned char *>(
        platform_mem_map(nullptr, 0x200000, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0xE0000000));
    timer_initialized = 0;
    usecTimerPtr = nullptr;
    EXPECT_EQ(set_timer_access(base), -1);
    EXPECT_EQ(timer_initialized, 0);
    EXPECT_EQ(reinterpret_cast<unsigned char *>(const_cast<uint32_t *>(usecTimerPtr)), base + 0x61C);
}

struct SlotCase {
    const char *name;
    unsigned char value;
    bool read;
};

class ByteSlots : public ::testing::TestWithParam<SlotCase> {};

// Each slot: low for the table's time (at most a microsecond and a few
// accesses more), and the slot at least `slot` long, falling edge to falling edge.
TEST_P(ByteSlots, LowTimesAndLengthsFollowTheTable)
{
    boot(simboard::config(sim::Chip::ds28ec20));
    ow_open(&eepromAccess);
    ASSERT_EQ(ow_reset_presence_pulse(&ds28ec20Timing, &eepromAccess), 0);
    sim::record_pulses();
    unsigned char got = 0;
    if (GetParam().read) {
        ASSERT_EQ(ow_read_byte(&eepromAccess, &ds28ec20Timing, &got), 0);
    } else {
        ASSERT_EQ(ow_write_byte(&eepromAccess, &ds28ec20Timing, GetParam().value), 0);
    }
    const uint64_t end = sim::now_ns();
    ow_close(&eepromAccess);

    const std::vector<sim::Pulse> pulses = sim::pulses();
    ASSERT_EQ(pulses.size(), 8u);
    for (size_t i = 0; i < 8; i++) {
        const bool one = ((GetParam().value >> i) & 1) != 0;
        const uint64_t want = GetParam().read ? ds28ec20Timing.readLow
                                              : one ? ds28ec20Timing.write1Low : ds28ec20Timing.write0Low;
        const uint64_t low = pulses[i].rise_ns - pulses[i].fall_ns;
        EXPECT_GT(low, want * kUs) << "slot " << i;
        EXPECT_LT(low, (want + 2) * kUs) << "slot " << i;
        const uint64_t next = i + 1 < 8 ? pulses[i + 1].fall_ns : end;
        EXPECT_GE(next - pulses[i].fall_ns, ds28ec20Timing.slot * kUs) << "slot " << i;
        EXPECT_LT(next - pulses[i].fall_ns, (ds28ec20Timing.slot + 3) * kUs) << "slot " << i;
    }
    EXPECT_EQ(sim::stats().violations, 0u);
}

INSTANTIATE_TEST_SUITE_P(Bytes, ByteSlots,
                         ::testing::Values(SlotCase{"write_a5", 0xA5, false}, SlotCase{"write_00", 0x00, false},
                                           SlotCase{"write_ff", 0xFF, false}, SlotCase{"read", 0, true}),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(Reset, HoldsTheLineLowForResetLow)
{
    boot(simboard::config(sim::Chip::ds2431));
    ow_open(&eepromAccess);
    sim::record_pulses();
    ASSERT_EQ(ow_reset_presence_pulse(&ds2431Timing, &eepromAccess), 0);
    ow_close(&eepromAccess);
    ASSERT_EQ(sim::pulses().size(), 1u);
    const uint64_t low = sim::pulses()[0].rise_ns - sim::pulses()[0].fall_ns;
    EXPECT_GT(low, 500 * kUs);
    EXPECT_LT(low, 502 * kUs);
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
