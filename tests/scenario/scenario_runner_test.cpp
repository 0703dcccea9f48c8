// Runs every scenario in tests/scenarios as its own test: idstamp-sim as a
// process, on a board set up as the scenario says, then its exit status,
// standard output, system-log lines, report and resulting image compared
// with the scenario's expectations.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "scenario_file.h"

extern char **environ;

namespace {

std::string read_file(const std::string &path, bool *exists = nullptr)
{
    std::ifstream in(path, std::ios::binary);
    if (exists != nullptr)
        *exists = static_cast<bool>(in);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    std::string syslog;
    std::string report;
    bool image_exists = false;
    std::vector<uint8_t> image;
};

std::vector<uint8_t> initial_image(const Scenario &s)
{
    std::vector<uint8_t> image(chip_memory_size(s.chip), 0xFF);
    for (const auto &[address, bytes] : s.initial_bytes)
        for (size_t i = 0; i < bytes.size() && address + i < image.size(); i++)
            image[address + i] = bytes[i];
    return image;
}

// Runs idstamp-sim in a fresh directory.
RunResult run(const Scenario &s, const std::string &seed)
{
    char dir_template[] = "/tmp/idstamp-scenario-XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    const std::string image_path = dir + "/board.eeprom";
    if (s.has_image) {
        std::vector<uint8_t> image = initial_image(s);
        std::ofstream(image_path, std::ios::binary).write(reinterpret_cast<const char *>(image.data()),
                                                          static_cast<std::streamsize>(image.size()));
    }

    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; e++)
        if (std::string(*e).rfind("IDSTAMP_SIM_", 0) != 0)
            env.emplace_back(*e);
    env.push_back("IDSTAMP_SIM_EEPROM=" + image_path);
    env.push_back("IDSTAMP_SIM_SYSLOG=" + dir + "/syslog");
    env.push_back("IDSTAMP_SIM_REPORT=" + dir + "/report");
    env.push_back("IDSTAMP_SIM_CHIP=" + s.chip);
    if (!s.faults.empty())
        env.push_back("IDSTAMP_SIM_FAULTS=" + s.faults);
    if (!s.rom.empty())
        env.push_back("IDSTAMP_SIM_ROM=" + s.rom);
    if (!seed.empty())
        env.push_back("IDSTAMP_SIM_SEED=" + seed);

    std::vector<std::string> argv;
    const std::string emulator = IDSTAMP_TEST_EMULATOR;
    std::istringstream words(emulator);
    for (std::string w; words >> w;)
        argv.push_back(w);
    argv.push_back(IDSTAMP_SIM_PATH);
    argv.insert(argv.end(), s.args.begin(), s.args.end());

    std::vector<char *> cargv;
    for (auto &a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<char *> cenv;
    for (auto &e : env)
        cenv.push_back(e.data());
    cenv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(120);
        const int out = open((dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open((dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        execvpe(cargv[0], cargv.data(), cenv.data()); // the emulator is found on PATH
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);

    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 1000 + WTERMSIG(wstatus);
    r.out = read_file(dir + "/stdout");
    r.err = read_file(dir + "/stderr");
    r.syslog = read_file(dir + "/syslog");
    r.report = read_file(dir + "/report");
    const std::string image = read_file(image_path, &r.image_exists);
    r.image.assign(image.begin(), image.end());
    std::string cleanup = "rm -rf '" + dir + "'";
    if (std::system(cleanup.c_str()) != 0)
        ADD_FAILURE() << "could not remove " << dir;
    return r;
}

std::string mask_pointer(const std::string &out)
{
    static const std::regex pointer("IMMR mapped to [^\n]*\n");
    return std::regex_replace(out, pointer, "IMMR mapped to <ptr>\n");
}

std::vector<uint8_t> expected_image(const Scenario &s)
{
    std::vector<uint8_t> image = initial_image(s);
    for (const auto &[page, bytes] : s.expected_pages)
        std::copy(bytes.begin(), bytes.end(), image.begin() + page * 32);
    return image;
}

std::string hex_page(const std::vector<uint8_t> &image, size_t page)
{
    std::ostringstream out;
    for (size_t i = page * 32; i < page * 32 + 32 && i < image.size(); i++)
        out << std::hex << (image[i] >> 4) << (image[i] & 15) << (i % 32 == 31 ? "" : " ");
    return out.str();
}

// The image after the run, a missing file being a new chip.
std::vector<uint8_t> final_image(const Scenario &s, const RunResult &r)
{
    return r.image_exists ? r.image : std::vector<uint8_t>(chip_memory_size(s.chip), 0xFF);
}

void expect_image(const Scenario &s, const RunResult &r)
{
    const std::vector<uint8_t> want = expected_image(s);
    const std::vector<uint8_t> got = final_image(s, r);
    ASSERT_EQ(got.size(), want.size()) << "image size";
    for (size_t page = 0; page * 32 < want.size(); page++)
        EXPECT_EQ(hex_page(got, page), hex_page(want, page)) << "image page " << page;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class ScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScenarioTest, Runs)
{
    Scenario s;
    std::string error;
    ASSERT_TRUE(parse_scenario(std::string(IDSTAMP_SCENARIO_DIR) + "/" + GetParam(), s, error)) << error;
    SCOPED_TRACE(s.description);

    if (s.seed_first != 0) {
        // A disturbed run may fail, but it must never claim success with
        // anything but the intended content.
        unsigned successes = 0;
        unsigned disturbed_successes = 0;
        for (unsigned seed = s.seed_first; seed <= s.seed_last; seed++) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            const RunResult r = run(s, std::to_string(seed));
            ASSERT_TRUE(r.status == 0 || r.status == 255) << "status " << r.status << "\n" << r.err;
            if (r.status == 0) {
                successes++;
                const std::vector<std::string> report = lines_of(r.report);
                disturbed_successes += std::find(report.begin(), report.end(), "timing_violations 0") == report.end();
                expect_image(s, r);
            }
        }
        // A sweep proves something only when disturbed runs got through.
        EXPECT_GT(successes, 0u) << "every run failed: the disturbance is too strong to show anything";
        EXPECT_GT(disturbed_successes, 0u) << "no successful run was disturbed: the disturbance is too weak";
        RecordProperty("successes", static_cast<int>(successes));
        return;
    }

    const RunResult r = run(s, s.seed);
    EXPECT_EQ(r.status, s.exit_status) << "stderr: " << r.err;
    if (s.stdout_text) {
        EXPECT_EQ(mask_pointer(r.out), *s.stdout_text);
    }
    if (s.syslog_lines) {
        EXPECT_EQ(lines_of(r.syslog), *s.syslog_lines);
    }
    const std::vector<std::string> report = lines_of(r.report);
    for (const std::string &line : s.report_lines) {
        EXPECT_NE(std::find(report.begin(), report.end(), line), report.end())
            << "report lacks '" << line << "':\n" << r.report;
    }
    if (s.image_missing_after) {
        EXPECT_FALSE(r.image_exists) << "the run created an image file";
    }
    expect_image(s, r);
}

std::vector<std::string> scenario_files()
{
    std::vector<std::string> files;
    if (DIR *dir = opendir(IDSTAMP_SCENARIO_DIR)) {
        while (dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".scn") == 0)
                files.push_back(name);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string test_name(const ::testing::TestParamInfo<std::string> &info)
{
    std::string name = info.param.substr(0, info.param.size() - 4);
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ScenarioTest);
INSTANTIATE_TEST_SUITE_P(Scenarios, ScenarioTest, ::testing::ValuesIn(scenario_files()), test_name);

} // namespace
