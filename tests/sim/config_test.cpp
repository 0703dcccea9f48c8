// Set-up from the environment, and the memory image on disk.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "clear_settings.h"
#include "harness/software_master.h"
#include "sim/config.h"
#include "sim/run.h"

namespace {

using simtest::Bytes;

class EnvConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_sim_settings();
        std::remove(image.c_str());
        setenv("IDSTAMP_SIM_EEPROM", image.c_str(), 1);
        error.clear();
    }
    void TearDown() override
    {
        std::remove(image.c_str());
        std::remove((image + ".lock").c_str());
    }

    Bytes read_image() const
    {
        std::ifstream file(image, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    const std::string image = ::testing::TempDir() + "sim_config_test." + std::to_string(getpid()) + ".eeprom";
    sim::Config config;
    std::string error;
};

TEST_F(EnvConfig, BadSettingsAreRefusedByName)
{
    const char *const cases[][3] = {
        {"IDSTAMP_SIM_CHIP", "ds2430", "IDSTAMP_SIM_CHIP: unknown chip \"ds2430\" (ds2431, ds28ec20 or ds2433)"},
        {"IDSTAMP_SIM_ROM", "2d112233", "IDSTAMP_SIM_ROM: \"2d112233\" is not 14 hex digits"},
        {"IDSTAMP_SIM_ROM", "2d11223344556g", "IDSTAMP_SIM_ROM: \"2d11223344556g\" is not 14 hex digits"},
        {"IDSTAMP_SIM_FAULTS", "absent,melt", "IDSTAMP_SIM_FAULTS: unknown fault \"melt\""},
        {"IDSTAMP_SIM_FAULTS", "rom-crc=x", "IDSTAMP_SIM_FAULTS: bad number in \"rom-crc=x\""},
        {"IDSTAMP_SIM_FAULTS", "copy_fail=-1", "IDSTAMP_SIM_FAULTS: bad number in \"copy_fail=-1\""},
        {"IDSTAMP_SIM_FAULTS", "jitter=1.5/40", "IDSTAMP_SIM_FAULTS: bad number in \"jitter=1.5/40\""},
        {"IDSTAMP_SIM_FAULTS", "absent=1", "IDSTAMP_SIM_FAULTS: fault \"absent\" takes no value"},
        {"IDSTAMP_SIM_SEED", "12x", "IDSTAMP_SIM_SEED: \"12x\" is not a number"},
        {"IDSTAMP_SIM_CHIP_TIMING", "Slow", "IDSTAMP_SIM_CHIP_TIMING: unknown timing \"Slow\""},
        {"IDSTAMP_SIM_FAULTS", "timer-bad=0x61C", "IDSTAMP_SIM_FAULTS: timer-bad=0x61C is not a timer register"},
        {"IDSTAMP_SIM_FAULTS", "timer-bad=600", "IDSTAMP_SIM_FAULTS: timer-bad=600 is not a timer register"},
        {"IDSTAMP_SIM_ACCESS_NS", "0", "IDSTAMP_SIM_ACCESS_NS: \"0\" is not 1 to 10000"},
        {"IDSTAMP_SIM_ACCESS_NS", "10001", "IDSTAMP_SIM_ACCESS_NS: \"10001\" is not 1 to 10000"},
        {"IDSTAMP_SIM_ACCESS_NS", "500ns", "IDSTAMP_SIM_ACCESS_NS: \"500ns\" is not 1 to 10000"},
        // A number out of range is given its range; a non-number is said to be one.
        {"IDSTAMP_SIM_TPROG_US", "1000001", "IDSTAMP_SIM_TPROG_US: \"1000001\" is not 0 to 1000000"},
        {"IDSTAMP_SIM_TPROG_US", "-1", "IDSTAMP_SIM_TPROG_US: \"-1\" is not 0 to 1000000"},
        {"IDSTAMP_SIM_TPROG_US", "10ms", "IDSTAMP_SIM_TPROG_US: \"10ms\" is not a number"},
        {"IDSTAMP_SIM_SEED", "18446744073709551616",
         "IDSTAMP_SIM_SEED: \"18446744073709551616\" is not 0 to 18446744073709551615"},
        {"IDSTAMP_SIM_COUNTER", "0x100000000",
         "IDSTAMP_SIM_COUNTER: \"0x100000000\" is not 0 to 4294967295 (0xFFFFFFFF)"},
        {"IDSTAMP_SIM_COUNTER", "4294967296", "IDSTAMP_SIM_COUNTER: \"4294967296\" is not 0 to 4294967295"},
        {"IDSTAMP_SIM_COUNTER", "0xFFFFFFFG", "IDSTAMP_SIM_COUNTER: \"0xFFFFFFFG\" is not a number"},
        {"IDSTAMP_SIM_FAULTS", "rom-crc=1000000001",
         "IDSTAMP_SIM_FAULTS: bad number in \"rom-crc=1000000001\" (0 to 1000000000)"},
        {"IDSTAMP_SIM_FAULTS", "power-loss=99999999999999999999",
         "IDSTAMP_SIM_FAULTS: bad number in \"power-loss=99999999999999999999\" (0 to 1000000000)"},
        {"IDSTAMP_SIM_FAULTS", "jitter=0.5/1000001",
         "IDSTAMP_SIM_FAULTS: bad number in \"jitter=0.5/1000001\" (jitter=P/MAX: probability 0 to 1, MAX "
         "microseconds 1 to 1000000)"},
        {"IDSTAMP_SIM_FAULTS", "stretch=1000000001:1/10", "IDSTAMP_SIM_FAULTS: bad number in "
         "\"stretch=1000000001:1/10\" (stretch=T:K/US or T:K/US@AT: transactions T as N, N-M or N- from 1 to "
         "1000000000, falling edge K 0 to 1000000000, US microseconds 1 to 1000000, AT microseconds 0 to "
         "1000000000)"},
    };
    for (const auto &c : cases) {
        SetUp();
        setenv(c[0], c[1], 1);
        EXPECT_FALSE(sim::config_from_env(config, error)) << c[1];
        EXPECT_EQ(error.rfind(std::string("idstamp-sim: ") + c[2], 0), 0u) << error;
    }
}

// The largest value of each number is taken.
TEST_F(EnvConfig, NumbersAtTheEndOfTheirRange)
{
    setenv("IDSTAMP_SIM_SEED", "18446744073709551615", 1);
    setenv("IDSTAMP_SIM_TPROG_US", "1000000", 1);
    setenv("IDSTAMP_SIM_COUNTER", "4294967295", 1);
    setenv("IDSTAMP_SIM_FAULTS", "rom-crc=1000000000,power-loss=1000000000", 1);
    ASSERT_TRUE(sim::config_from_env(config, error)) << error;
    EXPECT_EQ(config.faults.seed, UINT64_MAX);
    EXPECT_EQ(config.tprog_us, 1000000u);
    EXPECT_EQ(config.start_counter_us, UINT32_MAX);
    EXPECT_TRUE(config.faults.rom_crc == 1000000000u && config.faults.power_loss == 1000000000);
}

// A misspelt setting would otherwise leave the board without it: any
// IDSTAMP_SIM_* name that is not a setting is refused, set or empty, with the
// known name nearest to it.
TEST_F(EnvConfig, UnknownSettingsAreRefusedWithTheNearestName)
{
    const char *const cases[][3] = {
        {"IDSTAMP_SIM_FAULT", "absent", "IDSTAMP_SIM_FAULTS"},
        {"IDSTAMP_SIM_FAULT", "", "IDSTAMP_SIM_FAULTS"},
        {"IDSTAMP_SIM_EPROM", "x.eeprom", "IDSTAMP_SIM_EEPROM"},
        {"IDSTAMP_SIM_TPROG", "100", "IDSTAMP_SIM_TPROG_US"},
        {"IDSTAMP_SIM_ACCESS_US", "1", "IDSTAMP_SIM_ACCESS_NS"},
        {"IDSTAMP_SIM_SYSLOG_FILE", "log", "IDSTAMP_SIM_SYSLOG"},
        {"IDSTAMP_SIM_CHIPTIMING", "slow", "IDSTAMP_SIM_CHIP_TIMING"},
        {"IDSTAMP_SIM_seed", "2", "IDSTAMP_SIM_SEED"},
    };
    for (const auto &c : cases) {
        SetUp();
        setenv(c[0], c[1], 1);
        EXPECT_FALSE(sim::config_from_env(config, error)) << c[0];
        EXPECT_EQ(error, std::string("idstamp-sim: ") + c[0] + ": unknown setting; the nearest known one is " + c[2]);
        unsetenv(c[0]);
    }

    // Every setting the board documents, all at once, is known.
    SetUp();
    for (const auto &[name, value] : std::vector<std::pair<const char *, const char *>>{
             {"IDSTAMP_SIM_CHIP", "ds2431"}, {"IDSTAMP_SIM_ROM", "2d112233445566"}, {"IDSTAMP_SIM_FAULTS", ""},
             {"IDSTAMP_SIM_SEED", "3"}, {"IDSTAMP_SIM_CHIP_TIMING", "slow"}, {"IDSTAMP_SIM_SYSLOG", ""},
             {"IDSTAMP_SIM_TRACE", ""}, {"IDSTAMP_SIM_REPORT", ""}, {"IDSTAMP_SIM_TPROG_US", "5"},
             {"IDSTAMP_SIM_COUNTER", "7"}, {"IDSTAMP_SIM_ACCESS_NS", "300"}})
        setenv(name, value, 1);
    ASSERT_TRUE(sim::config_from_env(config, error)) << error;
    EXPECT_TRUE(config.tprog_us == 5 && config.start_counter_us == 7 && config.access_cost_ns == 300);
    // Names of other programs are not the board's.
    setenv("IDSTAMP_SIMULATE", "1", 1);
    setenv("MY_IDSTAMP_SIM_FAULT", "1", 1);
    EXPECT_TRUE(sim::config_from_env(config, error)) << error;
    unsetenv("IDSTAMP_SIMULATE");
    unsetenv("MY_IDSTAMP_SIM_FAULT");
}

// What the scenarios don't spell: blanks and underscores in the fault list,
// a hex ROM in capitals, the counter's start, the cost of an access, and where
// the log and image go.
TEST_F(EnvConfig, SettingsReachTheConfig)
{
    setenv("IDSTAMP_SIM_ROM", "43A1B2C3D4E5F6", 1);
    setenv("IDSTAMP_SIM_FAULTS", "rom-crc=3, jitter=0.01/40,stuck_low,power-loss=2", 1);
    setenv("IDSTAMP_SIM_COUNTER", "0xFFFFFF00", 1);
    setenv("IDSTAMP_SIM_SYSLOG", "log.txt", 1);
    setenv("IDSTAMP_SIM_ACCESS_NS", "500", 1);
    ASSERT_TRUE(sim::config_from_env(config, error)) << error;
    EXPECT_EQ(config.access_cost_ns, 500u);
    EXPECT_EQ(config.rom, (Bytes{0x43, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}));
    const sim::Faults &f = config.faults;
    EXPECT_TRUE(f.rom_crc == 3 && f.jitter_p == 0.01 && f.jitter_max_us == 40 && f.stuck_low && f.power_loss == 2);
    EXPECT_EQ(config.start_counter_us, 0xFFFFFF00u);
    EXPECT_TRUE(config.syslog_path == "log.txt" && !config.syslog_to_host);
    EXPECT_TRUE(config.memory.empty()); // no image yet: a new chip
    unsetenv("IDSTAMP_SIM_EEPROM");
    unsetenv("IDSTAMP_SIM_SYSLOG");
    setenv("IDSTAMP_SIM_ACCESS_NS", "", 1);
    sim::Config defaults;
    ASSERT_TRUE(sim::config_from_env(defaults, error)) << error;
    EXPECT_TRUE(defaults.image_path == "idstamp-sim.eeprom" && defaults.syslog_to_host);
    EXPECT_EQ(defaults.access_cost_ns, sim::kAccessCostNs);
}

// The chip's times follow the corner, random ones the seed; the bare timer
// fault is timer 2's prescaler.
TEST_F(EnvConfig, ChipTimingAndTimerFaultForms)
{
    const struct {
        const char *timing, *seed, *fault;
        sim::ChipTiming want;
        uint32_t timer_bad;
    } cases[] = {
        {nullptr, nullptr, "timer-bad", sim::ChipTiming{}, 0x63A},
        {"fast", nullptr, "timer-bad=0x600", sim::chip_timing(sim::Corner::fast), 0x600},
        {"slow", "5", "timer-bad=0x612", sim::chip_timing(sim::Corner::slow), 0x612},
        {"random", "5", "timer_bad=0x638", sim::chip_timing(sim::Corner::random, 5), 0x638},
        {"random", "6", "timer-bad=0x63a", sim::chip_timing(sim::Corner::random, 6), 0x63A},
    };
    for (const auto &c : cases) {
        SetUp();
        if (c.timing != nullptr)
            setenv("IDSTAMP_SIM_CHIP_TIMING", c.timing, 1);
        if (c.seed != nullptr)
            setenv("IDSTAMP_SIM_SEED", c.seed, 1);
        setenv("IDSTAMP_SIM_FAULTS", c.fault, 1);
        sim::Config loaded;
        ASSERT_TRUE(sim::config_from_env(loaded, error)) << error;
        const sim::ChipTiming &t = loaded.timing;
        EXPECT_TRUE(t.presence_delay_ns == c.want.presence_delay_ns && t.presence_low_ns == c.want.presence_low_ns &&
                    t.write_sample_ns == c.want.write_sample_ns && t.read0_hold_ns == c.want.read0_hold_ns)
            << c.fault;
        EXPECT_EQ(loaded.faults.timer_bad, c.timer_bad) << c.fault;
        EXPECT_EQ(loaded.tprog_us, 10000u);
    }
    EXPECT_NE(sim::chip_timing(sim::Corner::random, 5).presence_low_ns,
              sim::chip_timing(sim::Corner::random, 6).presence_low_ns);
}

TEST_F(EnvConfig, StretchForms)
{
    constexpr uint32_t every = sim::Stretch::kEveryLater;
    const struct {
        const char *faults;
        std::vector<sim::Stretch> want; // empty: refused
    } cases[] = {
        {"stretch=2:17/60", {{2, 2, 17, 60, false, 0}}},
        {"stretch=2-5:0/1@520", {{2, 5, 0, 1, true, 520}}},
        {"stretch=3-:1/1000000", {{3, every, 1, 1000000, false, 0}}},
        {"stretch=1-1:4/7@0, stretch=5:3/10", {{1, 1, 4, 7, true, 0}, {5, 5, 3, 10, false, 0}}},
        {"stretch", {}},
        {"stretch=2", {}},
        {"stretch=2:17", {}},
        {"stretch=2/17:60", {}},
        {"stretch=0:1/10", {}},
        {"stretch=3-2:1/10", {}},
        {"stretch=-2:1/10", {}},
        {"stretch=2-3-4:1/10", {}},
        {"stretch=2:-1/10", {}},
        {"stretch=2:x/10", {}},
        {"stretch=2:1/0", {}},
        {"stretch=2:1/1000001", {}},
        {"stretch=2:1/10@", {}},
        {"stretch=2:1/10@-5", {}},
        {"stretch=2:1/10@5@6", {}},
        {"stretch=2:1:3/10", {}},
    };
    for (const auto &c : cases) {
        SetUp();
        setenv("IDSTAMP_SIM_FAULTS", c.faults, 1);
        sim::Config loaded;
        ASSERT_EQ(sim::config_from_env(loaded, error), !c.want.empty()) << c.faults;
        if (c.want.empty()) {
            const std::string item = std::string(c.faults).substr(0, std::string(c.faults).find(','));
            EXPECT_EQ(error.rfind("idstamp-sim: IDSTAMP_SIM_FAULTS: bad number in \"" + item + "\" (stretch=T:K/US", 0),
                      0u)
                << error;
            continue;
        }
        ASSERT_EQ(loaded.faults.stretch_count, c.want.size()) << c.faults;
        for (size_t i = 0; i < c.want.size(); ++i) {
            const sim::Stretch &got = loaded.faults.stretches[i], &want = c.want[i];
            EXPECT_TRUE(got.first == want.first && got.last == want.last && got.edge == want.edge &&
                        got.us == want.us && got.at == want.at && got.at_us == want.at_us)
                << c.faults << " item " << i;
        }
    }

    // Eight fit; a ninth is refused.
    std::string eight = "stretch=1:1/1";
    for (int i = 2; i <= 8; ++i)
        eight += ",stretch=" + std::to_string(i) + ":1/1";
    for (const bool ninth : {false, true}) {
        SetUp();
        setenv("IDSTAMP_SIM_FAULTS", (eight + (ninth ? ",stretch=9:1/1" : "")).c_str(), 1);
        sim::Config loaded;
        ASSERT_EQ(sim::config_from_env(loaded, error), !ninth);
        if (ninth)
            EXPECT_EQ(error, "idstamp-sim: IDSTAMP_SIM_FAULTS: more than 8 stretch faults");
        else
            EXPECT_EQ(loaded.faults.stretch_count, 8u);
    }
}

// Without IDSTAMP_SIM_CHIP an image's size is its chip; with it, an image of
// the other chip is refused, not run as the chip it holds.
TEST_F(EnvConfig, ImageSizeIsTheChipAndMustFitTheOneAskedFor)
{
    const std::string neither = ": image is 100 bytes; a DS2431 image is 144 bytes, a DS28EC20 image 2624 and a DS2433 image 512";
    const struct {
        size_t size;
        const char *chip; // IDSTAMP_SIM_CHIP, null: unset
        const char *refusal; // after "idstamp-sim: <image>"; null: loaded
    } cases[] = {
        {144, nullptr, nullptr},
        {144, "ds2431", nullptr},
        {144, "DS28EC20", ": the image holds a DS2431 (144 bytes), not a DS28EC20 (IDSTAMP_SIM_CHIP=DS28EC20)"},
        {2624, nullptr, nullptr},
        {2624, "ds28ec20", nullptr},
        {2624, "ds2431", ": the image holds a DS28EC20 (2624 bytes), not a DS2431 (IDSTAMP_SIM_CHIP=ds2431)"},
        {512, nullptr, nullptr},
        {512, "ds28ec20", ": the image holds a DS2433 (512 bytes), not a DS28EC20 (IDSTAMP_SIM_CHIP=ds28ec20)"},
        {100, nullptr, neither.c_str()},
        {100, "ds2431", neither.c_str()},
    };
    for (const auto &c : cases) {
        SetUp();
        std::ofstream(image, std::ios::binary) << std::string(c.size, 'Z');
        if (c.chip != nullptr)
            setenv("IDSTAMP_SIM_CHIP", c.chip, 1);
        sim::Config loaded;
        ASSERT_EQ(sim::config_from_env(loaded, error), c.refusal == nullptr) << c.size << " " << error;
        if (c.refusal != nullptr) {
            EXPECT_EQ(error, "idstamp-sim: " + image + c.refusal);
            continue;
        }
        EXPECT_EQ(loaded.chip, c.size == 144 ? sim::Chip::ds2431 : c.size == 512 ? sim::Chip::ds2433 : sim::Chip::ds28ec20);
        EXPECT_EQ(loaded.memory, Bytes(c.size, 'Z'));
    }
}

TEST_F(EnvConfig, ImageIsSavedWholeAfterEachCopyOnly)
{
    ASSERT_TRUE(sim::config_from_env(config, error)) << error;
    sim::start(config);
    simtest::Master m;
    m.open();
    m.read_memory(0, 32);
    EXPECT_TRUE(read_image().empty()); // a read leaves no file behind
    ASSERT_EQ(m.write_row(8, Bytes(8, 0x42)), 0xAA);
    Bytes want(144, 0xFF);
    std::fill(want.begin() + 8, want.begin() + 16, 0x42);
    EXPECT_EQ(read_image(), want);
    EXPECT_FALSE(std::ifstream(image + ".tmp").good());

    sim::Config again; // the next run starts from the saved image
    ASSERT_TRUE(sim::config_from_env(again, error)) << error;
    sim::start(again);
    m.open();
    EXPECT_EQ(m.read_memory(8, 8), Bytes(8, 0x42));
}

// A save that fails puts the image behind the chip until a later save, which
// writes the whole memory, succeeds; the exit status follows the image.
TEST_F(EnvConfig, FailedSaveDecidesTheExitStatusUntilASaveSucceeds)
{
    const std::string directory = image + ".d";
    config.image_path = directory + "/board.eeprom"; // no such directory yet: saves fail
    sim::start(config);
    EXPECT_TRUE(sim::image_saved()); // nothing to save yet
    EXPECT_EQ(sim::exit_status(255), 255);
    simtest::Master m;
    m.open();
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(m.write_row(0, Bytes(8, 0x11)), 0xAA);
    EXPECT_FALSE(sim::image_saved());
    EXPECT_EQ(sim::exit_status(0), sim::kImageNotSaved);
    EXPECT_EQ(sim::exit_status(255), sim::kImageNotSaved);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(config.image_path + ".tmp.XXXXXX: No such file or directory"), std::string::npos) << said;
    EXPECT_NE(said.find(config.image_path + ": not saved: the image lacks the chip's last changes (exit status 74)"),
              std::string::npos)
        << said;

    ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
    ASSERT_EQ(m.write_row(8, Bytes(8, 0x22)), 0xAA);
    EXPECT_TRUE(sim::image_saved());
    EXPECT_EQ(sim::exit_status(0), 0);
    std::ifstream file(config.image_path, std::ios::binary);
    const Bytes saved{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_EQ(saved.size(), 144u);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 16), Bytes({0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x22,
                                                                0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22}));
    std::remove(config.image_path.c_str());
    rmdir(directory.c_str());
}

} // namespace
