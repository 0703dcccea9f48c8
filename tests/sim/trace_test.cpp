// The VCD trace of the line.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "harness/software_master.h"
#include "sim/config.h"
#include "sim/run.h"
#include "sim/test_probes.h"

namespace {

TEST(Trace, ValueChangeDumpOfTheLine)
{
    sim::Config config;
    config.trace_path = ::testing::TempDir() + "sim_trace_test." + std::to_string(getpid()) + ".vcd";
    sim::start(config);
    simtest::Master m;
    m.open();
    m.command({0x33});
    m.read_bytes(8);
    sim::finish();
    std::ifstream file(config.trace_path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    std::remove(config.trace_path.c_str());
    const std::string gtkw_path = config.trace_path.substr(0, config.trace_path.size() - 4) + ".gtkw";
    std::ifstream gtkw_file(gtkw_path);
    const std::string gtkw((std::istreambuf_iterator<char>(gtkw_file)), std::istreambuf_iterator<char>());
    std::remove(gtkw_path.c_str());

    // GTKWave's save file beside it shows the three wires of this trace.
    EXPECT_NE(gtkw.find("[dumpfile] \"" + config.trace_path + "\"\n"), std::string::npos) << gtkw;
    EXPECT_NE(gtkw.find("\nboard.owr\nboard.master\nboard.chip\n"), std::string::npos) << gtkw;

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

} // namespace
