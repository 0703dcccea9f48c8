// Faults of the chip and the line, as a master sees them.
#include <gtest/gtest.h>

#include "sim/software_master.h"

namespace {

using simtest::Bytes;
using simtest::Master;

bool rom_comes_out_right(Master &m)
{
    m.command({0x33});
    const Bytes rom = m.read_bytes(8), right(sim::rom().begin(), sim::rom().end());
    Bytes damaged = right;
    damaged[7] ^= 1u; // a damaged ROM has only bit 0 of its CRC flipped
    EXPECT_TRUE(rom == right || rom == damaged);
    return rom == right;
}

TEST(Faults, CountedFaultsHitOnlyTheFirstTransactions)
{
    struct Case {
        const char *name;
        void (*set)(sim::Faults &);
        bool (*attempt)(Master &); // one transaction; true when it came out right
        std::vector<bool> results;
    };
    const Case cases[] = {
        {"rom-crc=2", [](sim::Faults &f) { f.rom_crc = 2; }, rom_comes_out_right, {false, false, true}},
        {"rom-crc=1 after 1", [](sim::Faults &f) { f.rom_crc = 1, f.rom_crc_after = 1; }, rom_comes_out_right,
         {true, false, true}},
        {"read-flip=1", [](sim::Faults &f) { f.read_flip = 1; },
         [](Master &m) { return m.read_memory(0, 3) != Bytes{0xFE, 0xFF, 0xFF}; }, {false, true}},
        {"copy-fail=1", [](sim::Faults &f) { f.copy_fail = 1; },
         [](Master &m) { return m.write_row(0, Bytes(8, 0x01)) == 0xAA && sim::memory()[0] == 0x01; }, {false, true}},
        {"power-loss=1", [](sim::Faults &f) { f.power_loss = 1; },
         [](Master &m) { return m.write_row(8, Bytes(8, 0x02)) == 0xAA && sim::memory()[8] == 0x02; }, {true, false}},
        {"power-loss=0", [](sim::Faults &f) { f.power_loss = 0; }, [](Master &m) { return m.reset(); }, {false}},
    };
    for (const Case &c : cases) {
        sim::Config config;
        c.set(config.faults);
        sim::start(config);
        Master m;
        m.open();
        for (size_t i = 0; i < c.results.size(); ++i)
            EXPECT_EQ(c.attempt(m), c.results[i]) << c.name << " attempt " << i;
        EXPECT_EQ(sim::stats().violations, 0u) << c.name;
    }
}

// Each timer fault sets up exactly one of the registers the tool checks
// differently.
TEST(Faults, TimerBadChangesOnlyItsRegister)
{
    for (const uint32_t bad : {0u, 0x600u, 0x612u, 0x638u, 0x63Au}) {
        sim::Config config;
        config.faults.timer_bad = bad;
        sim::start(config);
        const struct {
            uint32_t offset, value, good;
        } registers[] = {
            {0x600, sim::reg_read8(0x600), 0xDD},
            {0x612, sim::reg_read16(0x612), 0x0002},
            {0x638, sim::reg_read16(0x638), 0x0000},
            {0x63A, sim::reg_read16(0x63A), 0x0084},
        };
        for (const auto &r : registers)
            EXPECT_EQ(r.value == r.good, r.offset != bad) << std::hex << "fault 0x" << bad << " register 0x" << r.offset;
    }
}

// Virtual time and violations of a page read under jitter.
std::pair<uint64_t, uint64_t> jittered_read(uint64_t seed, double p)
{
    sim::Config config;
    config.faults.jitter_p = p;
    config.faults.jitter_max_us = 40;
    config.faults.seed = seed;
    sim::start(config);
    Master m;
    m.open();
    m.read_memory(0, 32);
    return {sim::now_ns(), sim::stats().violations};
}

TEST(Faults, JitterIsSeededAndDelaysAccesses)
{
    const auto calm = jittered_read(1, 0.0);
    const auto a = jittered_read(7, 0.01);
    EXPECT_EQ(calm.second, 0u);
    EXPECT_EQ(jittered_read(7, 0.01), a);
    EXPECT_NE(jittered_read(8, 0.01).first, a.first);
    EXPECT_GT(a.first, calm.first);
    EXPECT_GT(jittered_read(1, 0.5).second, 10u); // preempted in nearly every slot
}

} // namespace
