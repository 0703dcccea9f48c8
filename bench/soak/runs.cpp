#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>

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
                    {"CLOCK", plan.clock}};
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

// The order the runs go in: each configuration's seeds, each seed with
// --sim and then the baseline.
struct Next {
    size_t config = 0;
    unsigned seed;
    Build build = kSim;
};

void advance(Next &next, const Options &o, bool baseline)
{
    if (baseline && next.build == kSim) {
        next.build = kBaseline;
        return;
    }
    next.build = kSim;
    if (next.seed++ == o.last_seed) {
        next.seed = o.first_seed;
        ++next.config;
    }
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
            if (host_level(*slot.config))
                plan.trace = slot.dir + "/trace.vcd";
            slot.pid = harness::start_sim(sim_run(sims_[next.build], slot.dir, plan));
            ++running;
            advance(next, o_, baseline);
        }
        if (running == 0)
            break;
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
        }
    }
    return total;
}

} // namespace soak
