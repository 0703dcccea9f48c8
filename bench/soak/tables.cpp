#include <cstdio>

#include "soak.h"

namespace soak {

const char *const kBuildNames[2] = {"guarded", "unguarded"};

namespace {

// The silent seeds, then the others as other:N.
std::string seeds_text(const Counts &n)
{
    std::string seeds;
    for (unsigned s : n.silent_seeds)
        seeds += (seeds.empty() ? "" : " ") + std::to_string(s);
    for (unsigned s : n.other_seeds)
        seeds += (seeds.empty() ? "" : " ") + std::string("other:") + std::to_string(s);
    return seeds;
}

void print_row(const Config &c, Build build, bool baseline)
{
    const Counts &n = c.builds[build];
    const std::string build_cell = baseline ? std::string(" ") + kBuildNames[build] + " |" : "";
    std::printf("| -%s | %s | %s | %s |%s %u | %u | %u | %u | %u | %u | %s | %s |\n", c.action->name.c_str(),
                c.chip.c_str(), c.timing.c_str(), c.level.c_str(), build_cell.c_str(), n.runs, n.ok, n.failed,
                n.silent, n.other, n.disturbed_ok, ms_text(median_ms(n.ok_us)).c_str(), seeds_text(n).c_str());
}

} // namespace

// With a baseline, each configuration has a row for each build.
void print_table(const std::vector<Config> &configs, bool baseline)
{
    std::printf("| action | chip | timing | jitter P/MAX |%s runs | status 0, exact | status 255 | silent | other "
                "| disturbed and exact | median ms, exact | silent seeds |\n",
                baseline ? " build |" : "");
    std::printf("|---|---|---|---|%s---:|---:|---:|---:|---:|---:|---:|---|\n", baseline ? "---|" : "");
    for (const Config &c : configs) {
        print_row(c, kSim, baseline);
        if (baseline)
            print_row(c, kBaseline, baseline);
    }
}

void print_comparison(const std::vector<Config> &configs)
{
    std::printf("\n| action | chip | timing | clock | runs | status 0, exact | status 255 | silent | other "
                "| disturbed slots a run | re-runs a run | median ms | 95th percentile ms |\n");
    std::printf("|---|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Config &c : configs) {
        const Counts &n = c.builds[kSim];
        const double runs = n.runs != 0 ? n.runs : 1;
        std::printf("| -%s | %s | %s | %s | %u | %u | %u | %u | %u | %.1f | %.1f | %s | %s |\n", c.action->name.c_str(),
                    c.chip.c_str(), c.timing.c_str(), host_level(c) ? "host" : "model (noise)", n.runs, n.ok,
                    n.failed, n.silent, n.other, static_cast<double>(n.disturbed_slots) / runs,
                    static_cast<double>(n.reruns) / runs, ms_text(median_ms(n.ok_us)).c_str(),
                    ms_text(quantile_ms(n.ok_us, 0.95)).c_str());
    }
}

// One build's totals, and the largest ratio of a disturbed row's median to
// the undisturbed row's of the same action, chip and timing.
void print_summary(const std::vector<Config> &configs, Build build, const std::string &label, const std::string &sim)
{
    const Counts total = totals(configs, build);
    double worst = -1;
    const Config *worst_config = worst_ratio(configs, build, worst);
    std::printf("%s (%s): %u runs, %u status 0 and exact, %u status 255, %u silent, %u other; ", label.c_str(),
                sim.c_str(), total.runs, total.ok, total.failed, total.silent, total.other);
    if (worst_config == nullptr)
        std::printf("no disturbed row with an undisturbed one (P 0) to compare\n");
    else
        std::printf("largest median virtual time, disturbed over undisturbed: %.2f (-%s %s %s %s)\n", worst,
                    worst_config->action->name.c_str(), worst_config->chip.c_str(), worst_config->timing.c_str(),
                    worst_config->level.c_str());
}

} // namespace soak
