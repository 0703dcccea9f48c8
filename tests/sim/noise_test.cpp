// Noise profiles (IDSTAMP_SIM_FAULTS=noise=FILE): oslat's JSON read into the
// set-up or refused with one line, and its gaps replayed in virtual time.
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "clear_settings.h"
#include "harness/sim_process.h"
#include "sim/config.h"
#include "sim/model/board.h"
#include "sim/run.h"
#include "sim/seam.h"
#include "sim/test_probes.h"

namespace {

const std::string kDir = IDSTAMP_NOISE_DIR;

class NoiseProfile : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_sim_settings();
        setenv("IDSTAMP_SIM_EEPROM", "", 1);
        config = sim::Config{};
        error.clear();
    }

    bool read(const std::string &faults)
    {
        SetUp();
        setenv("IDSTAMP_SIM_FAULTS", faults.c_str(), 1);
        return sim::settings_from_env(config, error);
    }

    sim::Config config;
    std::string error;
};

TEST_F(NoiseProfile, OslatFilesAreReadThreadsPooled)
{
    const struct {
        const char *file;
        std::vector<uint32_t> upper;
        std::vector<uint64_t> counts;
        double seconds;
        uint32_t max_us;
        bool overflow;
    } cases[] = {
        // Zero buckets are left out; 32 holds every longer gap, up to max.
        {"two-threads.json", {2, 5, 7, 32}, {50, 10, 6, 4}, 4.0, 40, true},
        {"no-overflow.json", {2, 32}, {3, 1}, 1.0, 32, false},
        {"no-gaps.json", {}, {}, 2.0, 1, false},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(read("noise=" + kDir + "/" + c.file)) << error;
        const sim::NoiseProfile &p = config.faults.noise;
        EXPECT_EQ(p.upper_us, c.upper) << c.file;
        EXPECT_EQ(p.counts, c.counts) << c.file;
        EXPECT_DOUBLE_EQ(p.seconds, c.seconds) << c.file;
        EXPECT_EQ(p.max_us, c.max_us) << c.file;
        EXPECT_EQ(p.overflow, c.overflow) << c.file;
    }

    // Measured ones: every bucket from 2 up is a gap, the overflow is the
    // highest bucket when max lies beyond it.
    for (const auto &[file, buckets, gaps, max, seconds] :
         {std::make_tuple("idle-b32.json", 31u, 1591u, 4850u, 2.999),
          std::make_tuple("dev-machine-b200.json", 48u, 636u, 305u, 0.999)}) {
        ASSERT_TRUE(read(std::string("noise=") + kDir + "/" + file)) << error;
        const sim::NoiseProfile &p = config.faults.noise;
        EXPECT_EQ(p.upper_us.size(), buckets) << file;
        EXPECT_EQ(std::accumulate(p.counts.begin(), p.counts.end(), uint64_t{0}), gaps) << file;
        EXPECT_EQ(p.upper_us.front(), 2u) << file;
        EXPECT_TRUE(p.overflow && p.max_us == max && p.seconds == seconds) << file;
    }

    // The file name runs to the next comma; the faults around it still count.
    ASSERT_TRUE(read("rom-crc=2, noise=" + kDir + "/two-threads.json ,jitter=0.001/5")) << error;
    EXPECT_TRUE(config.faults.rom_crc == 2 && config.faults.jitter_max_us == 5 && config.faults.noise.max_us == 40);
}

const std::string kBadStart = "idstamp-sim: IDSTAMP_SIM_FAULTS: ";

// What each bad file is told, after "noise=FILE: ".
const char *const kBadFiles[][2] = {
    {"bad-not-json.json", "not JSON (line 1, column 65)"},
    {"bad-text.json", "not JSON (line 1, column 1)"},
    {"bad-no-thread.json", "no histogram (no \"thread\" object with oslat's histograms)"},
    {"bad-no-histogram.json", "no histogram (thread \"0\" has no \"histogram\" object)"},
    {"bad-empty-histogram.json", "the histogram is empty (no counts)"},
    {"bad-zero-counts.json", "the histogram is empty (no counts)"},
    {"bad-zero-duration.json", "thread \"0\": the duration is 0, not a positive number of seconds"},
    {"bad-no-duration.json", "thread \"0\": the duration is missing, not a positive number of seconds"},
    {"bad-negative-duration.json", "thread \"0\": the duration is -2.5, not a positive number of seconds"},
    {"bad-negative-count.json", "thread \"0\": bucket \"3\" has a negative count, -2"},
    {"bad-fractional-count.json",
     "thread \"0\": bucket \"3\" has the count 1.5, not a whole number 0 to 1000000000000000"},
    {"bad-bucket-zero.json", "thread \"0\": bucket \"0\" is not a whole number of microseconds, 1 to 10000000"},
    {"bad-bucket-fraction.json",
     "thread \"0\": bucket \"2.5\" is not a whole number of microseconds, 1 to 10000000"},
    {"bad-bucket-negative.json",
     "thread \"0\": bucket \"-3\" is not a whole number of microseconds, 1 to 10000000"},
};

