// Faults of the chip and the line, as a master sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "harness/software_master.h"
#include "sim/config.h"
#include "sim/run.h"
#include "sim/seam.h"
#include "sim/test_probes.h"

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

// A board set up from an IDSTAMP_SIM_FAULTS text, as idstamp-sim sets it up.
void start_with(const std::string &faults)
{
    setenv("IDSTAMP_SIM_FAULTS", faults.c_str(), 1);
    setenv("IDSTAMP_SIM_EEPROM", "", 1); // a blank chip, never saved
    sim::Config config;
    std::string error;
    EXPECT_TRUE(sim::config_from_env(config, error)) << error;
    unsetenv("IDSTAMP_SIM_FAULTS");
    unsetenv("IDSTAMP_SIM_EEPROM");
    sim::start(config);
}

// Four transactions of a reset and 24 write slots: pulse 25 * (T - 1) + K is
// falling edge K of transaction T.
constexpr unsigned kEdges = 25;

std::pair<std::vector<sim::Pulse>, uint64_t> four_transactions(const std::string &faults)
{
    start_with(faults);
    Master m;
    m.open();
    sim::record_pulses();
    for (int t = 0; t < 4; ++t) {
        m.reset(); // without a chip it gives up early: counted all the same
        m.write_bytes({0xCC, 0x5A, 0x0F});
    }
    return {sim::pulses(), sim::now_ns()};
}

// The stretched lows are longer by exactly their stretch, every other is as
// without it, whatever answers on the line.
TEST(Stretch, LengthensTheChosenLowsOnly)
{
    struct Hit {
        unsigned t, k, us;
        bool exact = true; // else at most that much longer, and at least us long
    };
    const struct {
        const char *stretch;
        std::vector<Hit> hits;
    } cases[] = {
        {"stretch=2:3/60", {{2, 3, 60}}},
        {"stretch=2:17/60,stretch=1:3/10", {{1, 3, 10}, {2, 17, 60}}},
        {"stretch=2-3:1/40", {{2, 1, 40}, {3, 1, 40}}},
        {"stretch=3-:24/7", {{3, 24, 7}, {4, 24, 7}}},
        {"stretch=1:0/100,stretch=4:0/1", {{1, 0, 100}, {4, 0, 1}}},
        // A slot stretched past a reset's length is still a slot to the count.
        {"stretch=1:2/600,stretch=2:1/30", {{1, 2, 600}, {2, 1, 30}}},
        {"stretch=1:2/600@5,stretch=2:1/30", {{1, 2, 600, false}, {2, 1, 30}}},
        {"stretch=2:1/5,stretch=2:1/6", {{2, 1, 11}}},
        {"stretch=5:1/50,stretch=1:25/50", {}},
    };
    for (const char *board : {"", "absent,", "stuck-low,", "power-loss=0,"}) {
        const auto plain = four_transactions(board);
        ASSERT_EQ(plain.first.size(), 4 * kEdges) << board;
        for (const auto &c : cases) {
            const std::string name = std::string(board) + c.stretch;
            const auto run = four_transactions(name);
            ASSERT_EQ(run.first.size(), plain.first.size()) << name;
            uint64_t added = 0;
            bool exact = true;
            for (size_t i = 0; i < run.first.size(); ++i) {
                Hit hit{0, 0, 0};
                for (const Hit &h : c.hits)
                    if (i == kEdges * (h.t - 1) + h.k)
                        hit = h;
                const sim::Pulse &p = run.first[i], &q = plain.first[i];
                const uint64_t length = p.rise_ns - p.fall_ns, plain_length = q.rise_ns - q.fall_ns;
                const uint64_t stretch_ns = hit.us * 1000ull;
                if (hit.exact) {
                    EXPECT_EQ(length, plain_length + stretch_ns) << name << " pulse " << i;
                    added += stretch_ns;
                } else {
                    EXPECT_TRUE(length >= stretch_ns && length <= plain_length + stretch_ns)
                        << name << " pulse " << i << " of " << length << " ns";
                    exact = false;
                }
            }
            if (exact)
                EXPECT_EQ(run.second, plain.second + added) << name;
            else
                EXPECT_GT(run.second, plain.second + added) << name;
        }
    }
}

// Which register access is late: the write that releases the chosen edge's
// low, or with @AT the first access that starts AT or more after the edge
// (for the reset, no earlier than its release, where it is known to be one).
TEST(Stretch, DelaysTheChosenAccess)
{
    const struct {
        const char *stretch;
        int k; // -1: no access is late
        bool at;
        unsigned at_us, us;
    } cases[] = {
        {"stretch=1:1/30", 1, false, 0, 30},
        {"stretch=1:0/40", 0, false, 0, 40},
        {"stretch=1:1/30@0", 1, true, 0, 30},
        {"stretch=1:1/25@7", 1, true, 7, 25},
        {"stretch=1-:1/25@70", 1, true, 70, 25},
        {"stretch=1:0/50@520", 0, true, 520, 50},
        {"stretch=1:0/50@100", 0, true, 100, 50},
        {"stretch=1:2/30", -1, false, 0, 0},
        {"stretch=2:0/30@0", -1, false, 0, 0},
    };
    struct Access {
        uint64_t start, end;
    };
    for (const auto &c : cases) {
        start_with(c.stretch);
        Master m;
        m.release(); // the latch starts at 0: opening the pin would pull the line low
        m.open();
        std::vector<Access> log;
        const auto timed = [&](uint32_t offset, bool write, uint32_t value) {
            const uint64_t start = sim::now_ns();
            if (write)
                sim::reg_write32(offset, value);
            else
                sim::reg_read32(offset);
            log.push_back({start, sim::now_ns()});
        };
        uint64_t fall[2] = {}, release_at[2] = {}, release_end[2] = {};
        for (unsigned k = 0; k < 2; ++k) {
            timed(Master::kData, true, sim::kDataRegInit & ~Master::kLine);
            fall[k] = log.back().end;
            while (sim::now_ns() < fall[k] + (k == 0 ? 500000 : 60000))
                timed(Master::kCounter, false, 0);
            timed(Master::kData, true, sim::kDataRegInit | Master::kLine);
            release_at[k] = log.back().start, release_end[k] = log.back().end;
            while (sim::now_ns() < fall[k] + (k == 0 ? 700000 : 100000))
                timed(Master::kCounter, false, 0);
        }
        size_t late = log.size();
        for (size_t i = 0; c.k >= 0 && i < log.size() && late == log.size(); ++i) {
            const uint64_t from = std::max<uint64_t>(fall[c.k] + c.at_us * 1000ull, c.k == 0 ? release_end[0] : 0);
            if (c.at ? log[i].start >= from : log[i].start == release_at[c.k])
                late = i;
        }
        EXPECT_EQ(late == log.size(), c.k < 0) << c.stretch;
        for (size_t i = 0; i < log.size(); ++i)
            EXPECT_EQ(log[i].end - log[i].start, sim::kAccessCostNs + (i == late ? c.us * 1000ull : 0))
                << c.stretch << " access " << i;
    }
}

} // namespace
