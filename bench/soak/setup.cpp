#include <cstdio>
#include <map>

#include "harness/sim_process.h"
#include "soak.h"

namespace soak {

namespace {

// Each chip stocked, undisturbed, with all three records; false having said
// why one could not be.
bool stocked_chips(const Options &o, const Runs &runs, std::map<std::string, Bytes> &stock)
{
    for (const std::string &chip : o.chips) {
        RunPlan plan;
        plan.chip = chip;
        plan.args = kStockArgs;
        const Outcome s = runs.run_now(kSim, plan);
        if (s.status != 0 || s.image.empty()) {
            std::fprintf(stderr, "undisturbed set-up of the %s failed (status %d)\n", chip.c_str(), s.status);
            return false;
        }
        stock[chip] = s.image;
        if (!o.keep.empty())
            harness::write_file(o.keep + "/stock-" + chip + ".eeprom", s.image);
    }
    return true;
}

// The action undisturbed on the stocked chip; both builds are judged
// against the --sim build's result, so the baseline must do the same.
bool intended(const Options &o, const Runs &runs, const RunPlan &plan, const std::string &name, Outcome &want)
{
    want = runs.run_now(kSim, plan);
    if (want.status != 0) {
        std::fprintf(stderr, "undisturbed -%s on the %s (%s) failed (status %d)\n", name.c_str(), plan.chip.c_str(),
                     plan.timing.c_str(), want.status);
        return false;
    }
    if (o.baseline.empty())
        return true;
    const Outcome same = runs.run_now(kBaseline, plan);
    if (same.status != 0 || same.image != want.image
        || values_of(same.out, same.log, false) != values_of(want.out, want.log, false)) {
        std::fprintf(stderr, "undisturbed -%s on the %s (%s): the baseline's result (status %d) differs from --sim's\n",
                     name.c_str(), plan.chip.c_str(), plan.timing.c_str(), same.status);
        return false;
    }
    return true;
}

const Action *action_named(const std::string &name)
{
    for (const Action &a : kActions)
        if (a.name == name)
            return &a;
    return nullptr;
}

} // namespace

bool make_configs(const Options &o, const Runs &runs, std::vector<Config> &configs)
{
    std::map<std::string, Bytes> stock;
    if (!stocked_chips(o, runs, stock))
        return false;
    for (const std::string &name : o.actions) {
        const Action *action = action_named(name);
        for (const std::string &chip : o.chips) {
            for (const std::string &timing : o.timings) {
                RunPlan plan;
                plan.image = stock.at(chip);
                plan.chip = chip;
                plan.args = action->args;
                plan.timing = timing;
                Outcome want;
                if (!intended(o, runs, plan, name, want))
                    return false;
                for (const std::string &level : o.levels) {
                    Config c;
                    c.action = action;
                    c.chip = chip;
                    c.timing = timing;
                    c.level = level;
                    c.probability = probability_of(level);
                    c.stock = plan.image;
                    c.want = want;
                    c.want_values[0] = values_of(want.out, want.log, false);
                    c.want_values[1] = values_of(want.out, want.log, true);
                    configs.push_back(c);
                }
            }
        }
    }
    return true;
}

} // namespace soak
