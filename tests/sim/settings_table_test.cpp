// The settings and faults tables, and the kinds of value their rows are read
// with: what every row must keep to (names the readers can match, a default
// that is the default, a field of its own), and the kinds' bounds and
// refusals. Whole refusal lines are config_test.cpp's and
// tests/settings/bad_settings_refused.sh's.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "clear_settings.h"
#include "sim/host/fault_table.h"
#include "sim/host/fault_values.h"
#include "sim/host/nearest_name.h"
#include "sim/host/settings_table.h"
#include "sim/host/value_parsers.h"
#include "sim/run.h"

namespace {

using sim::detail::Fault;
using sim::detail::Setting;

std::string describe(const sim::Faults &f)
{
    std::ostringstream text;
    text << f.absent << f.stuck_low << ' ' << f.timer_bad << ' ' << f.sched_eperm << f.devmem_eacces << f.mmap_fail
         << ' ' << f.rom_crc << ' ' << f.rom_crc_after << ' ' << f.read_flip << ' ' << f.copy_fail << ' '
         << f.short_fill << ' ' << f.short_fill_after << ' ' << f.power_loss << ' ' << f.jitter_p << ' '
         << f.jitter_max_us << ' ' << f.seed << ' ' << f.stretch_count << ' ' << f.noise.seconds << ' '
         << f.noise.counts.size();
    for (const sim::Stretch &s : f.stretches)
        text << ' ' << s.first << ':' << s.last << ':' << s.edge << ':' << s.us << ':' << s.at << ':' << s.at_us;
    return text.str();
}

std::string describe(const sim::Config &c)
{
    std::ostringstream text;
    text << static_cast<int>(c.chip) << ' ' << c.chip_setting << ' ' << c.rom.size() << ' ' << describe(c.faults)
         << ' ' << c.timing.presence_delay_ns << ' ' << c.timing.presence_low_ns << ' ' << c.timing.write_sample_ns
         << ' ' << c.timing.read0_hold_ns << ' ' << c.tprog_us << ' ' << c.image_path << ' ' << c.syslog_path << ' '
         << c.syslog_to_host << ' ' << c.trace_path << ' ' << c.gaps_path << ' ' << c.report_path << ' '
         << c.start_counter_us << ' ' << c.access_cost_ns << ' ' << static_cast<int>(c.clock) << ' ' << c.real_sleep;
    return text.str();
}


// Of several bad settings the first refused is the first read: the table's
// order, the counter last.
TEST(SettingsTable, SeveralBadSettingsRefusedInReadingOrder)
{
    const struct {
        std::vector<std::pair<const char *, const char *>> set;
        const char *refused;
    } cases[] = {
        {{{"IDSTAMP_SIM_COUNTER", "x"}, {"IDSTAMP_SIM_ACCESS_NS", "0"}}, "IDSTAMP_SIM_ACCESS_NS"},
        {{{"IDSTAMP_SIM_COUNTER", "x"}, {"IDSTAMP_SIM_CLOCK", "wall"}}, "IDSTAMP_SIM_CLOCK"},
        {{{"IDSTAMP_SIM_COUNTER", "x"}, {"IDSTAMP_SIM_GAPS", "g.json"}}, "IDSTAMP_SIM_GAPS"},
        {{{"IDSTAMP_SIM_COUNTER", "x"}, {"IDSTAMP_SIM_TPROG_US", "x"}}, "IDSTAMP_SIM_TPROG_US"},
        {{{"IDSTAMP_SIM_COUNTER", "x"}, {"IDSTAMP_SIM_TRACE", "-"}}, "IDSTAMP_SIM_COUNTER"},
        {{{"IDSTAMP_SIM_SEED", "x"}, {"IDSTAMP_SIM_CHIP", "x"}}, "IDSTAMP_SIM_CHIP"},
    };
    for (const auto &c : cases) {
        clear_sim_settings();
        for (const auto &[name, value] : c.set)
            setenv(name, value, 1);
        sim::Config config;
        std::string error;
        EXPECT_FALSE(sim::settings_from_env(config, error));
        EXPECT_EQ(error.rfind(std::string("idstamp-sim: ") + c.refused + ":", 0), 0u) << error;
    }
    clear_sim_settings();
}

// The readers match a setting's name as it is and a fault's with '_' read as
// '-': a name they could never match would be a setting nobody can set.
TEST(SettingsTable, NamesTheReadersCanMatch)
{
    std::set<std::string> settings, faults;
    for (const Setting &s : sim::detail::settings()) {
        const std::string name = s.name;
        EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_"), std::string::npos) << name;
        EXPECT_EQ(name.rfind("IDSTAMP_SIM_", 0), 0u) << name;
        EXPECT_TRUE(settings.insert(name).second) << name << " twice";
    }
    for (const Fault &f : sim::detail::fault_table()) {
        const std::string name = f.name;
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz-"), std::string::npos) << name;
        EXPECT_TRUE(faults.insert(name).second) << name << " twice";
        EXPECT_EQ(f.form == nullptr, f.range.empty()) << name << ": a value has a range, and only a value";
    }
}

// A default the table shows as one value (`10000`) is what the setting
// unset gives: set to it, the set-up is the same.
TEST(SettingsTable, ShownDefaultIsTheDefault)
{
    int checked = 0;
    for (const Setting &s : sim::detail::settings()) {
        const std::string shown = s.default_text;
        if (shown.size() < 3 || shown.front() != '`' || shown.back() != '`' || shown.find('`', 1) + 1 != shown.size())
            continue;
        sim::Config unset, set;
        std::string error;
        clear_sim_settings();
        setenv("IDSTAMP_SIM_EEPROM", "", 1);
        if (s.host_clock_only)
            setenv("IDSTAMP_SIM_CLOCK", "host", 1);
        ASSERT_TRUE(sim::settings_from_env(unset, error)) << error;
        setenv(s.name, shown.substr(1, shown.size() - 2).c_str(), 1);
        ASSERT_TRUE(sim::settings_from_env(set, error)) << s.name << ": " << error;
        EXPECT_EQ(describe(set), describe(unset)) << s.name << "=" << shown;
        ++checked;
    }
    EXPECT_GE(checked, 7); // SEED, CHIP_TIMING, TPROG_US, COUNTER, ACCESS_NS, CLOCK, SLEEP
}

TEST(SettingValues, NumbersKeepTheirRangeAndForm)
{
    using namespace sim::detail;
    const auto set = [](sim::Config &c, uint64_t n) { c.tprog_us = static_cast<uint32_t>(n); };
    const Values decimal = number(5, 10, set), hex = number(5, 10, set, kOrHex),
                 any = number(5, 10, set, kRangeForAny), wide = number(0, UINT64_MAX, set);
    const struct {
        const Values &values;
        const char *text;
        const char *refusal; // null: read, as tprog_us
        uint32_t read;
    } cases[] = {
        {decimal, "5", nullptr, 5},
        {decimal, "10", nullptr, 10},
        {decimal, "4", "\"4\" is not 5 to 10", 0},
        {decimal, "11", "\"11\" is not 5 to 10", 0},
        {decimal, "-7", "\"-7\" is not 5 to 10", 0},
        {decimal, "99999999999999999999", "\"99999999999999999999\" is not 5 to 10", 0},
        {decimal, "0x7", "\"0x7\" is not a number", 0},
        {decimal, " 7", "\" 7\" is not a number", 0},
        {decimal, "+7", "\"+7\" is not a number", 0},
        {decimal, "7 ", "\"7 \" is not a number", 0},
        {hex, "0xA", nullptr, 10},
        {hex, "0x5", nullptr, 5},
        {hex, "7", nullptr, 7},
        {hex, "0xB", "\"0xB\" is not 5 to 10 (0xA)", 0},
        {hex, "0xG", "\"0xG\" is not a number", 0},
        {any, "x", "\"x\" is not 5 to 10", 0},
        {any, "4", "\"4\" is not 5 to 10", 0},
        {wide, "18446744073709551615", nullptr, UINT32_MAX},
        {wide, "18446744073709551616", "\"18446744073709551616\" is not 0 to 18446744073709551615", 0},
    };
    EXPECT_EQ(hex.text, "5 to 10 (0xA)");
    for (const auto &c : cases) {
        sim::Config config;
        config.tprog_us = 0;
        std::string why;
        EXPECT_EQ(c.values.read(c.text, config, why), c.refusal == nullptr) << c.text;
        EXPECT_EQ(why, c.refusal != nullptr ? c.refusal : "") << c.text;
        EXPECT_EQ(config.tprog_us, c.read) << c.text;
    }
    sim::Config untouched;
    std::string why;
    EXPECT_TRUE(decimal.read(nullptr, untouched, why));
    EXPECT_EQ(untouched.tprog_us, sim::Config{}.tprog_us);
}

TEST(SettingValues, ChoicesMatchWholeNamesInTheirCase)
{
    using namespace sim::detail;
    const auto set = [](sim::Config &c, int value, const std::string &given) {
        c.tprog_us = static_cast<uint32_t>(value);
        c.chip_setting = given;
    };
    const Values exact = choice("way", {{"up", 1}, {"down", 2}, {"round", 3}}, set),
                 any = choice("way", {{"up", 1}, {"down", 2}}, set, true);
    EXPECT_EQ(exact.text, "`up`, `down` or `round`");
    EXPECT_EQ(any.text, "`up` or `down` (any case)");
    const struct {
        const Values &values;
        const char *text;
        int read; // 0: refused
    } cases[] = {
        {exact, "round", 3}, {exact, "Round", 0}, {exact, "rounds", 0}, {exact, "roun", 0},
        {any, "DOWN", 2},    {any, "Up", 1},      {any, "upp", 0},      {any, "u", 0},
    };
    for (const auto &c : cases) {
        sim::Config config;
        config.tprog_us = 0;
        std::string why;
        EXPECT_EQ(c.values.read(c.text, config, why), c.read != 0) << c.text;
        EXPECT_EQ(config.tprog_us, static_cast<uint32_t>(c.read)) << c.text;
        if (c.read != 0)
            EXPECT_EQ(config.chip_setting, c.text); // as given, for messages that quote it
        else
            EXPECT_EQ(why, "unknown way \"" + std::string(c.text) + "\" ("
                               + (&c.values == &exact ? "up, down or round" : "up or down") + ")");
    }
}

// Flags take no value, counts keep their range; "rom_crc" is "rom-crc".
TEST(FaultTable, FlagsAndCountsKeepTheirForms)
{
    const std::string counts = "0 to " + std::to_string(sim::detail::kMaxCount);
    for (const Fault &f : sim::detail::fault_table()) {
        const std::string name = f.name;
        std::string underscored = name;
        std::replace(underscored.begin(), underscored.end(), '-', '_');
        const auto read = [](const std::string &list, std::string &why) {
            sim::Faults faults;
            why.clear();
            return sim::detail::parse_faults(list, faults, why);
        };
        std::string why;
        if (f.read == sim::detail::read_flag) {
            EXPECT_TRUE(read(underscored, why)) << why;
            EXPECT_FALSE(read(name + "=1", why));
            EXPECT_EQ(why, "fault \"" + name + "\" takes no value");
        }
        if (f.read != sim::detail::read_count)
            continue;
        EXPECT_EQ(f.range, counts) << name;
        for (const std::string good : {"=0", "=1000000000"})
            EXPECT_TRUE(read(underscored + good, why)) << name << good << ": " << why;
        const struct {
            const char *value, *refusal;
        } bad[] = {{"=1000000001", " (0 to 1000000000)"}, {"=-1", " (0 to 1000000000)"}, {"=x", ""}, {"", ""}};
        for (const auto &b : bad) {
            EXPECT_FALSE(read(name + b.value, why)) << name << b.value;
            EXPECT_EQ(why, "bad number in \"" + name + b.value + "\"" + b.refusal);
        }
    }
}

// Each fault sets a field of its own: a row that set another row's field
// (one lambda copied from the row above) would leave its own fault unset.
TEST(FaultTable, EachFaultSetsAFieldOfItsOwn)
{
    // The faults whose value is of a kind of its own, each with one value.
    const std::map<std::string, std::string> samples = {
        {"jitter", "jitter=0.5/40"},
        {"stretch", "stretch=2:17/60"},
        {"timer-bad", "timer-bad=0x600"},
        {"noise", std::string("noise=") + IDSTAMP_NOISE_DIR + "/measured/idle-rr.json"},
    };
    std::map<std::string, std::string> seen; // what each fault left, to the fault that did
    seen[describe(sim::Faults{})] = "no fault";
    for (const Fault &f : sim::detail::fault_table()) {
        std::string item = f.name;
        if (f.read == sim::detail::read_count)
            item += "=7";
        else if (f.read != sim::detail::read_flag) {
            ASSERT_EQ(samples.count(f.name), 1u) << f.name << ": give it a value in this test";
            item = samples.at(f.name);
        }
        sim::Faults faults;
        std::string why;
        ASSERT_TRUE(sim::detail::parse_faults(item, faults, why)) << item << ": " << why;
        const auto [same, added] = seen.emplace(describe(faults), f.name);
        EXPECT_TRUE(added) << item << " sets what " << same->second << " sets";
    }
}

// Ties: fewest edits first, then the longest common start, then the one
// listed first. The known names are upper case; the name is taken case aside.
TEST(NearestName, FewestEditsThenCommonStartThenFirstListed)
{
    const std::vector<std::string> known = {"ALPHA", "ALPS", "BETA", "BETS", "GAMMA_RAY"};
    const struct {
        const char *name, *nearest;
    } cases[] = {
        {"ALPH", "ALPHA"},      // one edit from ALPHA and ALPS: ALPHA starts alike longer
        {"ALPSS", "ALPS"},      // one edit from ALPS, two from ALPHA
        {"BETX", "BETA"},       // one edit from BETA and BETS, alike as long: BETA is listed first
        {"bets", "BETS"},       // case aside
        {"gamma-ray", "GAMMA_RAY"},
        {"", "ALPS"},           // four edits from ALPS and BETA and BETS, five from ALPHA: ALPS first
        {"QQQQQQQQQQQQ", "ALPHA"}, // twelve edits from each
    };
    for (const auto &c : cases)
        EXPECT_EQ(sim::detail::nearest_name(c.name, known), c.nearest) << c.name;
}

} // namespace
