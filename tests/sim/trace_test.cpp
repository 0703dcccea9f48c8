// The VCD trace of the line and the report at the end of a run.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/sim/sim_master.h"

namespace {

std::vector<std::string> lines_of(const std::string &path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    std::remove(path.c_str());
    return lines;
}

TEST(Trace, ValueChangeDumpOfTheLine)
{
    sim::Config config;
    config.trace_path = ::testing::TempDir() + "sim_trace_test.vcd";
    sim::start(config);
    simtest::Master m;
    m.open();
    m.command({0x33});
    m.read_bytes(8);
    sim::finish();
    const std::vector<std::string> lines = lines_of(config.trace_path);

    std::string header;
    size_t i = 0;
    for (; i < lines.size() && lines[i] != "$enddefinitions $end"; ++i)
        header += lines[i] + "\n";
    for (const char *text : {"$timescale 1 ns $end", "$var wire 1 ! owr $end", "$var wire 1 \" master $end",
                             "$var wire 1 # chip $end"})
        EXPECT_NE(header.find(text), std::string::npos) << text;
    ASSERT_LT(i + 7, lines.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(i) + 1, lines.begin() + static_cast<long>(i) + 7),
              (std::vector<std::string>{"#0", "$dumpvars", "1!", "0\"", "0#", "$end"}));

    // Replay: only real changes, time going forward, ending after the last change.
    std::map<char, char> value = {{'!', '1'}, {'"', '0'}, {'#', '0'}};
    std::map<char, int> falls;
    uint64_t time = 0, last_change = 0;
    for (i += 7; i < lines.size(); ++i) {
        const std::string &l = lines[i];
        if (l[0] == '#') {
            EXPECT_GT(std::stoull(l.substr(1)), time) << l;
            time = std::stoull(l.substr(1));
            continue;
        }
        ASSERT_EQ(l.size(), 2u) << l;
        EXPECT_NE(value[l[1]], l[0]) << "repeated value at " << time;
        value[l[1]] = l[0];
        falls[l[1]] += l[0] == '0';
        last_change = time;
    }
    EXPECT_GT(time, last_change);
    EXPECT_GE(time, sim::now_ns());
    EXPECT_EQ(falls['"'], 1 + 8 + 64); // reset, Read ROM and 64 read slots
    EXPECT_EQ(falls['!'], 1 + 1 + 8 + 64);
    EXPECT_GT(falls['#'], 1); // presence and the ROM's 0 bits
}

TEST(Report, KeysAndValuesOfTheRun)
{
    sim::Config config;
    config.report_path = ::testing::TempDir() + "sim_report_test.txt";
    sim::start(config);
    const int fd = sim::mem_open("/dev/mem", 0); // read-only: a misuse
    sim::mem_close(fd);
    sim::mem_close(fd);
    simtest::Master m;
    m.open();
    ASSERT_EQ(m.write_row(0, simtest::Bytes(8, 1)), 0xAA);
    sim::sleep_seconds(3);
    sim::finish();
    sim::finish(); // changes nothing

    std::vector<std::string> keys;
    std::map<std::string, uint64_t> report;
    for (const std::string &line : lines_of(config.report_path)) {
        std::istringstream fields(line);
        std::string key;
        ASSERT_TRUE(fields >> key >> report[key]) << line;
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"virtual_time_us", "bus_busy_us", "resets", "presence_pulses", "slots",
                                              "bytes", "copies", "timing_violations", "sleep_seconds", "devmem_opens",
                                              "devmem_closes", "misuses"}));
    const std::map<std::string, uint64_t> want = {
        {"virtual_time_us", sim::stats().virtual_ns / 1000}, {"bus_busy_us", sim::stats().bus_busy_ns / 1000},
        {"resets", 3}, {"presence_pulses", 3}, {"slots", 8 * (12 + 13 + 6)}, {"bytes", 12 + 13 + 6}, {"copies", 1},
        {"timing_violations", 0}, {"sleep_seconds", 3}, {"devmem_opens", 1}, {"devmem_closes", 1}, {"misuses", 2}};
    EXPECT_EQ(report, want);
    EXPECT_GE(report["virtual_time_us"], 3000000u + 10010u);
}

} // namespace
