// Starting and ending a run: the board and the host side around it, created
// together and wired by the board's hooks.
#include <sys/mman.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sim/host/host.h"
#include "sim/host/image_file.h"
#include "sim/run.h"

namespace sim {
namespace detail {

Host *g_host = nullptr;

namespace {

struct Run {
    explicit Run(const Config &config) : board(config), host(board.config) {}
    Board board;
    Host host;
};

std::unique_ptr<Run> g_run;

void release_run()
{
    if (!g_run)
        return;
    g_run->host.trace.close(g_run->board.now);
    if (g_run->host.window != nullptr)
        munmap(g_run->host.window, kWindowSize);
    g_board = nullptr;
    g_host = nullptr;
    g_run.reset();
}

// The whole memory is saved each time: a later save that succeeds makes up
// for one that failed.
void save_memory(void *context, const std::vector<uint8_t> &memory)
{
    Host &h = *static_cast<Host *>(context);
    if (h.config.image_path.empty())
        return;
    std::string error;
    h.image_behind = !save_image(h.config.image_path, memory, error);
    if (h.image_behind)
        std::fprintf(stderr, "%s\n", error.c_str());
}

uint64_t monotonic_ns()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// The host's clock since the run started: where the board's now begins.
uint64_t g_host_clock_start = 0;

uint64_t host_clock_ns(void *)
{
    return monotonic_ns() - g_host_clock_start;
}

void trace_line(void *context, uint64_t at_ns, Wire wire, bool level)
{
    static_cast<Host *>(context)->trace.change(at_ns, static_cast<VcdTrace::Wire>(wire), level);
}

} // namespace

void start_default()
{
    start(Config{});
}

} // namespace detail

void start(const Config &config)
{
    using namespace detail;
    release_run();
    g_run = std::make_unique<Run>(config);
    Board &b = g_run->board;
    Host &h = g_run->host;
    b.hooks.context = &h;
    b.hooks.memory_changed = save_memory;
    if (!config.trace_path.empty()) {
        if (h.trace.open(config.trace_path, b.line_high, config.clock == Clock::host))
            b.hooks.line_changed = trace_line;
        else
            std::fprintf(stderr, "idstamp-sim: %s: %s\n", config.trace_path.c_str(), std::strerror(errno));
    }
    if (config.clock == Clock::host) {
        b.hooks.clock_ns = host_clock_ns;
        g_host_clock_start = monotonic_ns();
    }
    g_board = &b;
    g_host = &h;
}

void finish()
{
    detail::Board &b = detail::board();
    detail::Host &h = detail::host();
    if (h.finished)
        return;
    h.finished = true;
    b.save_pending_memory(); // a run that ended while the chip was programming
    b.refresh_stats();
    h.trace.close(b.now);
    detail::write_gap_profile(b);
    detail::write_report(b);
}

bool image_saved()
{
    return !detail::host().image_behind;
}

int exit_status(int tool_status)
{
    if (image_saved())
        return tool_status;
    std::fprintf(stderr, "idstamp-sim: %s: not saved: the image lacks the chip's last changes (exit status %d)\n",
                 detail::host().config.image_path.c_str(), kImageNotSaved);
    return kImageNotSaved;
}

bool started()
{
    return detail::g_board != nullptr;
}

} // namespace sim