TEST_F(NoiseProfile, BadFilesAreRefusedWithWhatIsWrong)
{
    for (const auto &c : kBadFiles) {
        const std::string file = kDir + "/" + c[0];
        EXPECT_FALSE(read("noise=" + file)) << c[0];
        EXPECT_EQ(error, kBadStart + "noise=" + file + ": " + c[1]);
    }
    const struct {
        std::string faults, line;
    } others[] = {
        {"noise=" + kDir + "/missing.json",
         "noise=" + kDir + "/missing.json: cannot be read: No such file or directory"},
        {"noise=" + kDir, "noise=" + kDir + ": cannot be read: Is a directory"},
        {"noise", "fault \"noise\" takes a file: noise=FILE, as oslat --json=FILE writes it"},
        {"noise=", "fault \"noise\" takes a file: noise=FILE, as oslat --json=FILE writes it"},
        {"noise=" + kDir + "/no-gaps.json,noise=" + kDir + "/two-threads.json", "more than one noise profile"},
    };
    for (const auto &c : others) {
        EXPECT_FALSE(read(c.faults)) << c.faults;
        EXPECT_EQ(error, kBadStart + c.line);
    }
}

// idstamp-sim as a process, in a folder of its own removed afterwards.
class SimProcess {
public:
    SimProcess()
    {
        std::string pattern = ::testing::TempDir() + "idstamp-noise-XXXXXX";
        dir_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~SimProcess()
    {
        std::error_code ignored;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ignored);
    }

    struct Result {
        harness::SimResult run;
        std::string image, trace;
    };

    // A run on a fresh DS2431 image in its own sub-folder.
    Result run(const std::string &name, const std::vector<std::string> &args,
               std::vector<std::pair<std::string, std::string>> settings)
    {
        harness::SimRun r;
        std::istringstream emulator(IDSTAMP_NOISE_TEST_EMULATOR);
        for (std::string word; emulator >> word;)
            r.emulator.push_back(word);
        r.program = IDSTAMP_NOISE_SIM_PATH;
        r.args = args;
        r.dir = dir_ + "/" + name;
        std::filesystem::create_directory(r.dir);
        settings.push_back({"EEPROM", r.dir + "/board.eeprom"});
        settings.push_back({"TRACE", r.dir + "/trace.vcd"});
        r.settings = settings;
        Result result{harness::run_sim(r), "", ""};
        result.image = harness::read_file(r.dir + "/board.eeprom");
        result.trace = harness::read_file(r.dir + "/trace.vcd");
        return result;
    }

    bool ok() const { return !dir_.empty(); }

private:
    std::string dir_;
};

TEST(NoiseProcess, BadFileEndsTheRunWithOneLine)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    const size_t picks[] = {0, 4, 6, 9}; // not JSON, empty, zero duration, negative count
    for (const size_t i : picks) {
        const std::string file = kDir + "/" + kBadFiles[i][0];
        const auto done = sim.run(std::to_string(i), {"0", "-m", "00:11:22:33:44:55"}, {{"FAULTS", "noise=" + file}});
        EXPECT_EQ(done.run.code(), 255) << file;
        EXPECT_EQ(done.run.err, kBadStart + "noise=" + file + ": " + kBadFiles[i][1] + "\n");
        EXPECT_EQ(done.run.out, "") << file;
        EXPECT_EQ(done.image, "") << file;
    }
}

// A profile without gaps is the undisturbed run byte for byte; the same
// profile and seed give the same run, another seed another one.
TEST(NoiseProcess, ReplayIsTheSeedsAndNoGapsIsNoNoise)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    const std::vector<std::string> write = {"0", "-m", "00:11:22:33:44:55"};
    const std::string idle = "noise=" + kDir + "/idle-b32.json";
    // The address the window is mapped at is the process's own.
    const auto out = [](const SimProcess::Result &r) {
        return std::regex_replace(r.run.out, std::regex("IMMR mapped to [^\n]*\n"), "IMMR mapped to <ptr>\n");
    };
    const auto same = [&out](const SimProcess::Result &a, const SimProcess::Result &b) {
        return a.run.code() == b.run.code() && out(a) == out(b) && a.run.err == b.run.err
               && a.run.syslog == b.run.syslog && a.run.report == b.run.report && a.image == b.image
               && a.trace == b.trace;
    };

    const auto plain = sim.run("plain", write, {});
    const auto no_gaps = sim.run("no-gaps", write, {{"FAULTS", "noise=" + kDir + "/no-gaps.json"}});
    ASSERT_EQ(plain.run.code(), 0) << plain.run.err;
    ASSERT_FALSE(plain.trace.empty());
    EXPECT_TRUE(same(plain, no_gaps)) << no_gaps.run.report;

    const auto first = sim.run("seed-3", write, {{"FAULTS", idle}, {"SEED", "3"}});
    const auto again = sim.run("seed-3-again", write, {{"FAULTS", idle}, {"SEED", "3"}});
    const auto other = sim.run("seed-4", write, {{"FAULTS", idle}, {"SEED", "4"}});
    EXPECT_TRUE(same(first, again)) << first.run.report << again.run.report;
    EXPECT_EQ(first.run.code(), 0) << first.run.err;
    EXPECT_EQ(first.image, plain.image);
    // The gaps cost time: the report's virtual time moves, and by seed.
    EXPECT_NE(first.run.report, plain.run.report);
    EXPECT_NE(first.run.report, other.run.report);
}

