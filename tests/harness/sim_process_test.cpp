// Starting a run as a process: only the settings and what the run needs in
// its environment, the emulator command in front, and everything the run
// did collected from its own directory.
#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "harness/sim_process.h"

namespace {

class SimProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir_template[] = "/tmp/idstamp-process-XXXXXX";
        dir = mkdtemp(dir_template);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A shell script as the program.
    harness::SimResult sh(const std::string &script, std::vector<std::string> emulator = {})
    {
        harness::SimRun run;
        run.emulator = std::move(emulator);
        run.program = "/bin/sh";
        run.args = {"-c", script};
        run.dir = dir;
        run.settings = {{"CHIP", "ds28ec20"}, {"FAULTS", ""}};
        return harness::run_sim(run);
    }

    std::string dir;
};

TEST_F(SimProcess, EnvironmentHoldsOnlyTheSettingsAndWhatTheRunNeeds)
{
    setenv("IDSTAMP_SIM_FAULTS", "absent", 1); // the caller's own: never passed on
    setenv("IDSTAMP_PROCESS_TEST_STRAY", "1", 1);
    setenv("UBSAN_OPTIONS", "print_stacktrace=1", 1); // a sanitizer's options are
    const harness::SimResult r = sh("env | grep -v -e '^PWD=' -e '^SHLVL=' -e '^_=' | sort");
    unsetenv("IDSTAMP_SIM_FAULTS");
    unsetenv("IDSTAMP_PROCESS_TEST_STRAY");
    EXPECT_EQ(r.code(), 0) << r.err;
    std::string want;
    if (const char *asan = getenv("ASAN_OPTIONS"))
        want += "ASAN_OPTIONS=" + std::string(asan) + "\n";
    want += "IDSTAMP_SIM_CHIP=ds28ec20\nIDSTAMP_SIM_REPORT=" + dir + "/report\nIDSTAMP_SIM_SYSLOG=" + dir + "/syslog\n";
    if (const char *lsan = getenv("LSAN_OPTIONS"))
        want += "LSAN_OPTIONS=" + std::string(lsan) + "\n";
    want += "PATH=" + std::string(getenv("PATH")) + "\nUBSAN_OPTIONS=print_stacktrace=1\n";
    EXPECT_EQ(r.out, want);
}

TEST_F(SimProcess, CollectsWhatTheRunDid)
{
    struct Case {
        const char *script;
        int status, signal;
        const char *out, *err, *report;
    };
    const Case cases[] = {
        {"echo o; echo e >&2; echo 'timing_violations 0' >\"$IDSTAMP_SIM_REPORT\"; exit 3", 3, 0, "o\n", "e\n",
         "timing_violations 0\n"},
        {"printf 'no line end'; kill -TERM $$", -1, 15, "no line end", "", ""},
        // A report or log left by the run before is not this run's.
        {"pwd >\"$IDSTAMP_SIM_SYSLOG\"", 0, 0, "", "", ""},
        {"test -s syslog || exit 4", 4, 0, "", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        const harness::SimResult r = sh(c.script);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.signal, c.signal);
        EXPECT_EQ(r.code(), c.signal != 0 ? 1000 + c.signal : c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.report, c.report);
    }
}

TEST_F(SimProcess, RunsInItsDirectoryThroughTheEmulatorCommand)
{
    // env stands in for the emulator: it is found on PATH and runs the
    // program with one more variable.
    const harness::SimResult r = sh("echo \"$WRAPPED $(pwd)\" >\"$IDSTAMP_SIM_SYSLOG\"", {"env", "WRAPPED=yes"});
    EXPECT_EQ(r.code(), 0) << r.err;
    EXPECT_EQ(r.syslog, "yes " + dir + "\n");
}

TEST_F(SimProcess, AProgramThatCannotStartEndsWith127)
{
    harness::SimRun run;
    run.program = dir + "/missing";
    run.dir = dir;
    const harness::SimResult r = harness::run_sim(run);
    EXPECT_EQ(r.code(), 127);
    EXPECT_EQ(r.err, "cannot run " + dir + "/missing\n");
}

} // namespace
