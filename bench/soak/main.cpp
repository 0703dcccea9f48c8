// Seeded jitter sweeps of idstamp-sim, one process a run, several at a time:
// for each action, chip, chip timing and jitter level it counts the runs that
// ended with status 0 and exactly the intended image and printed values, those
// that ended with 255, and the silent ones (status 0 with a wrong image byte
// or a wrong printed value), and names the seed of each silent run so it can
// be replayed with a trace. The intended result of an action is what the same
// action does undisturbed on the same image. Each row also has the median
// virtual time (the board's virtual_time_us) of its exact runs.
//
//   idstamp_soak [--sim PATH] [--baseline PATH] [--actions m,ipv4,w,p,q,r]
//                [--chips ds2431,ds28ec20] [--levels 0.0003/40,...]
//                [--timings typical,...] [--seeds A-B] [--jobs N] [--keep DIR]
//                [--check] [--clock virtual|host] [--noise OSLAT-JSON] [--compare]
//
// --baseline PATH runs every configuration and seed a second time with another
// idstamp-sim (the unguarded build, build/unguarded), on the same stocked
// images and against the same intended results, and prints its row under the
// --sim one. A level with P 0 (0/1) is undisturbed: it gives each action's
// undisturbed median, and each build's summary names the largest ratio of a
// disturbed row's median to the undisturbed one of the same action, chip and
// timing. --keep DIR replays each silent run with IDSTAMP_SIM_TRACE and keeps
// its trace, output and image in DIR. --check ends with status 1 when a run of
// the --sim build was silent, ended with another status or crashed, or when a
// configuration with P above 0 had no disturbed run that succeeded (a sweep
// that could not have failed); the baseline is measured, never judged.
//
// --clock host runs every configuration on the host's clock
// (IDSTAMP_SIM_CLOCK=host, the level column says "host"; --sched other has
// the tool's SCHED_RR request refused, fault sched-eperm): each run is traced,
// and a silent one keeps its trace, output and image in --keep DIR (or
// ./idstamp-soak-kept), since it cannot be replayed. --noise FILE replays an
// oslat profile on the virtual clock (IDSTAMP_SIM_FAULTS=noise=FILE, level
// "noise"). Both, or --compare with --noise, run the profile's model and the
// host's clock on the same seeds and print, after the usual table, each
// action and chip's model row beside its real row: exact, status 255, silent,
// disturbed slots and re-runs a run (as the tool logged them), the median and
// the 95th percentile of the exact runs' time (with --noise or --clock host
// alone, that table has their rows only). --gaps FILE has the host clock's
// runs write the gaps between their register accesses (IDSTAMP_SIM_GAPS) and
// pools them into one profile in FILE, which --noise replays: the model
// meeting the gaps the tool's own process met. The ip6 action (all six IPv4
// values) runs only when --actions names it.
//
// The parts: options.cpp (the command line), setup.cpp (the stocked chips
// and the intended results), runs.cpp (the runs as processes, several at a
// time), classify.cpp (what a run printed and how it counts), stats.cpp
// (medians and ratios), tables.cpp (the table and the summaries) and
// replay.cpp (the silent runs again, kept with a trace).
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <thread>

#include "soak.h"

namespace {

// The work directories go however the sweep ends.
struct WorkDir {
    std::string dir;
    ~WorkDir()
    {
        std::error_code failed;
        std::filesystem::remove_all(dir, failed);
        if (failed)
            std::fprintf(stderr, "could not remove %s: %s\n", dir.c_str(), failed.message().c_str());
    }
};

int g_signal_pipe[2] = {-1, -1};

extern "C" void on_signal(int signal)
{
    const unsigned char number = static_cast<unsigned char>(signal);
    if (write(g_signal_pipe[1], &number, 1) != 1)
        _exit(128 + signal);
}

// A sweep ended by a signal (timeout's TERM, Ctrl-C) removes its work
// directories too, then dies of the signal. The handler only wakes a thread
// that does the removal.
void remove_on_signal(const std::string &dir)
{
    if (pipe2(g_signal_pipe, O_CLOEXEC) != 0)
        return;
    std::thread([dir] {
        unsigned char number = 0;
        while (read(g_signal_pipe[0], &number, 1) != 1) {
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        std::signal(number, SIG_DFL);
        kill(getpid(), number);
    }).detach();
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool keep_dir_made(const std::string &keep)
{
    std::error_code made;
    if (!keep.empty() && !std::filesystem::create_directories(keep, made) && made) {
        std::fprintf(stderr, "%s: %s\n", keep.c_str(), made.message().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    soak::Options o;
    if (!soak::parse(argc, argv, o)) {
        soak::print_usage(argv[0]);
        return 2;
    }
    if (!soak::programs_resolved(o))
        return 2;
    char base_template[] = "/tmp/idstamp-soak-XXXXXX";
    if (mkdtemp(base_template) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const WorkDir work{base_template};
    remove_on_signal(work.dir);
    const soak::Runs runs(o, work.dir);
    std::vector<soak::Config> configs;
    if (!keep_dir_made(o.keep) || !soak::make_configs(o, runs, configs))
        return 2;

    const auto started = std::chrono::steady_clock::now();
    const unsigned long total = runs.run_all(configs);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const bool baseline = !o.baseline.empty();
    soak::print_table(configs, baseline);
    std::printf("\n%lu runs in %.1f s with %u jobs (%.0f runs/s); seeds %u-%u\n", total, seconds, o.jobs,
                total / seconds, o.first_seed, o.last_seed);
    soak::print_summary(configs, soak::kSim, baseline ? soak::kBuildNames[soak::kSim] : "idstamp-sim", o.sim);
    if (baseline)
        soak::print_summary(configs, soak::kBaseline, soak::kBuildNames[soak::kBaseline], o.baseline);
    if (o.compare || !o.noise.empty() || o.host_clock)
        soak::print_comparison(configs);
    soak::print_silent(configs, o, runs);
    if (o.check && std::any_of(configs.begin(), configs.end(), soak::broken)) {
        std::printf("check failed (%s): a silent run, an unexpected status, or no disturbed run that succeeded\n",
                    o.sim.c_str());
        return 1;
    }
    return 0;
}
