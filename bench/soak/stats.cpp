#include <algorithm>
#include <cstdio>

#include "soak.h"

namespace soak {

double median_ms(std::vector<uint64_t> us)
{
    if (us.empty())
        return -1;
    std::sort(us.begin(), us.end());
    const size_t mid = us.size() / 2;
    const double median = us.size() % 2 != 0 ? static_cast<double>(us[mid])
                                             : (static_cast<double>(us[mid - 1]) + static_cast<double>(us[mid])) / 2;
    return median / 1000;
}

double quantile_ms(std::vector<uint64_t> us, double q)
{
    if (us.empty())
        return -1;
    std::sort(us.begin(), us.end());
    size_t rank = static_cast<size_t>(q * static_cast<double>(us.size()) + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), us.size());
    return static_cast<double>(us[rank - 1]) / 1000;
}

std::string ms_text(double ms)
{
    if (ms < 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", ms);
    return text;
}

Counts totals(const std::vector<Config> &configs, Build build)
{
    Counts total;
    for (const Config &c : configs) {
        const Counts &n = c.builds[build];
        total.runs += n.runs;
        total.ok += n.ok;
        total.failed += n.failed;
        total.silent += n.silent;
        total.other += n.other;
    }
    return total;
}

const Config *worst_ratio(const std::vector<Config> &configs, Build build, double &worst)
{
    worst = -1;
    const Config *worst_config = nullptr;
    for (const Config &c : configs) {
        if (c.probability == 0)
            continue;
        const double disturbed = median_ms(c.builds[build].ok_us);
        for (const Config &u : configs) {
            if (u.probability != 0 || u.action != c.action || u.chip != c.chip || u.timing != c.timing)
                continue;
            const double undisturbed = median_ms(u.builds[build].ok_us);
            if (disturbed >= 0 && undisturbed > 0 && disturbed / undisturbed > worst) {
                worst = disturbed / undisturbed;
                worst_config = &c;
            }
        }
    }
    return worst_config;
}

} // namespace soak