// Without gaps an access never takes the slow way (the board's speed).
TEST(NoiseReplay, OnlyAProfileWithGapsHooksTheAccesses)
{
    sim::Config config;
    sim::start(config);
    EXPECT_FALSE(sim::detail::board().access_hook);
    config.faults.noise.seconds = 2.0; // only bucket 1: nothing kept
    sim::start(config);
    EXPECT_FALSE(sim::detail::board().access_hook);
    config.faults.noise.upper_us = {3};
    config.faults.noise.counts = {1};
    sim::start(config);
    EXPECT_TRUE(sim::detail::board().access_hook);
}

// A synthetic profile: 20,000 gaps a second of the loop's running, 40 % in
// (1, 2] us, 30 % in (3, 4], 20 % in (9, 10], 10 % in the overflow (49, 2000].
sim::Config synthetic()
{
    sim::Config config;
    sim::NoiseProfile &p = config.faults.noise;
    p.upper_us = {2, 4, 10, 50};
    p.counts = {4000, 3000, 2000, 1000};
    p.seconds = 0.5;
    p.max_us = 2000;
    p.overflow = true;
    return config;
}

// The gap each access lost, seen from outside: its time beyond the access's cost.
struct Observed {
    std::vector<double> gaps_us;
    double running_s = 0.0; // virtual time outside the gaps
};

Observed observe(uint64_t seed, size_t gaps)
{
    sim::Config config = synthetic();
    config.faults.seed = seed;
    sim::start(config);
    Observed seen;
    const uint64_t start = sim::now_ns();
    uint64_t gap_ns = 0;
    while (seen.gaps_us.size() < gaps) {
        const uint64_t before = sim::now_ns();
        sim::reg_read32(0x61C);
        const uint64_t lost = sim::now_ns() - before - config.access_cost_ns;
        if (lost != 0) {
            seen.gaps_us.push_back(static_cast<double>(lost) / 1e3);
            gap_ns += lost;
        }
    }
    seen.running_s = static_cast<double>(sim::now_ns() - start - gap_ns) / 1e9;
    return seen;
}

TEST(NoiseReplay, DrawnGapsMatchTheProfile)
{
    const Observed seen = observe(11, 10000);
    // 10,000 gaps: the rate's standard error is 1 %; a gap's own time holds
    // no arrivals, so the rate is per second outside the gaps.
    EXPECT_NEAR(static_cast<double>(seen.gaps_us.size()) / seen.running_s, 20000.0, 20000.0 * 0.04);

    std::vector<double> sorted = seen.gaps_us;
    std::sort(sorted.begin(), sorted.end());
    const auto quantile = [&sorted](double q) { return sorted[static_cast<size_t>(q * sorted.size())]; };
    // Uniform within a bucket (standard errors about 0.02 us), log-uniform in
    // the overflow (about 8 % at 0.95, 4 % at 0.99).
    const struct {
        double q, expected, tolerance;
    } quantiles[] = {
        {0.2, 1.5, 0.1},
        {0.5, 3.0 + 0.1 / 0.3, 0.1},
        {0.75, 9.25, 0.15},
        {0.95, 49.0 * std::pow(2000.0 / 49.0, 0.5), 49.0 * std::pow(2000.0 / 49.0, 0.5) * 0.25},
        {0.99, 49.0 * std::pow(2000.0 / 49.0, 0.9), 49.0 * std::pow(2000.0 / 49.0, 0.9) * 0.12},
    };
    for (const auto &c : quantiles)
        EXPECT_NEAR(quantile(c.q), c.expected, c.tolerance) << "quantile " << c.q;
    // Every gap lies in a bucket of the profile, none beyond its max.
    for (const double us : seen.gaps_us)
        ASSERT_TRUE((us > 1 && us <= 2) || (us > 3 && us <= 4) || (us > 9 && us <= 10) || (us > 49 && us <= 2000))
            << us;
}

// A sleep runs no access: a gap due during it is not taken by the first
// access after it (that would put a gap after nearly every sleep); arrivals
// start again from the wake-up.
TEST(NoiseReplay, NoGapIsTakenForTimeSpentAsleep)
{
    sim::Config config = synthetic();
    sim::start(config);
    unsigned gapped = 0;
    for (int i = 0; i < 1000; ++i) {
        sim::sleep_seconds(1);
        const uint64_t before = sim::now_ns();
        sim::reg_read32(0x61C);
        gapped += sim::now_ns() - before != config.access_cost_ns;
        // Some running between the sleeps, gaps and all.
        for (int k = 0; k < 1000; ++k)
            sim::reg_read32(0x61C);
    }
    // Only a gap that arrived during the last access before the sleep hits
    // it: about 1000 x 20,000/s x 200 ns = 4 expected.
    EXPECT_LE(gapped, 15u);
}

} // namespace
