// The system calls the tool makes, as the board's kernel would answer them.
// The physical-memory device is never opened: the descriptor is made up and
// the window is an inaccessible anonymous mapping, so the tool can only reach
// the registers through the accessors.
#include "sim/host/host.h"
#include "sim/host/output_paths.h"
#include "sim/seam.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

// Descriptors of the pretend device, well clear of the process's real ones.
constexpr int kFirstFd = 1000;

const char *priority_name(int priority)
{
    static const char *const names[8] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};
    return names[priority & LOG_PRIMASK];
}

const char *facility_name(int facility)
{
    switch (facility) {
    case LOG_KERN: return "kern";
    case LOG_USER: return "user";
    case LOG_MAIL: return "mail";
    case LOG_DAEMON: return "daemon";
    case LOG_AUTH: return "auth";
    case LOG_SYSLOG: return "syslog";
    case LOG_LPR: return "lpr";
    case LOG_NEWS: return "news";
    case LOG_UUCP: return "uucp";
    case LOG_CRON: return "cron";
    case LOG_AUTHPRIV: return "authpriv";
    case LOG_FTP: return "ftp";
    case LOG_LOCAL0: return "local0";
    case LOG_LOCAL1: return "local1";
    case LOG_LOCAL2: return "local2";
    case LOG_LOCAL3: return "local3";
    case LOG_LOCAL4: return "local4";
    case LOG_LOCAL5: return "local5";
    case LOG_LOCAL6: return "local6";
    case LOG_LOCAL7: return "local7";
    default: return "unknown";
    }
}

} // namespace

int mem_open(const char *path, int flags)
{
    detail::Board &b = detail::board();
    detail::Host &h = detail::host();
    if (path == nullptr || std::strcmp(path, "/dev/mem") != 0) {
        errno = ENOENT;
        return -1;
    }
    if (h.config.faults.devmem_eacces) {
        errno = EACCES;
        return -1;
    }
    if (flags != (O_RDWR | O_SYNC)) {
        char text[64];
        std::snprintf(text, sizeof text, "/dev/mem opened with flags 0x%x", static_cast<unsigned>(flags));
        b.misuse(text);
    }
    ++b.stats.devmem_opens;
    const int fd = kFirstFd + h.next_fd++;
    h.open_fds.push_back(fd);
    return fd;
}

void *mem_map(void *hint, size_t length, int prot, int flags, int fd, int64_t offset)
{
    detail::Host &h = detail::host();
    if (h.config.faults.mmap_fail) {
        errno = EPERM;
        return MAP_FAILED;
    }
    const bool fd_open = std::find(h.open_fds.begin(), h.open_fds.end(), fd) != h.open_fds.end();
    if (hint != nullptr || length != kWindowSize || prot != (PROT_READ | PROT_WRITE) || flags != MAP_SHARED
        || !fd_open || offset != static_cast<int64_t>(kWindowPhys)) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    if (h.window == nullptr) {
        void *area = mmap(nullptr, kWindowSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED)
            return MAP_FAILED;
        h.window = static_cast<uint8_t *>(area);
    }
    return h.window;
}

int mem_close(int fd)
{
    detail::Board &b = detail::board();
    detail::Host &h = detail::host();
    const auto it = std::find(h.open_fds.begin(), h.open_fds.end(), fd);
    if (it == h.open_fds.end()) {
        b.misuse("close of descriptor " + std::to_string(fd) + ", which is not open");
        errno = EBADF;
        return -1;
    }
    h.open_fds.erase(it);
    ++b.stats.devmem_closes;
    return 0;
}

unsigned sleep_seconds(unsigned seconds)
{
    detail::Board &b = detail::board();
    b.stats.sleep_seconds += seconds;
    if (b.config.clock == Clock::virtual_time) {
        b.advance(b.now + static_cast<uint64_t>(seconds) * 1000000000ull);
        return 0;
    }
    if (!b.config.real_sleep) {
        b.stats.sleep_seconds_skipped += seconds;
        return 0;
    }
    return ::sleep(seconds);
}

int sched_priority_max(int policy)
{
    // On the host's clock the kernel's own answer: the class is really taken.
    if (detail::host().config.clock == Clock::host)
        return ::sched_get_priority_max(policy);
    switch (policy) {
    case SCHED_RR:
    case SCHED_FIFO:
        return 99;
    case SCHED_OTHER:
    case SCHED_BATCH:
    case SCHED_IDLE:
        return 0;
    default:
        errno = EINVAL;
        return -1;
    }
}

int sched_set(int pid, int policy, int priority)
{
    detail::Host &h = detail::host();
    h.sched_calls.push_back(SchedCall{pid, policy, priority});
    const int max = sched_priority_max(policy);
    const int min = max > 0 ? 1 : 0;
    if (max < 0 || priority < min || priority > max) {
        errno = EINVAL;
        return -1;
    }
    if (h.config.faults.sched_eperm) {
        errno = EPERM;
        return -1;
    }
    if (h.config.clock == Clock::host) {
        sched_param param{};
        param.sched_priority = priority;
        return ::sched_setscheduler(pid, policy, &param);
    }
    return 0;
}

void openlog(const char *ident, int option, int facility)
{
    detail::Host &h = detail::host();
    h.log_ident = ident != nullptr ? ident : "";
    h.log_facility = facility;
    h.log_opened = true;
    h.openlog_calls.push_back(OpenlogCall{h.log_ident, option, facility});
    if (h.config.syslog_to_host) {
        // The host's openlog keeps the pointer: give it one that lives on.
        static std::string host_ident;
        host_ident = h.log_ident;
        ::openlog(host_ident.c_str(), option, facility);
    }
}

void syslog(int priority, const std::string &message)
{
    detail::Board &b = detail::board();
    detail::Host &h = detail::host();
    if (!h.log_opened)
        b.misuse("syslog before openlog: " + message);
    int facility = priority & LOG_FACMASK;
    if (facility == 0)
        facility = h.log_facility != 0 ? h.log_facility : LOG_USER;
    std::string line = std::string(facility_name(facility)) + "." + priority_name(priority) + " "
                       + (h.log_opened ? h.log_ident : "idstamp-sim") + ": " + message;
    if (detail::is_standard_error(h.config.syslog_path)) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    } else if (!h.config.syslog_path.empty()) {
        if (std::FILE *file = std::fopen(h.config.syslog_path.c_str(), "a")) {
            std::fprintf(file, "%s\n", line.c_str());
            detail::close_output(file, h.config.syslog_path);
        } else {
            std::fprintf(stderr, "idstamp-sim: %s: %s\n", h.config.syslog_path.c_str(), std::strerror(errno));
        }
    }
    if (h.config.syslog_to_host)
        ::syslog(priority, "%s", message.c_str());
    // The tool's warning about disturbed slots goes into the report too.
    unsigned long slots = 0;
    unsigned long reruns = 0;
    if ((priority & LOG_PRIMASK) == LOG_WARNING
        && std::sscanf(message.c_str(), "%lu disturbed 1-Wire time slots, %lu re-runs", &slots, &reruns) == 2) {
        b.stats.tool_disturbed_slots = slots;
        b.stats.tool_reruns = reruns;
    }
    h.syslog_lines.push_back(std::move(line));
}

// What the tool did through these calls, for tests.

const std::vector<std::string> &syslog_lines()
{
    return detail::host().syslog_lines;
}

const std::vector<SchedCall> &sched_calls()
{
    return detail::host().sched_calls;
}

const std::vector<OpenlogCall> &openlog_calls()
{
    return detail::host().openlog_calls;
}

uint8_t *window()
{
    return detail::host().window;
}

} // namespace sim
