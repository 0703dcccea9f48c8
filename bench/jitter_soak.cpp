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
//                [--check]
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
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

namespace {

using Bytes = std::vector<char>;

struct Action {
    std::string name;
    std::vector<std::string> args;
};

// Every write and read action, each on a chip that holds all three records.
const std::vector<Action> kActions = {
    {"m", {"0", "-m", "00:11:22:33:44:55"}},
    {"ipv4", {"0", "-d", "192.168.7.77"}}, // reads the stored record, writes it back merged
    {"w", {"0", "-w", "soak string 0123456789"}},
    {"p", {"0", "-p"}},
    {"q", {"0", "-q"}},
    {"r", {"0", "-r"}},
};

const std::vector<std::string> kStockArgs = {"0", "-m", "02:00:5e:10:20:30", "-d", "192.168.1.10", "-f",
                                             "255.255.255.0", "-g", "192.168.1.1", "-i", "10.0.0.10",
                                             "-j", "255.0.0.0", "-k", "10.0.0.1", "-w", "stock string"};

struct Options {
    std::string sim = IDSTAMP_SIM_PATH, baseline;
    std::vector<std::string> actions, chips{"ds2431", "ds28ec20"}, levels{"0.0003/40", "0.001/80"},
        timings{"typical"};
    unsigned first_seed = 1, last_seed = 1000, jobs = 2;
    std::string keep;
    bool check = false;
};

struct Outcome {
    int status = -1;
    Bytes image;
    std::string values; // the printed values, attempt numbers masked
    bool disturbed = false;
    bool rom_given_up = false;
    bool timed = false; // the report had virtual_time_us
    uint64_t virtual_us = 0;
    std::string out, log;
};

// The --sim build, and the --baseline one.
enum Build { kSim = 0, kBaseline = 1 };
const char *const kBuildNames[] = {"guarded", "unguarded"};

struct Counts {
    unsigned runs = 0, ok = 0, failed = 0, silent = 0, other = 0, disturbed_ok = 0;
    std::vector<unsigned> silent_seeds, other_seeds;
    std::vector<uint64_t> ok_us; // virtual time of each exact run
};

struct Config {
    const Action *action = nullptr;
    std::string chip, timing, level;
    double probability = 0; // of the level; 0: undisturbed
    Bytes stock;
    Outcome want;
    std::string want_values[2]; // as printed; without the ROM report, which -p may give up
    Counts builds[2];
};

// A level's probability, or -1 when the level is not P/MAX.
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

// The median of the times in ms; negative when there are none.
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

std::string ms_text(double ms)
{
    if (ms < 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", ms);
    return text;
}

std::vector<std::string> split(const std::string &text, char by)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, by);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

Bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const Bytes &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What a run printed that a reader takes as the chip's content: the ROM
// report, the records' reports and CRCs, the IPv4 texts to be written, and
// the MAC address logged.
std::string values_of(const std::string &out, const std::string &log, bool without_rom)
{
    static const char *const kMarkers[] = {"ONE WIRE part information", "8-bit Family", "48-bit Serial",
                                           "8-bit CRC", "CRC: ", "MAC address read", "IPv4 PAGE info",
                                           "\t slot", " slot ", "Read generic string done", "Read string:",
                                           "IDSTAMP: Read MAC address"};
    static const std::regex kAttempt("\\(\\d+\\)");
    std::string values;
    std::istringstream in(out + log);
    for (std::string line; std::getline(in, line);) {
        // Start texts and retry texts have no line end: a value can follow
        // them on the same line.
        size_t at = std::string::npos;
        for (const char *marker : kMarkers)
            at = std::min(at, line.find(marker));
        if (at == std::string::npos)
            continue;
        const std::string value = line.substr(at);
        const bool rom = value.rfind("ONE WIRE", 0) == 0 || value.rfind("8-bit Family", 0) == 0
                         || value.rfind("48-bit", 0) == 0 || value.rfind("8-bit CRC", 0) == 0;
        if (!(without_rom && rom))
            values += std::regex_replace(value, kAttempt, "(n)") + "\n";
    }
    return values;
}

struct Slot {
    std::string dir;
    pid_t pid = 0;
    Config *config = nullptr;
    unsigned seed = 0;
    Build build = kSim;
};

std::vector<char *> pointers(std::vector<std::string> &texts)
{
    std::vector<char *> out;
    for (std::string &t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// Starts the idstamp-sim at sim in dir on a copy of image; fault empty:
// undisturbed.
pid_t launch(const std::string &sim, const std::string &dir, const Bytes &image, const std::string &chip,
             const std::vector<std::string> &args, const std::string &fault, const std::string &timing,
             unsigned seed, const std::string &trace)
{
    if (image.empty())
        unlink((dir + "/board.eeprom").c_str());
    else
        write_file(dir + "/board.eeprom", image);
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "IDSTAMP_SIM_", 12) != 0)
            env.emplace_back(*e);
    env.push_back("IDSTAMP_SIM_EEPROM=board.eeprom");
    env.push_back("IDSTAMP_SIM_SYSLOG=log");
    env.push_back("IDSTAMP_SIM_REPORT=report");
    env.push_back("IDSTAMP_SIM_CHIP=" + chip);
    env.push_back("IDSTAMP_SIM_SEED=" + std::to_string(seed));
    // Chip timings: a board that doesn't know the variable runs typical timing.
    if (!timing.empty())
        env.push_back("IDSTAMP_SIM_CHIP_TIMING=" + timing);
    if (!fault.empty())
        env.push_back("IDSTAMP_SIM_FAULTS=" + fault);
    if (!trace.empty())
        env.push_back("IDSTAMP_SIM_TRACE=" + trace);
    std::vector<std::string> argv{sim};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargv = pointers(argv), cenv = pointers(env);
    unlink((dir + "/log").c_str());
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(120);
        const int out = open("out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open("err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(121);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    return pid;
}

Outcome collect(const std::string &dir, int wstatus)
{
    Outcome r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 1000 + WTERMSIG(wstatus);
    r.image = read_file(dir + "/board.eeprom");
    const Bytes out = read_file(dir + "/out"), log = read_file(dir + "/log"), report = read_file(dir + "/report");
    const std::string text(out.begin(), out.end());
    r.rom_given_up = text.find("Unable to read 1-wire 64 bits ROM") != std::string::npos;
    r.out = text;
    r.log.assign(log.begin(), log.end());
    r.values = values_of(r.out, r.log, r.rom_given_up);
    const std::string report_text(report.begin(), report.end());
    r.disturbed = report_text.find("timing_violations 0\n") == std::string::npos;
    const size_t at = report_text.find("virtual_time_us ");
    r.timed = at != std::string::npos
              && std::sscanf(report_text.c_str() + at, "virtual_time_us %" SCNu64, &r.virtual_us) == 1;
    return r;
}

Outcome run_now(const std::string &sim, const std::string &dir, const Bytes &image, const std::string &chip,
                const std::vector<std::string> &args, const std::string &fault, const std::string &timing,
                unsigned seed, const std::string &trace = "")
{
    int wstatus = 0;
    waitpid(launch(sim, dir, image, chip, args, fault, timing, seed, trace), &wstatus, 0);
    return collect(dir, wstatus);
}

std::string quoted(const std::vector<std::string> &args)
{
    std::string text;
    for (const std::string &a : args)
        text += " " + (a.find(' ') != std::string::npos ? "\"" + a + "\"" : a);
    return text;
}

bool parse(int argc, char **argv, Options &o)
{
    for (const Action &a : kActions)
        o.actions.push_back(a.name);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        const std::string value = has_value ? argv[i + 1] : "";
        if (arg == "--check") {
            o.check = true;
            continue;
        }
        if (!has_value)
            return false;
        ++i;
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
        else if (arg == "--seeds") {
            if (std::sscanf(value.c_str(), "%u-%u", &o.first_seed, &o.last_seed) != 2 || o.first_seed == 0
                || o.last_seed < o.first_seed)
                return false;
        } else
            return false;
    }
    for (const std::string &name : o.actions) {
        bool known = false;
        for (const Action &a : kActions)
            known = known || a.name == name;
        if (!known)
            return false;
    }
    for (const std::string &level : o.levels)
        if (probability_of(level) < 0)
            return false;
    return true;
}

// The exact and failed counts of one build in one configuration.
void count(Config &c, Build build, unsigned seed, const Outcome &r)
{
    Counts &n = c.builds[build];
    ++n.runs;
    if (r.status == 255) {
        ++n.failed;
    } else if (r.status != 0) {
        ++n.other;
        n.other_seeds.push_back(seed);
    } else if (r.image != c.want.image || r.values != c.want_values[r.rom_given_up]) {
        ++n.silent;
        n.silent_seeds.push_back(seed);
    } else {
        ++n.ok;
        n.disturbed_ok += r.disturbed;
        if (r.timed)
            n.ok_us.push_back(r.virtual_us);
    }
}

// One build's totals, and the largest ratio of a disturbed row's median to
// the undisturbed row's of the same action, chip and timing.
void print_summary(const std::vector<Config> &configs, Build build, const std::string &label, const std::string &sim)
{
    Counts total;
    double worst = -1;
    const Config *worst_config = nullptr;
    for (const Config &c : configs) {
        const Counts &n = c.builds[build];
        total.runs += n.runs;
        total.ok += n.ok;
        total.failed += n.failed;
        total.silent += n.silent;
        total.other += n.other;
        if (c.probability == 0)
            continue;
        const double disturbed = median_ms(n.ok_us);
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
    std::printf("%s (%s): %u runs, %u status 0 and exact, %u status 255, %u silent, %u other; ",
                label.c_str(), sim.c_str(), total.runs, total.ok, total.failed, total.silent, total.other);
    if (worst_config == nullptr)
        std::printf("no disturbed row with an undisturbed one (P 0) to compare\n");
    else
        std::printf("largest median virtual time, disturbed over undisturbed: %.2f (-%s %s %s %s)\n", worst,
                    worst_config->action->name.c_str(), worst_config->chip.c_str(), worst_config->timing.c_str(),
                    worst_config->level.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: %s [--sim PATH] [--baseline PATH] [--actions m,ipv4,w,p,q,r]\n"
                             "       [--chips ds2431,ds28ec20] [--levels P/MAX,...] [--timings typical,fast,slow,random]\n"
                             "       [--seeds A-B] [--jobs N] [--keep DIR] [--check]\n",
                     argv[0]);
        return 2;
    }
    // The runs start in their own directories: the programs by absolute path.
    for (std::string *sim : {&o.sim, &o.baseline}) {
        if (sim->empty())
            continue;
        char *absolute = realpath(sim->c_str(), nullptr);
        if (absolute == nullptr || access(absolute, X_OK) != 0) {
            std::fprintf(stderr, "%s: not an executable program\n", sim->c_str());
            std::free(absolute);
            return 2;
        }
        *sim = absolute;
        std::free(absolute);
    }
    char base_template[] = "/tmp/idstamp-soak-XXXXXX";
    if (mkdtemp(base_template) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string base = base_template;
    // The work directories go however the sweep ends.
    struct Remove {
        std::string dir;
        ~Remove()
        {
            std::error_code failed;
            std::filesystem::remove_all(dir, failed);
            if (failed)
                std::fprintf(stderr, "could not remove %s: %s\n", dir.c_str(), failed.message().c_str());
        }
    } remove_base{base};
    const bool baseline = !o.baseline.empty();
    const std::string sims[2] = {o.sim, o.baseline};
    std::vector<Slot> slots(o.jobs);
    for (unsigned i = 0; i < o.jobs; ++i) {
        slots[i].dir = base + "/" + std::to_string(i);
        mkdir(slots[i].dir.c_str(), 0755);
    }
    std::error_code made;
    if (!o.keep.empty() && !std::filesystem::create_directories(o.keep, made) && made) {
        std::fprintf(stderr, "%s: %s\n", o.keep.c_str(), made.message().c_str());
        return 2;
    }

    // The chips as the sweeps find them, and each action's undisturbed result.
    std::map<std::string, Bytes> stock;
    std::vector<Config> configs;
    for (const std::string &chip : o.chips) {
        const Outcome s = run_now(o.sim, slots[0].dir, {}, chip, kStockArgs, "", "", 1);
        if (s.status != 0 || s.image.empty()) {
            std::fprintf(stderr, "undisturbed set-up of the %s failed (status %d)\n", chip.c_str(), s.status);
            return 2;
        }
        stock[chip] = s.image;
        if (!o.keep.empty())
            write_file(o.keep + "/stock-" + chip + ".eeprom", s.image);
    }
    for (const std::string &name : o.actions) {
        const Action *action = nullptr;
        for (const Action &a : kActions)
            if (a.name == name)
                action = &a;
        for (const std::string &chip : o.chips) {
            for (const std::string &timing : o.timings) {
                const Outcome want = run_now(o.sim, slots[0].dir, stock[chip], chip, action->args, "", timing, 1);
                if (want.status != 0) {
                    std::fprintf(stderr, "undisturbed -%s on the %s (%s) failed (status %d)\n", name.c_str(),
                                 chip.c_str(), timing.c_str(), want.status);
                    return 2;
                }
                // Both builds are judged against the --sim build's result: the
                // baseline must do the same undisturbed.
                if (baseline) {
                    const Outcome same = run_now(o.baseline, slots[0].dir, stock[chip], chip, action->args, "",
                                                 timing, 1);
                    if (same.status != 0 || same.image != want.image
                        || values_of(same.out, same.log, false) != values_of(want.out, want.log, false)) {
                        std::fprintf(stderr, "undisturbed -%s on the %s (%s): the baseline's result (status %d) "
                                             "differs from --sim's\n",
                                     name.c_str(), chip.c_str(), timing.c_str(), same.status);
                        return 2;
                    }
                }
                for (const std::string &level : o.levels) {
                    Config c;
                    c.action = action;
                    c.chip = chip;
                    c.timing = timing;
                    c.level = level;
                    c.probability = probability_of(level);
                    c.stock = stock[chip];
                    c.want = want;
                    configs.push_back(c);
                    configs.back().want_values[0] = values_of(want.out, want.log, false);
                    configs.back().want_values[1] = values_of(want.out, want.log, true);
                }
            }
        }
    }

    // Every (configuration, seed, build), o.jobs processes at a time.
    const auto started = std::chrono::steady_clock::now();
    size_t next_config = 0;
    unsigned next_seed = o.first_seed, running = 0;
    Build next_build = kSim;
    unsigned long total = 0;
    for (;;) {
        for (Slot &slot : slots) {
            if (slot.pid != 0 || next_config == configs.size())
                continue;
            Config &c = configs[next_config];
            slot.config = &c;
            slot.seed = next_seed;
            slot.build = next_build;
            slot.pid = launch(sims[next_build], slot.dir, c.stock, c.chip, c.action->args, "jitter=" + c.level,
                              c.timing, next_seed, "");
            ++running;
            if (baseline && next_build == kSim) {
                next_build = kBaseline;
                continue;
            }
            next_build = kSim;
            if (next_seed++ == o.last_seed) {
                next_seed = o.first_seed;
                ++next_config;
            }
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
            count(*slot.config, slot.build, slot.seed, collect(slot.dir, wstatus));
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // With a baseline, each configuration has a row for each build.
    std::printf("| action | chip | timing | jitter P/MAX |%s runs | status 0, exact | status 255 | silent | other "
                "| disturbed and exact | median ms, exact | silent seeds |\n",
                baseline ? " build |" : "");
    std::printf("|---|---|---|---|%s---:|---:|---:|---:|---:|---:|---:|---|\n", baseline ? "---|" : "");
    bool broken = false;
    for (const Config &c : configs) {
        for (Build build : {kSim, kBaseline}) {
            if (build == kBaseline && !baseline)
                continue;
            const Counts &n = c.builds[build];
            std::string seeds;
            for (unsigned s : n.silent_seeds)
                seeds += (seeds.empty() ? "" : " ") + std::to_string(s);
            for (unsigned s : n.other_seeds)
                seeds += (seeds.empty() ? "" : " ") + std::string("other:") + std::to_string(s);
            const std::string build_cell = baseline ? std::string(" ") + kBuildNames[build] + " |" : "";
            std::printf("| -%s | %s | %s | %s |%s %u | %u | %u | %u | %u | %u | %s | %s |\n",
                        c.action->name.c_str(), c.chip.c_str(), c.timing.c_str(), c.level.c_str(),
                        build_cell.c_str(), n.runs, n.ok, n.failed, n.silent, n.other, n.disturbed_ok,
                        ms_text(median_ms(n.ok_us)).c_str(), seeds.c_str());
        }
        // Only the --sim build is judged; an undisturbed level cannot have a
        // disturbed run that succeeded.
        const Counts &n = c.builds[kSim];
        broken = broken || n.silent != 0 || n.other != 0 || (c.probability > 0 && n.disturbed_ok == 0);
    }
    std::printf("\n%lu runs in %.1f s with %u jobs (%.0f runs/s); seeds %u-%u\n", total, seconds, o.jobs,
                total / seconds, o.first_seed, o.last_seed);
    print_summary(configs, kSim, baseline ? kBuildNames[kSim] : "idstamp-sim", o.sim);
    if (baseline)
        print_summary(configs, kBaseline, kBuildNames[kBaseline], o.baseline);

    // Each silent run again, with a trace.
    for (const Config &c : configs) {
        for (Build build : {kSim, kBaseline}) {
            for (unsigned seed : c.builds[build].silent_seeds) {
                const std::string name = c.action->name + "-" + c.chip + "-" + c.timing + "-"
                                         + std::regex_replace(c.level, std::regex("/"), "_") + "-"
                                         + std::to_string(seed) + (build == kBaseline ? "-unguarded" : "");
                std::printf("silent%s: IDSTAMP_SIM_CHIP_TIMING=%s IDSTAMP_SIM_FAULTS=jitter=%s "
                            "IDSTAMP_SIM_SEED=%u %s%s  (on the stocked %s)\n",
                            baseline ? (std::string(" (") + kBuildNames[build] + ")").c_str() : "",
                            c.timing.c_str(), c.level.c_str(), seed,
                            baseline ? sims[build].c_str() : "idstamp-sim", quoted(c.action->args).c_str(),
                            c.chip.c_str());
                if (o.keep.empty())
                    continue;
                const std::string trace = o.keep + "/" + name + ".vcd";
                char *absolute = realpath(o.keep.c_str(), nullptr);
                const std::string trace_path =
                    std::string(absolute != nullptr ? absolute : o.keep.c_str()) + "/" + name + ".vcd";
                std::free(absolute);
                const Outcome r = run_now(sims[build], slots[0].dir, c.stock, c.chip, c.action->args,
                                          "jitter=" + c.level, c.timing, seed, trace_path);
                write_file(o.keep + "/" + name + ".eeprom", r.image);
                write_file(o.keep + "/" + name + ".want.eeprom", c.want.image);
                write_file(o.keep + "/" + name + ".out", read_file(slots[0].dir + "/out"));
                std::printf("  kept %s (.vcd, .out, .eeprom, .want.eeprom); replayed status %d\n", trace.c_str(),
                            r.status);
            }
        }
    }
    if (o.check && broken) {
        std::printf("check failed (%s): a silent run, an unexpected status, or no disturbed run that succeeded\n",
                    o.sim.c_str());
        return 1;
    }
    return 0;
}
