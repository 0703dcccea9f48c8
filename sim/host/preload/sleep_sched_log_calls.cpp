// The machine seam's other C library calls, interposed: sleep, the
// scheduling calls and the system log go to the board, their arguments
// checked to be exactly the board's (scheduling, log identity); any other
// argument ends the run as a test error. Calls the board makes itself pass
// through to the C library.
#include <sched.h>
#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/host/preload/interpose.h"
#include "sim/seam.h"

using preload::g_in_board;
using preload::InBoard;
using preload::real;
using preload::test_error;

namespace {

int g_max_priority = -1; // what sched_get_priority_max(SCHED_RR) answered

std::string formatted(const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    return text.data();
}

void log_line(int priority, const char *format, va_list args)
{
    const std::string text = formatted(format, args);
    const InBoard in_board;
    sim::syslog(priority, text);
}

} // namespace

// The fortified log calls are not declared by the headers of a plain build.
extern "C" void __syslog_chk(int priority, int flag, const char *format, ...);
extern "C" void __vsyslog_chk(int priority, int flag, const char *format, va_list args);

extern "C" {

unsigned int sleep(unsigned int seconds)
{
    if (g_in_board)
        return real<unsigned int (*)(unsigned int)>("sleep")(seconds);
    const InBoard in_board;
    return sim::sleep_seconds(seconds);
}

int sched_get_priority_max(int policy) noexcept
{
    if (g_in_board)
        return real<int (*)(int)>("sched_get_priority_max")(policy);
    if (policy != SCHED_RR)
        test_error("sched_get_priority_max(%d): expected SCHED_RR (%d)", policy, SCHED_RR);
    const InBoard in_board;
    g_max_priority = sim::sched_priority_max(policy);
    return g_max_priority;
}

int sched_setscheduler(pid_t pid, int policy, const struct sched_param *param) noexcept
{
    if (g_in_board)
        return real<int (*)(pid_t, int, const struct sched_param *)>("sched_setscheduler")(pid, policy, param);
    if (pid != 0 || policy != SCHED_RR || param == nullptr || g_max_priority < 0
        || param->sched_priority != g_max_priority)
        test_error("sched_setscheduler(%d, %d, priority %d): expected (0, SCHED_RR, priority %d from "
                   "sched_get_priority_max(SCHED_RR))",
                   static_cast<int>(pid), policy, param != nullptr ? param->sched_priority : -1, g_max_priority);
    const InBoard in_board;
    return sim::sched_set(pid, policy, param->sched_priority);
}

void openlog(const char *ident, int option, int facility)
{
    if (g_in_board) {
        real<void (*)(const char *, int, int)>("openlog")(ident, option, facility);
        return;
    }
    if (ident == nullptr || std::strcmp(ident, "##### IDSTAMP") != 0 || option != (LOG_CONS | LOG_NDELAY)
        || facility != LOG_USER)
        test_error("openlog(\"%s\", 0x%x, %d): expected (\"##### IDSTAMP\", LOG_CONS | LOG_NDELAY, LOG_USER)",
                   ident != nullptr ? ident : "(null)", static_cast<unsigned>(option), facility);
    const InBoard in_board;
    sim::openlog(ident, option, facility);
}

void vsyslog(int priority, const char *format, va_list args)
{
    if (g_in_board) {
        real<void (*)(int, const char *, va_list)>("vsyslog")(priority, format, args);
        return;
    }
    log_line(priority, format, args);
}

void syslog(int priority, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}

void __vsyslog_chk(int priority, int flag, const char *format, va_list args)
{
    if (g_in_board) {
        real<void (*)(int, int, const char *, va_list)>("__vsyslog_chk")(priority, flag, format, args);
        return;
    }
    log_line(priority, format, args);
}

void __syslog_chk(int priority, int flag, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    __vsyslog_chk(priority, flag, format, args);
    va_end(args);
}

} // extern "C"
