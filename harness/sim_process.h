// Test support: one run of idstamp-sim (or the board's binary under an
// emulator command) as a process of its own, in a directory of its own, with
// nothing of the caller's environment but what the run needs. What it did
// comes back whole: exit status or signal, standard output, standard error,
// system-log lines and the board's report.
#ifndef IDSTAMP_HARNESS_SIM_PROCESS_H
#define IDSTAMP_HARNESS_SIM_PROCESS_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace harness {

struct SimRun {
    // Words put before the program, the first one looked up on PATH (the
    // board binary's runner and qemu); empty: the program runs directly.
    std::vector<std::string> emulator;
    std::string program;
    std::vector<std::string> args;
    // The run's working directory; its stdout, stderr, syslog and report
    // files are written there, and any left by an earlier run are removed.
    std::string dir;
    // IDSTAMP_SIM_<name>=<value> for each pair with a value; SYSLOG and
    // REPORT are set to the run's own files.
    std::vector<std::pair<std::string, std::string>> settings;
};

struct SimResult {
    int status = -1; // the exit status; -1 when a signal ended the run
    int signal = 0;  // the signal that ended it, or 0
    std::string out, err, syslog, report;

    // The status, or 1000 plus the signal: one number to compare and print.
    int code() const { return signal != 0 ? 1000 + signal : status; }
};

// The environment a run gets: the settings, the run's output files and the
// variables it needs from the caller's (PATH, the sanitizers' options).
std::vector<std::string> run_environment(const SimRun &run);

// Starts the run and returns its process id without waiting (several runs
// may go at once); -1 when the process could not be made.
pid_t start_sim(const SimRun &run);

// What the run in dir did, once waitpid gave its wait status.
SimResult collect_sim(const std::string &dir, int wait_status);

// Starts the run, waits for it and collects it.
SimResult run_sim(const SimRun &run);

// A file's bytes; empty when it is missing.
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

} // namespace harness

#endif
