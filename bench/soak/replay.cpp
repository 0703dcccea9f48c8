#include <cstdio>
#include <cstdlib>
#include <regex>

#include "harness/sim_process.h"
#include "soak.h"

namespace soak {

namespace {

std::string quoted(const std::vector<std::string> &args)
{
    std::string text;
    for (const std::string &a : args)
        text += " " + (a.find(' ') != std::string::npos ? "\"" + a + "\"" : a);
    return text;
}

// The files of a kept run are named after its configuration and seed.
std::string kept_name(const Config &c, Build build, unsigned seed)
{
    return c.action->name + "-" + c.chip + "-" + c.timing + "-" + std::regex_replace(c.level, std::regex("/"), "_")
           + "-" + std::to_string(seed) + (build == kBaseline ? "-unguarded" : "");
}

// The silent run again with a trace; its trace, output, image and the
// intended image kept in o.keep.
void keep(const Config &c, Build build, unsigned seed, const Options &o, const Runs &runs)
{
    const std::string name = kept_name(c, build, seed);
    const std::string trace = o.keep + "/" + name + ".vcd";
    char *absolute = realpath(o.keep.c_str(), nullptr);
    RunPlan plan = disturbed_run(c, seed, o);
    plan.trace = std::string(absolute != nullptr ? absolute : o.keep.c_str()) + "/" + name + ".vcd";
    std::free(absolute);
    const Outcome r = runs.run_now(build, plan);
    harness::write_file(o.keep + "/" + name + ".eeprom", r.image);
    harness::write_file(o.keep + "/" + name + ".want.eeprom", c.want.image);
    harness::write_file(o.keep + "/" + name + ".out", r.out);
    std::printf("  kept %s (.vcd, .out, .eeprom, .want.eeprom); replayed status %d\n", trace.c_str(), r.status);
}

} // namespace

void print_silent(const std::vector<Config> &configs, const Options &o, const Runs &runs)
{
    const bool baseline = !o.baseline.empty();
    for (const Config &c : configs) {
        for (Build build : {kSim, kBaseline}) {
            for (unsigned seed : c.builds[build].silent_seeds) {
                if (host_level(c)) {
                    std::printf("silent on the host's clock: run %u of -%s on the %s, not replayable; its trace, "
                                "output and image are kept in %s\n",
                                seed, c.action->name.c_str(), c.chip.c_str(), runs.kept_dir().c_str());
                    continue;
                }
                const std::string fault = c.level == kNoiseLevel ? "noise=" + o.noise : "jitter=" + c.level;
                std::printf("silent%s: IDSTAMP_SIM_CHIP_TIMING=%s IDSTAMP_SIM_FAULTS=%s "
                            "IDSTAMP_SIM_SEED=%u %s%s  (on the stocked %s)\n",
                            baseline ? (std::string(" (") + kBuildNames[build] + ")").c_str() : "",
                            c.timing.c_str(), fault.c_str(), seed,
                            baseline ? runs.program(build).c_str() : "idstamp-sim", quoted(c.action->args).c_str(),
                            c.chip.c_str());
                if (!o.keep.empty())
                    keep(c, build, seed, o, runs);
            }
        }
    }
}

} // namespace soak
