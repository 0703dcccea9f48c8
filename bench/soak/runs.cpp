#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "harness/sim_process.h"
#include "soak.h"

namespace soak {

namespace {

// The run as a process in dir, on a copy of the plan's image.
harness::SimRun sim_run(const std::string &sim, const std::string &dir, const RunPlan &plan)
{
    if (plan.image.empty())
        unlink((dir + "/board.eeprom").c_str());
    else
        harness::write_file(dir + "/board.eeprom", plan.image);
    harness::SimRun run;
    run.program = sim;
    run.args = plan.args;
    run.dir = dir;
    // Chip timings: a board that doesn't know the variable runs typical timing.
    run.settings = {{"EEPROM", "board.eeprom"}, {"CHIP", plan.chip}, {"SEED", std::to_string(plan.seed)},
                    {"CHIP_TIMING", plan.timing}, {"FAULTS", plan.fault}, {"TRACE", plan.trace},
                    {"CLOCK", plan.clock}, {"GAPS", plan.gaps}};
    return run;
}

Outcome outcome_of(const std::string &dir, const harness::SimResult &done)
{
    Outcome r;
    r.status = done.code();
    r.image = harness::read_file(dir + "/board.eeprom");
    r.out = done.out;
    r.log = done.syslog;
    r.rom_given_up = r.out.find("Unable to read 1-wire 64 bits ROM") != std::string::npos;
    r.values = values_of(r.out, r.log, r.rom_given_up);
    r.disturbed = done.report.find("timing_violations 0\n") == std::string::npos;
    const size_t slots = done.report.find("disturbed_slots ");
    if (slots != std::string::npos)
        std::sscanf(done.report.c_str() + slots, "disturbed_slots %" SCNu64 "\nreruns %" SCNu64, &r.disturbed_slots,
                    &r.reruns);
    const size_t at = done.report.find("virtual_time_us ");
    r.timed = at != std::string::npos
              && std::sscanf(done.report.c_str() + at, "virtual_time_us %" SCNu64, &r.virtual_us) == 1;
    return r;
}

// A job's place: its directory and the run it has going.
struct Slot {
    std::string dir;
    pid_t pid = 0;
    Config *config = nullptr;
    unsigned seed = 0;
    Build build = kSim;
};

// The order the runs go in: seed by seed, each through every configuration,
// each with --sim and then the baseline. On the host's clock the machine's
// noise drifts over minutes; this way every configuration meets it alike.
struct Next {
    size_t config = 0;
    unsigned seed;
    Build build = kSim;
};

// After the last seed, next.config is configs: nothing is left.
void advance(Next &next, const Options &o, bool baseline, size_t configs)
{
    if (baseline && next.build == kSim) {
        next.build = kBaseline;
        return;
    }
    next.build = kSim;
    if (++next.config < configs)
        return;
    next.config = 0;
    if (next.seed++ == o.last_seed)
        next.config = configs;
}

} // namespace

bool host_level(const Config &c)
{
    return c.level == kHostLevel;
}

RunPlan disturbed_run(const Config &c, unsigned seed, const Options &o)
{
    RunPlan plan;
    plan.image = c.stock;
    plan.chip = c.chip;
    plan.args = c.action->args;
    if (host_level(c)) {
        plan.clock = "host";
        // The tool's request for SCHED_RR refused, as for a user without
        // the privilege: the run stays at SCHED_OTHER.
        if (o.sched_other)
            plan.fault = "sched-eperm";
    } else if (c.level == kNoiseLevel) {
        plan.fault = "noise=" + o.noise;
    } else {
        plan.fault = "jitter=" + c.level;
    }
    plan.timing = c.timing;
    plan.seed = seed;
    return plan;
}

std::string Runs::kept_dir() const
{
    return o_.keep.empty() ? "idstamp-soak-kept" : o_.keep;
}

// The silent run's trace, output and image, and the intended image; seed is
// the run's number, not a seed that could replay it.
void Runs::keep_host_run(const Config &c, unsigned seed, const std::string &dir, const Outcome &r) const
{
    const std::string base = kept_dir() + "/" + c.action->name + "-" + c.chip + "-host-" + std::to_string(seed);
    mkdir(kept_dir().c_str(), 0755);
    harness::write_file(base + ".vcd", harness::read_file(dir + "/trace.vcd"));
    harness::write_file(base + ".out", r.out);
    harness::write_file(base + ".eeprom", r.image);
    harness::write_file(base + ".want.eeprom", c.want.image);
}

// The run's gap profile (as idstamp-sim writes it: one thread, a bucket a
// line) added to the pool.
void Runs::pool_gaps(const std::string &dir) const
{
    std::istringstream in(harness::read_file(dir + "/gaps.json"));
    for (std::string line; std::getline(in, line);) {
        unsigned bucket = 0, max = 0;
        unsigned long long count = 0;
        double seconds = 0;
        if (std::sscanf(line.c_str(), " \"%u\": %llu", &bucket, &count) == 2)
            gap_counts_[bucket] += count;
        else if (std::sscanf(line.c_str(), " \"duration\": %lf", &seconds) == 1)
            gap_seconds_ += seconds;
        else if (std::sscanf(line.c_str(), " \"max\": %u", &max) == 1)
            gap_max_ = std::max(gap_max_, max);
    }
}

// The pool as one oslat profile, for --noise: the model meets the gaps the
// host clock's runs met.
void Runs::write_gaps() const
{
    if (o_.gaps.empty() || gap_seconds_ <= 0)
        return;
    std::string json = "{\n  \"file_version\": 1,\n  \"cmdline:\": \"idstamp_soak --gaps: the host clock's runs, pooled\",\n"
                       "  \"num_threads\": 1,\n  \"thread\": {\n    \"0\": {\n      \"max\": "
                       + std::to_string(gap_max_) + ",\n      \"duration\": " + std::to_string(gap_seconds_)
                       + ",\n      \"histogram\": {";
    const char *separator = "\n";
    for (const auto &bucket : gap_counts_) {
        json += separator + std::string("        \"") + std::to_string(bucket.first) + "\": " + std::to_string(bucket.second);
        separator = ",\n";
    }
    harness::write_file(o_.gaps, json + "\n      }\n    }\n  }\n}\n");
}

Runs::Runs(const Options &o, const std::string &base) : o_(o), sims_{o.sim, o.baseline}
{
    for (unsigned i = 0; i < o.jobs; ++i) {
        dirs_.push_back(base + "/" + std::to_string(i));
        mkdir(dirs_.back().c_str(), 0755);
    }
}

Outcome Runs::run_now(Build build, const RunPlan &plan) const
{
    return outcome_of(dirs_[0], harness::run_sim(sim_run(sims_[build], dirs_[0], plan)));
}

unsigned long Runs::run_all(std::vector<Config> &configs) const
{
    const bool baseline = !o_.baseline.empty();
    std::vector<Slot> slots(dirs_.size());
    for (size_t i = 0; i < slots.size(); ++i)
        slots[i].dir = dirs_[i];
    Next next;
    next.seed = o_.first_seed;
    unsigned running = 0;
    unsigned long total = 0;
    for (;;) {
        for (Slot &slot : slots) {
            if (slot.pid != 0 || next.config == configs.size())
                continue;
            slot.config = &configs[next.config];
            slot.seed = next.seed;
            slot.build = next.build;
            RunPlan plan = disturbed_run(*slot.config, next.seed, o_);
            // A run on the host's clock can't be replayed: it is traced, and
            // the trace kept when the run turns out silent.
            if (host_level(*slot.config)) {
                plan.trace = slot.dir + "/trace.vcd";
                if (!o_.gaps.empty())
                    plan.gaps = slot.dir + "/gaps.json";
            }
            slot.pid = harness::start_sim(sim_run(sims_[next.build], slot.dir, plan));
            ++running;
            advance(next, o_, baseline, configs.size());
        }
        if (running == 0) {
            write_gaps();
            break;
        }
        int wstatus = 0;
        const pid_t pid = wait(&wstatus);
        for (Slot &slot : slots) {
            if (slot.pid != pid)
                continue;
            slot.pid = 0;
            --running;
            ++total;
            const Outcome r = outcome_of(slot.dir, harness::collect_sim(slot.dir, wstatus));
            const unsigned silent = slot.config->builds[slot.build].silent;
            count(*slot.config, slot.build, slot.seed, r);
            if (host_level(*slot.config) && slot.config->builds[slot.build].silent != silent)
                keep_host_run(*slot.config, slot.seed, slot.dir, r);
            if (host_level(*slot.config) && !o_.gaps.empty())
                pool_gaps(slot.dir);
        }
    }
    return total;
}

} // namespace soak
