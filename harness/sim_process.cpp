#include "harness/sim_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace harness {

namespace {

// What a run takes from the caller's environment: the emulator and the
// board binary's runner are found on PATH, and a sanitizer build reports as
// the caller asked. Nothing else leaks in, above all no IDSTAMP_SIM_* name.
const char *const kPassedThrough[] = {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"};

std::vector<char *> pointers(std::vector<std::string> &texts)
{
    std::vector<char *> out;
    for (std::string &t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// In the child: the working directory, the output files, then the program.
[[noreturn]] void exec_in(const std::string &dir, std::vector<std::string> argv, std::vector<std::string> env)
{
    if (chdir(dir.c_str()) != 0)
        _exit(120);
    const int out = open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
        _exit(121);
    close(out);
    close(err);
    std::vector<char *> cargv = pointers(argv), cenv = pointers(env);
    execvpe(cargv[0], cargv.data(), cenv.data());
    const std::string failed = "cannot run " + argv[0] + "\n";
    if (write(2, failed.data(), failed.size()) < 0)
        _exit(126);
    _exit(127);
}

} // namespace

std::vector<std::string> run_environment(const SimRun &run)
{
    std::vector<std::string> env;
    for (const char *name : kPassedThrough)
        if (const char *value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    env.push_back("IDSTAMP_SIM_SYSLOG=" + run.dir + "/syslog");
    env.push_back("IDSTAMP_SIM_REPORT=" + run.dir + "/report");
    for (const auto &[name, value] : run.settings)
        if (!value.empty())
            env.push_back("IDSTAMP_SIM_" + name + "=" + value);
    return env;
}

pid_t start_sim(const SimRun &run)
{
    std::vector<std::string> argv = run.emulator;
    argv.push_back(run.program);
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    const std::vector<std::string> env = run_environment(run);
    // The log is appended to, and a run that dies early writes no report.
    for (const char *file : {"/syslog", "/report"})
        unlink((run.dir + file).c_str());
    const pid_t pid = fork();
    if (pid == 0)
        exec_in(run.dir, argv, env);
    return pid;
}

SimResult collect_sim(const std::string &dir, int wait_status)
{
    SimResult r;
    if (WIFEXITED(wait_status))
        r.status = WEXITSTATUS(wait_status);
    else
        r.signal = WTERMSIG(wait_status);
    r.out = read_file(dir + "/stdout");
    r.err = read_file(dir + "/stderr");
    r.syslog = read_file(dir + "/syslog");
    r.report = read_file(dir + "/report");
    return r;
}

SimResult run_sim(const SimRun &run)
{
    const pid_t pid = start_sim(run);
    int wait_status = 0;
    if (pid < 0 || waitpid(pid, &wait_status, 0) != pid) {
        SimResult failed;
        failed.err = "could not start or wait for " + run.program;
        return failed;
    }
    return collect_sim(run.dir, wait_status);
}

std::string read_file(const std::string &path)
{
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace harness
