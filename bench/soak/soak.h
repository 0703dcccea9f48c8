// The soak tool's parts (main.cpp tells what the tool does): what a sweep
// is made of, and the function each file gives the others.
#ifndef IDSTAMP_BENCH_SOAK_H
#define IDSTAMP_BENCH_SOAK_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace soak {

using Bytes = std::string; // an image file's content

struct Action {
    std::string name;
    std::vector<std::string> args;
    bool by_default = true; // run when --actions does not name the actions
};

// Levels that are not P/MAX jitter: the --noise profile replayed on the
// virtual clock (the model), and the host's clock with no fault (reality).
extern const char *const kNoiseLevel;
extern const char *const kHostLevel;

struct Options {
    std::string sim = IDSTAMP_SIM_PATH, baseline;
    std::vector<std::string> actions, chips{"ds2431", "ds28ec20"}, levels{"0.0003/40", "0.001/80"},
        timings{"typical"};
    unsigned first_seed = 1, last_seed = 1000, jobs = 2;
    std::string keep;
    std::string noise; // --noise FILE, absolute once resolved
    std::string gaps;  // --gaps FILE: the host clock's runs' gaps, pooled, as a profile
    bool check = false;
    bool host_clock = false; // --clock host
    bool sched_other = false; // --sched other: the host clock's runs are refused SCHED_RR
    bool compare = false;    // --compare: the model beside the host's clock
};

struct Outcome {
    int status = -1; // or 1000 plus the signal that ended the run
    Bytes image;
    std::string values; // the printed values, attempt numbers masked
    bool disturbed = false;
    bool rom_given_up = false;
    bool timed = false; // the report had virtual_time_us
    uint64_t virtual_us = 0;
    uint64_t disturbed_slots = 0, reruns = 0; // as the tool logged them
    std::string out, log;
};

// The --sim build, and the --baseline one.
enum Build { kSim = 0, kBaseline = 1 };
extern const char *const kBuildNames[2];

struct Counts {
    unsigned runs = 0, ok = 0, failed = 0, silent = 0, other = 0, disturbed_ok = 0;
    std::vector<unsigned> silent_seeds, other_seeds;
    std::vector<uint64_t> ok_us; // virtual time of each exact run
    uint64_t disturbed_slots = 0, reruns = 0; // summed over all runs
};

// One row of the table (one per build): an action on a chip at a timing
// and a jitter level, and what it must give.
struct Config {
    const Action *action = nullptr;
    std::string chip, timing, level;
    double probability = 0; // of the level; 0: undisturbed
    Bytes stock;
    Outcome want;
    std::string want_values[2]; // as printed; without the ROM report, which -p may give up
    Counts builds[2];
};

// options.cpp: the command line.
extern const std::vector<Action> kActions;
extern const std::vector<std::string> kStockArgs;
double probability_of(const std::string &level); // -1 when the level is not P/MAX
bool parse(int argc, char **argv, Options &o);
void print_usage(const char *program);
bool programs_resolved(Options &o); // absolute paths to executables, or false having said why

// runs.cpp: runs of idstamp-sim, each in a work directory of its own.
struct RunPlan {
    Bytes image; // empty: a new chip
    std::string chip;
    std::vector<std::string> args;
    std::string fault, timing; // empty: undisturbed, typical timing
    std::string clock;         // empty: the virtual clock
    std::string gaps;          // on the host's clock: where the run writes its gaps
    unsigned seed = 1;
    std::string trace; // an absolute path, or empty for none
};
// The run of c at seed, disturbed at c's level (noise: the profile o.noise).
RunPlan disturbed_run(const Config &c, unsigned seed, const Options &o);
bool host_level(const Config &c);

class Runs {
public:
    // Work directories under base, one per job.
    Runs(const Options &o, const std::string &base);
    Outcome run_now(Build build, const RunPlan &plan) const; // in the first directory
    // Every (configuration, seed, build), o.jobs processes at a time; the
    // number of runs.
    unsigned long run_all(std::vector<Config> &configs) const;
    // Where a silent run on the host's clock keeps its trace: it cannot be
    // replayed. Made when the first such run is kept.
    std::string kept_dir() const;
    const std::string &program(Build build) const { return sims_[build]; }
    const std::string &first_dir() const { return dirs_[0]; }

private:
    void keep_host_run(const Config &c, unsigned seed, const std::string &dir, const Outcome &r) const;
    void pool_gaps(const std::string &dir) const;
    void write_gaps() const;

    const Options &o_;
    std::string sims_[2];
    std::vector<std::string> dirs_;
    // --gaps: the pooled histogram (bucket: count), seconds and longest gap.
    mutable std::map<unsigned, uint64_t> gap_counts_;
    mutable double gap_seconds_ = 0;
    mutable unsigned gap_max_ = 0;
};
// setup.cpp: the chips as the sweeps find them, and the configurations,
// each with its intended result; false having said why they could not be
// made.
bool make_configs(const Options &o, const Runs &runs, std::vector<Config> &configs);

// classify.cpp: what a run printed and how it counts.
std::string values_of(const std::string &out, const std::string &log, bool without_rom);
void count(Config &c, Build build, unsigned seed, const Outcome &r);
// Whether the --sim build broke the rule in c (the baseline is never judged).
bool broken(const Config &c);

// stats.cpp: medians and ratios.
double median_ms(std::vector<uint64_t> us); // negative when there are none
double quantile_ms(std::vector<uint64_t> us, double q); // nearest rank; negative when there are none
std::string ms_text(double ms);
Counts totals(const std::vector<Config> &configs, Build build);
// The largest ratio of a disturbed row's median to the undisturbed row's of
// the same action, chip and timing, and its row; null when none compares.
const Config *worst_ratio(const std::vector<Config> &configs, Build build, double &worst);

// tables.cpp: what the tool prints.
void print_table(const std::vector<Config> &configs, bool baseline);
void print_summary(const std::vector<Config> &configs, Build build, const std::string &label, const std::string &sim);
// For each action and chip, the --noise model's row beside the host clock's.
void print_comparison(const std::vector<Config> &configs);
// Each silent run, and with --keep its replay with a trace.
void print_silent(const std::vector<Config> &configs, const Options &o, const Runs &runs);

} // namespace soak

#endif
