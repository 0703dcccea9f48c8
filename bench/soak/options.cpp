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
    else if (arg == "--jobs") {
        char *end = nullptr;
        const unsigned long jobs = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || jobs < 1 || jobs > 256 || value[0] == '-') {
            std::fprintf(stderr, "--jobs: \"%s\" is not 1 to 256\n", value.c_str());
            return false;
        }
        o.jobs = static_cast<unsigned>(jobs);
    }
    else if (arg == "--keep")
        o.keep = value;
    else if (arg == "--noise")
        o.noise = value;
    else if (arg == "--gaps")
        o.gaps = value;
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

// Whether every name is one of the known ones; the first that is not is said,
// before any run, so that idstamp-sim's own refusal is not mistaken for a
// failed run.
bool all_known(const char *option, const std::vector<std::string> &names, const std::vector<std::string> &known)
{
    for (const std::string &name : names) {
        if (std::find(known.begin(), known.end(), name) == known.end()) {
            std::string list;
            for (const std::string &k : known)
                list += (list.empty() ? "" : ", ") + k;
            std::fprintf(stderr, "%s: unknown \"%s\" (%s)\n", option, name.c_str(), list.c_str());
            return false;
        }
    }
    return true;
}

// Every action, chip and timing named is one of ours, and every level is P/MAX.
bool known(const Options &o)
{
    std::vector<std::string> actions;
    for (const Action &a : kActions)
        actions.push_back(a.name);
    if (!all_known("--actions", o.actions, actions) || !all_known("--chips", o.chips, {"ds2431", "ds28ec20"})
        || !all_known("--timings", o.timings, {"typical", "fast", "slow", "random"}))
        return false;
    for (const std::string &level : o.levels) {
        // noise and host are set by --noise and --clock, never by --levels.
        if (probability_of(level) < 0 && level != kHostLevel && !(level == kNoiseLevel && !o.noise.empty())) {
            std::fprintf(stderr, "--levels: \"%s\" is not P/MAX\n", level.c_str());
            return false;
        }
    }
    return true;
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
                         "       [--clock virtual|host] [--sched rr|other] [--noise OSLAT-JSON] [--compare]\n"
                         "       [--gaps FILE]\n"
                         "defaults: --sim %s\n"
                         "          --actions m,ipv4,w,p,q,r --chips ds2431,ds28ec20 --levels 0.0003/40,0.001/80\n"
                         "          --timings typical --seeds 1-1000 --jobs 2 --clock virtual --sched rr\n"
                         "          (a bare run is 6 actions x 2 chips x 2 levels x 1000 seeds: 24000 runs;\n"
                         "          the action ip6, all six IPv4 values, runs only when --actions names it)\n",
                 program, IDSTAMP_SIM_PATH);
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
