// The whole tool in-process on a fresh simulated board per input: two header
// bytes choose the board (see fuzz_board.h), the rest split on NUL bytes is
// the argument vector after the program name.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/idstamp.h"
#include "fuzz/fuzz_board.h"
#include "fuzz/split_on_nul.h"
#include "sim/test_probes.h"

namespace {

// More arguments than options (twelve, eight with a value) only add parse
// errors; the cap keeps every run short.
constexpr size_t kMaxArguments = 32;

const char kIdentity[] = " ##### IDSTAMP: ";

// The one warning a run may log, last, when slots were disturbed.
bool disturbed_slots_line(const std::string &line)
{
    unsigned slots = 0, reruns = 0;
    char end = 0;
    const std::string prefix = std::string("user.warning") + kIdentity;
    if (line.rfind(prefix, 0) != 0)
        return false;
    return std::sscanf(line.c_str() + prefix.size(), "%u disturbed 1-Wire time slots, %u re-runs%c", &slots,
                       &reruns, &end)
               == 2
           && slots > 0;
}

// Every system log line is a notice or an error under the tool's identity,
// but for the disturbed-slots warning on a board whose faults break slots;
// and a run that ends with 0 gave nothing up but, at most, the ROM report.
void check_syslog(const fuzz::Board &board, int result)
{
    const std::vector<std::string> &lines = sim::syslog_lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        const bool notice = line.rfind(std::string("user.notice") + kIdentity, 0) == 0;
        const bool error = line.rfind(std::string("user.err") + kIdentity, 0) == 0;
        if (disturbed_slots_line(line)) {
            if (!board.timing_disturbed)
                fuzz::fail("disturbed slots on an undisturbed line: " + line);
            if (i + 1 != lines.size())
                fuzz::fail("the disturbed-slots warning is not the run's last line: " + line);
            continue;
        }
        if (!notice && !error)
            fuzz::fail("system log line of the wrong kind: " + line);
        if (error && result == 0 && line.find("Unable to read 1-wire 64 bits ROM") == std::string::npos)
            fuzz::fail("exit status 0 after a give-up: " + line);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const fuzz::Board board = fuzz::board_from_header(data, size);
    std::vector<std::string> arguments = fuzz::split_on_nul(data, size, kMaxArguments);

    // The tool keeps pointers into its argument vector, as into a real one.
    std::string program = "idstamp";
    std::vector<char *> argv{program.data()};
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    fuzz::start_run(board.config);
    const int result = idstamp_main(static_cast<int>(argv.size() - 1), argv.data());
    if (result != 0 && result != -1)
        fuzz::fail("idstamp_main returned " + std::to_string(result));
    fuzz::check_board(board);
    check_syslog(board, result);
    return 0;
}
