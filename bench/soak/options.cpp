#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "soak.h"

namespace soak {

// Every write and read action, each on a chip that holds all three records.
const std::vector<Action> kActions = {
    {"m", {"0", "-m", "00:11:22:33:44:55"}},
    {"ipv4", {"0", "-d", "192.168.7.77"}}, // reads the stored record, writes it back merged
    {"w", {"0", "-w", "soak string 0123456789"}},
    {"p", {"0", "-p"}},
    {"q", {"0", "-q"}},
    {"r", {"0", "-r"}},
    {"ip6", {"0", "-d", "192.168.7.77", "-f", "255.255.0.0", "-g", "192.168.7.1", "-i", "10.7.0.77", "-j",
             "255.0.0.0", "-k", "10.7.0.1"},
     false},
};

const char *const kNoiseLevel = "noise";
const char *const kHostLevel = "host";

const std::vector<std::string> kStockArgs = {"0", "-m", "02:00:5e:10:20:30", "-d", "192.168.1.10", "-f",
                                             "255.255.255.0", "-g", "192.168.1.1", "-i", "10.0.0.10",
                                             "-j", "255.0.0.0", "-k", "10.0.0.1", "-w", "stock string"};

namespace {

std::vector<std::string> split(const std::string &text, char by)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, by);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

// One option with its value; false when it is not one.
bool take(const std::string &arg, const std::string &value, Options &o)
{
    if (arg == "--sim")
        o.sim = value;
    else if (arg == "--baseline")
        o.baseline = value;
    else if (arg == "--actions")
        o.actions = split(value, ',');
    else if (arg == "--chips")
        o.chips = split(value, ',');
    else if (arg == "--levels")
        o.levels = split(value, ',');
    else if (arg == "--timings")
        o.timings = split(value, ',');
    else if (arg == "--jobs")
        o.jobs = static_cast<unsigned>(std::max(1, std::atoi(value.c_str())));
    else if (arg == "--keep")
        o.keep = value;
    else if (arg == "--noise")
        o.noise = value;
    else if (arg == "--clock" && (value == "host" || value == "virtual"))
        o.host_clock = value == "host";
    else if (arg == "--sched" && (value == "rr" || value == "other"))
        o.sched_other = value == "other";
    else if (arg == "--seeds")
        return std::sscanf(value.c_str(), "%u-%u", &o.first_seed, &o.last_seed) == 2 && o.first_seed != 0
               && o.last_seed >= o.first_seed;
    else
        return false;
    return true;
}

// Every action named is one of ours, and every level is P/MAX.
bool known(const Options &o)
{
    for (const std::string &name : o.actions)
        if (std::none_of(kActions.begin(), kActions.end(), [&](const Action &a) { return a.name == name; }))
            return false;
    return std::all_of(o.levels.begin(), o.levels.end(), [&](const std::string &level) {
        return probability_of(level) >= 0 || level == kHostLevel || (level == kNoiseLevel && !o.noise.empty());
    });
}

} // namespace

double probability_of(const std::string &level)
{
    const size_t slash = level.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == level.size())
        return -1;
    const std::string p = level.substr(0, slash);
    char *end = nullptr;
    const double probability = std::strtod(p.c_str(), &end);
    if (*end != '\0' || !(probability >= 0.0 && probability <= 1.0))
        return -1;
    return probability;
}

bool parse(int argc, char **argv, Options &o)
{
    for (const Action &a : kActions)
        if (a.by_default)
            o.actions.push_back(a.name);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--check" || arg == "--compare") {
            (arg == "--check" ? o.check : o.compare) = true;
            continue;
        }
        if (i + 1 == argc || !take(arg, argv[i + 1], o))
            return false;
        ++i;
    }
    // The host's clock runs without a fault; a profile alone is replayed on
    // the virtual clock; with both, or --compare, both are run, the model
    // first, and compared.
    if (o.compare && o.noise.empty())
        return false;
    o.compare = !o.noise.empty() && (o.compare || o.host_clock);
    if (o.compare)
        o.levels = {kNoiseLevel, kHostLevel};
    else if (!o.noise.empty())
        o.levels = {kNoiseLevel};
    else if (o.host_clock)
        o.levels = {kHostLevel};
    return known(o);
}

void print_usage(const char *program)
{
    std::fprintf(stderr, "usage: %s [--sim PATH] [--baseline PATH] [--actions m,ipv4,w,p,q,r]\n"
                         "       [--chips ds2431,ds28ec20] [--levels P/MAX,...] [--timings typical,fast,slow,random]\n"
                         "       [--seeds A-B] [--jobs N] [--keep DIR] [--check]\n"
                         "       [--clock virtual|host] [--sched rr|other] [--noise OSLAT-JSON] [--compare]\n",
                 program);
}

// The runs start in their own directories: the programs by absolute path.
bool programs_resolved(Options &o)
{
    if (!o.noise.empty()) {
        char *absolute = realpath(o.noise.c_str(), nullptr);
        if (absolute == nullptr) {
            std::fprintf(stderr, "%s: no such file\n", o.noise.c_str());
            return false;
        }
        o.noise = absolute;
        std::free(absolute);
    }
    for (std::string *sim : {&o.sim, &o.baseline}) {
        if (sim->empty())
            continue;
        char *absolute = realpath(sim->c_str(), nullptr);
        if (absolute == nullptr || access(absolute, X_OK) != 0) {
            std::fprintf(stderr, "%s: not an executable program\n", sim->c_str());
            std::free(absolute);
            return false;
        }
        *sim = absolute;
        std::free(absolute);
    }
    return true;
}

} // namespace soak
