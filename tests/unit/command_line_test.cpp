#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frontend/idstamp.h"
#include "sim/sim.h"

namespace {

const char kVersion[] = "idstamp version 4.1.0\n\n";
const char kUsage[] =
    "Usage: idstamp [slot number] [options] \n"
    "      slot number is zero based, decimal\n"
    "      -m  <MAC addr> sets the mac address for slot 1 (1 based)\n"
    "      -d  <IPv4 Addr> sets the IPv4 address of slot 1\n"
    "      -f  <IPv4 Addr> sets the netmask of slot 1\n"
    "      -g  <IPv4 Addr> sets the gateway IPv4 address of slot 1\n"
    "      -i  <IPv4 Addr> sets the IPv4 address of slot 2\n"
    "      -j  <IPv4 Addr> sets the netmask of slot 2\n"
    "      -k  <IPv4 Addr> sets the gateway IPv4 address of slot 2\n"
    "      -p  dumps the MAC address page and 1-wire serial number\n"
    "      -q  dumps the IP address page\n"
    "      -r  reads the string stored in page 3\n"
    "      -w  <string> writes the string to page 3\n"
    "      -c  <page number> dumps the contents of the requested page (0 based)\n"
    "      <MAC addr> is of the form x:x:x:x:x:x where x is a 2 digit hex number\n"
    "      <IPv4 addr> is of the form x.x.x.x where x is a decimal number in the [0,255] range\n"
    "      <string> is a quotes delimited group of characters. For example \"Wexlo rocks\"\n";

std::string sleep_line(int seconds)
{
    return "Setting sleep time to " + std::to_string(seconds) + " microseconds.\n";
}

struct Parsed {
    int result;
    std::string out;
    std::string err;
    IDSTAMP_WORK work;
};

// Runs the parse over "idstamp" + args; argv lives in args so the pointers in
// the request can be compared with it.
struct CommandLine {
    std::vector<std::string> args;
    std::vector<char *> argv;

