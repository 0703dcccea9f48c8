// The parse in-process: the request record it fills and the messages of every
// option. What a command line leads to as a whole run is shown by the
// scenarios (tests/scenarios/parse_*, slot_*, page_number_*, order_*).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frontend/idstamp.h"
#include "sim/config.h"
#include "sim/run.h"

namespace {

const std::string kHead = "idstamp version 4.1.0\n\nSetting sleep time to 1 microseconds.\n";

struct Parsed {
    int result;
    std::string out, err;
    IDSTAMP_WORK work;
    std::vector<std::string> args; // argv[0] is "idstamp"
    std::vector<char *> argv;
};

// Parses "idstamp" + args into a record that starts out filled with 0xA5.
Parsed parse(std::vector<std::string> args)
{
    Parsed p;
    p.args = std::move(args);
    p.args.insert(p.args.begin(), "idstamp");
    for (std::string &arg : p.args)
        p.argv.push_back(arg.data());
    p.argv.push_back(nullptr);
    std::memset(&p.work, 0xA5, sizeof p.work);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    p.result = idstamp_parse(static_cast<int>(p.args.size()), p.argv.data(), &p.work);
    fflush(stdout);
    fflush(stderr);
    p.err = testing::internal::GetCapturedStderr();
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

class CommandLineTest : public testing::Test {
protected:
    void SetUp() override { sim::start(sim::Config{}); }
};

std::vector<int> flags(const IDSTAMP_WORK &w)
{
    return {w.macGiven, w.ip1Given,     w.net1Given,   w.gw1Given,        w.ip2Given,         w.net2Given,
            w.gw2Given, w.macPageGiven, w.ipPageGiven, w.stringReadGiven, w.stringWriteGiven, w.pageDumpGiven};
}

std::vector<const char *> texts(const IDSTAMP_WORK &w)
{
    return {w.macAddr, w.ip1Addr, w.net1Addr, w.gw1Addr, w.ip2Addr, w.net2Addr, w.gw2Addr, w.stringText};
}

// Every option once, in reverse order: each flag is 1, each text points at
// its argument in argv, and the page number is converted. A lone -p leaves
// everything else of the record cleared.
TEST_F(CommandLineTest, RequestRecord)
{
    const Parsed p = parse({"1", "-c", "3", "-w", "s", "-r", "-q", "-p", "-k", "g2", "-j", "n2", "-i", "a2", "-g",
                            "g1", "-f", "n1", "-d", "a1", "-m", "mac"});
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.out, "idstamp version 4.1.0\n\nSetting sleep time to 2 microseconds.\n");
    EXPECT_EQ(sleepTime, 2u);
    EXPECT_EQ(flags(p.work), std::vector<int>(12, 1));
    const size_t at[] = {22, 20, 18, 16, 14, 12, 10, 5};
    for (size_t i = 0; i < 8; i++)
        EXPECT_EQ(texts(p.work)[i], p.argv[at[i]]) << "text " << i;
    EXPECT_EQ(p.work.pageNumber, 3u);

    const Parsed lone = parse({"0", "-p"});
    EXPECT_EQ(lone.result, 1);
    EXPECT_EQ(flags(lone.work), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(texts(lone.work), std::vector<const char *>(8, nullptr));
    EXPECT_EQ(lone.work.pageNumber, 0u);
    EXPECT_EQ(lone.err, "");
}

TEST_F(CommandLineTest, EveryOptionsMessages)
{
    for (const char letter : std::string("mdfgijkpqrwc")) {
        const std::string flag = std::string("-") + letter;
        const bool takesArgument = std::string("pqr").find(letter) == std::string::npos;
        const std::string missing = letter == 'm'   ? "MAC addr for option -m"
                                    : letter == 'w' ? "string for option -w"
                                    : letter == 'c' ? "page number -c"
                                                    : "IP addr for option " + flag;
        if (takesArgument) {
            EXPECT_EQ(kHead + "Error: missing or wrong " + missing + "\n", parse({"0", flag}).out);
        }
        const Parsed twice = parse(takesArgument ? std::vector<std::string>{"0", flag, "1", flag, "2"}
                                                 : std::vector<std::string>{"0", flag, flag});
        EXPECT_EQ(-1, twice.result) << flag;
        EXPECT_EQ(kHead + "Error: option " + flag + " entered twice\n", twice.out);
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
    EXPECT_EQ("", parse({"0"}).err);
    const Parsed parsed = parse({"0", "-r"});
    EXPECT_EQ(1, parsed.result);
    EXPECT_EQ(perrorLine, parsed.err);
    EXPECT_EQ(kHead, parsed.out);
    const Parsed failed = parse({"0", "-x"});
    EXPECT_EQ(-1, failed.result);
    EXPECT_EQ(perrorLine, failed.err);
}

} // namespace