    explicit CommandLine(std::vector<std::string> given) : args(std::move(given))
    {
        args.insert(args.begin(), "idstamp");
        for (std::string &arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
    }

    Parsed parse()
    {
        Parsed parsed;
        std::memset(&parsed.work, 0xA5, sizeof parsed.work);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        parsed.result = idstamp_parse(static_cast<int>(args.size()), argv.data(), &parsed.work);
        fflush(stdout);
        fflush(stderr);
        parsed.err = testing::internal::GetCapturedStderr();
        parsed.out = testing::internal::GetCapturedStdout();
        return parsed;
    }

    // The request as text: each option seen, with the argv index of its
    // argument ("m@3") or the page number ("c=16"); "!" marks a field set
    // without its flag, or a flag other than 0 and 1.
    std::string describe(const IDSTAMP_WORK &w) const
    {
        const struct {
            char letter;
            uint8_t given;
            const char *text;
        } fields[] = {{'m', w.macGiven, w.macAddr},  {'d', w.ip1Given, w.ip1Addr},   {'f', w.net1Given, w.net1Addr},
                      {'g', w.gw1Given, w.gw1Addr},  {'i', w.ip2Given, w.ip2Addr},   {'j', w.net2Given, w.net2Addr},
                      {'k', w.gw2Given, w.gw2Addr},  {'p', w.macPageGiven, nullptr}, {'q', w.ipPageGiven, nullptr},
                      {'r', w.stringReadGiven, nullptr}, {'w', w.stringWriteGiven, w.stringText}};
        std::string out;
        for (const auto &f : fields) {
            if (f.given != 0 || f.text != nullptr) {
                out += std::string(f.given == 1 ? "" : "!") + f.letter + (f.text ? "@" + index_of(f.text) : "") + " ";
            }
        }
        if (w.pageDumpGiven != 0 || w.pageNumber != 0) {
            out += std::string(w.pageDumpGiven == 1 ? "" : "!") + "c=" + std::to_string(w.pageNumber) + " ";
        }
        return out;
    }

    std::string index_of(const char *text) const
    {
        for (size_t i = 0; i < args.size(); i++) {
            if (text == argv[i]) {
                return std::to_string(i);
            }
        }
        return "?";
    }
};

class CommandLineTest : public testing::Test {
protected:
    void SetUp() override
    {
        sim::start(sim::Config{});
        sleepTime = 99;
    }
};

struct ParseCase {
    std::vector<std::string> args;
    int result;
    std::string out; // after the version line
    unsigned int sleepTime;
    std::string request; // as CommandLine::describe writes it
};

const std::string kBadSlotLength = "Bad slot number - use default number\n";

const ParseCase kCases[] = {
    {{}, 0, kUsage, 99, ""},
    {{"0"}, 0, kUsage, 99, ""},
    {{"0", "-p"}, 1, sleep_line(1), 1, "p "},
    {{"1", "-p"}, 1, sleep_line(2), 2, "p "},
    {{"01", "-q"}, 1, sleep_line(2), 2, "q "},
    {{"5", "-p"}, 1, "Bad slot number (5) - using default number\n" + sleep_line(3), 3, "p "},
    {{"123", "-p"}, 1, kBadSlotLength + sleep_line(3), 3, "p "},
    {{"0x1", "-p"}, 1, kBadSlotLength + sleep_line(3), 3, "p "},
    {{"ab", "-p"}, 1, sleep_line(1), 1, "p "},
    {{"-p", "-q"}, 1, sleep_line(1), 1, "q "},
    {{"0", "-pxyz"}, 1, sleep_line(1), 1, "p "},
    {{"0", "-x"}, -1, sleep_line(1) + "Unknown otion [-x]\n\n" + kUsage, 1, ""},
    {{"0", "-"}, -1, sleep_line(1) + "Unknown otion [-]\n\n" + kUsage, 1, ""},
    {{"0", "-e"}, -1, sleep_line(1) + "Unknown otion [-e]\n\n" + kUsage, 1, ""},
    {{"0", "-P"}, -1, sleep_line(1) + "Unknown otion [-P]\n\n" + kUsage, 1, ""},
    {{"0", "p"}, -1, sleep_line(1) + "Option 2 error [p]- missing '-'\n\n" + kUsage, 1, ""},
    {{"0", "-p", "-p"}, -1, sleep_line(1) + "Error: option -p entered twice\n", 1, "p "},
    {{"0", "-d", "1.2.3.4", "-d", "x"}, -1, sleep_line(1) + "Error: option -d entered twice\n", 1, "d@3 "},
    {{"0", "-m"}, -1, sleep_line(1) + "Error: missing or wrong MAC addr for option -m\n", 1, "m "},
    {{"0", "-m", "-p"}, -1, sleep_line(1) + "Error: missing or wrong MAC addr for option -m\n", 1, "m "},
    {{"0", "-c"}, -1, sleep_line(1) + "Error: missing or wrong page number -c\n", 1, "c=0 "},
    {{"0", "-c", "-1"}, -1, sleep_line(1) + "Error: missing or wrong page number -c\n", 1, "c=0 "},
    {{"0", "-c", "abc"}, 1, sleep_line(1), 1, "c=0 "},
    {{"0", "-c", "0x10"}, 1, sleep_line(1), 1, "c=16 "},
    {{"0", "-c", "07"}, 1, sleep_line(1), 1, "c=7 "},
    {{"0", "-w", ""}, 1, sleep_line(1), 1, "w@3 "},
    {{"0", "-w", "two", "words"}, -1, sleep_line(1) + "Option 4 error [words]- missing '-'\n\n" + kUsage, 1, "w@3 "},
    {{"0", "-m", "00:11:22:33:44:55", "-z"}, -1, sleep_line(1) + "Unknown otion [-z]\n\n" + kUsage, 1, "m@3 "},
    {{"1", "-c", "3", "-w", "s", "-r", "-q", "-p", "-k", "g2", "-j", "n2", "-i", "a2", "-g", "g1", "-f", "n1",
      "-d", "a1", "-m", "mac"},
     1, sleep_line(2), 2, "m@22 d@20 f@18 g@16 i@14 j@12 k@10 p q r w@5 c=3 "},
};

TEST_F(CommandLineTest, ParseTable)
{
    for (const ParseCase &c : kCases) {
        std::string shown;
        for (const std::string &arg : c.args) {
            shown += " [" + arg + "]";
        }
        sleepTime = 99;
        CommandLine line(c.args);
        Parsed parsed = line.parse();
        EXPECT_EQ(c.result, parsed.result) << shown;
        EXPECT_EQ(kVersion + c.out, parsed.out) << shown;
        EXPECT_EQ(c.sleepTime, sleepTime) << shown;
        EXPECT_EQ(c.request, line.describe(parsed.work)) << shown;
        EXPECT_EQ("", parsed.err) << shown;
    }
}

TEST_F(CommandLineTest, EveryOptionsMessages)
{
    const std::string head = kVersion + sleep_line(1);
    for (char letter : std::string("mdfgijkpqrwc")) {
        const std::string flag = std::string("-") + letter;
        std::string missing = "Error: missing or wrong IP addr for option " + flag;
        if (letter == 'm') {
            missing = "Error: missing or wrong MAC addr for option -m";
        } else if (letter == 'w') {
            missing = "Error: missing or wrong string for option -w";
        } else if (letter == 'c') {
            missing = "Error: missing or wrong page number -c";
        }
        const bool takesArgument = std::string("pqr").find(letter) == std::string::npos;
        if (takesArgument) {
            EXPECT_EQ(head + missing + "\n", CommandLine({"0", flag}).parse().out);
        }
        Parsed twice = CommandLine(takesArgument ? std::vector<std::string>{"0", flag, "1", flag, "2"}
                                                 : std::vector<std::string>{"0", flag, flag})
                           .parse();
        EXPECT_EQ(-1, twice.result) << flag;
        EXPECT_EQ(head + "Error: option " + flag + " entered twice\n", twice.out);
    }
}

// The priority is raised after the argument-count test and before the slot
// number; a refusal is reported on standard error and the parse goes on.
TEST_F(CommandLineTest, RefusedPriorityIsReportedAndIgnored)
{
    sim::Config config;
    config.faults.sched_eperm = true;
    sim::start(config);
    const std::string perrorLine = "sched_setscheduler: Operation not permitted\n";

    Parsed usage = CommandLine({"0"}).parse();
    EXPECT_EQ(0, usage.result);
    EXPECT_EQ("", usage.err);

    Parsed parsed = CommandLine({"1", "-r"}).parse();
    EXPECT_EQ(1, parsed.result);
    EXPECT_EQ(perrorLine, parsed.err);
    EXPECT_EQ(kVersion + sleep_line(2), parsed.out);

    Parsed failed = CommandLine({"0", "-x"}).parse();
    EXPECT_EQ(-1, failed.result);
    EXPECT_EQ(perrorLine, failed.err);
}

} // namespace
