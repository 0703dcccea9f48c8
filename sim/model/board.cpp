// Starting and ending a run of the board, and what tests may look at.
#include "sim/model/board.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace sim {
namespace detail {

Board *g_board = nullptr;

namespace {

std::unique_ptr<Board> g_owner;

// Serial number of a chip started without one, in bus order.
constexpr uint8_t kDefaultSerial[6] = {0x9C, 0x3E, 0x6B, 0x0D, 0x00, 0x00};

void release_board()
{
    if (!g_owner)
        return;
    g_owner->trace.close(g_owner->now);
    if (g_owner->window != nullptr)
        munmap(g_owner->window, kWindowSize);
    g_board = nullptr;
    g_owner.reset();
}

} // namespace

void start_default()
{
    start(Config{});
}

void Board::misuse(const std::string &what)
{
    ++stats.misuses;
    misuses.push_back(what);
}

void Board::refresh_stats()
{
    stats.virtual_ns = now;
    stats.bus_busy_ns = busy_closed_ns + (dir_open ? now - busy_since : 0);
}

} // namespace detail

void start(const Config &config)
{
    using namespace detail;
    release_board();
    g_owner = std::make_unique<Board>();
    Board &b = *g_owner;
    b.config = config;
    const bool big = config.chip == Chip::ds28ec20;
    b.memory_size = big ? 2624 : 144;
    b.pad_size = big ? 32 : 8;
    b.memory = config.memory;
    b.memory.resize(b.memory_size, 0xFF);

    if (config.rom.size() == 8) {
        std::copy(config.rom.begin(), config.rom.end(), b.rom.begin());
    } else {
        if (config.rom.size() == 7) {
            std::copy(config.rom.begin(), config.rom.end(), b.rom.begin());
        } else {
            b.rom[0] = big ? 0x43 : 0x2D;
            std::copy(std::begin(kDefaultSerial), std::end(kDefaultSerial), b.rom.begin() + 1);
        }
        b.rom[7] = crc8(b.rom.data(), 7);
    }

    // Power-up: nothing valid in the scratchpad yet.
    b.e = static_cast<unsigned>(b.pad_size - 1);
    b.pad.fill(0xFF);
    b.pf = true;

    const Faults &f = config.faults;
    b.stuck_low = f.stuck_low;
    b.line_high = !f.stuck_low;
    b.mode = f.absent ? Mode::off : Mode::idle;
    b.power_gone = f.power_loss == 0;
    b.rom_crc_left = f.rom_crc;
    b.rom_good_left = f.rom_crc_after;
    b.read_flip_left = f.read_flip;
    b.copy_fail_left = f.copy_fail;
    b.jitter_on = f.jitter_p > 0.0 && f.jitter_max_us > 0;
    b.jitter_threshold = f.jitter_p >= 1.0 ? UINT64_MAX : static_cast<uint64_t>(f.jitter_p * 18446744073709551616.0);
    b.rng = f.seed;
    b.access_hook = b.jitter_on;
    b.stretch_on = f.stretch_count != 0;

    if (!config.trace_path.empty() && !b.trace.open(config.trace_path, b.line_high))
        std::fprintf(stderr, "idstamp-sim: %s: %s\n", config.trace_path.c_str(), std::strerror(errno));
    g_board = &b;
}

void finish()
{
    detail::Board &b = detail::board();
    if (b.finished)
        return;
    b.finished = true;
    b.refresh_stats();
    b.trace.close(b.now);
    detail::write_report(b);
}

bool image_saved()
{
    return !detail::board().image_behind;
}

int exit_status(int tool_status)
{
    if (image_saved())
        return tool_status;
    std::fprintf(stderr, "idstamp-sim: %s: not saved: the image lacks the chip's last changes (exit status %d)\n",
                 detail::board().config.image_path.c_str(), kImageNotSaved);
    return kImageNotSaved;
}

bool started()
{
    return detail::g_board != nullptr;
}

const Stats &stats()
{
    detail::Board &b = detail::board();
    b.refresh_stats();
    return b.stats;
}

uint64_t now_ns()
{
    return detail::board().now;
}

const std::vector<uint8_t> &memory()
{
    return detail::board().memory;
}

const std::array<uint8_t, 8> &rom()
{
    return detail::board().rom;
}

const std::vector<std::string> &syslog_lines()
{
    return detail::board().syslog_lines;
}

const std::vector<std::string> &misuse_log()
{
    return detail::board().misuses;
}

const std::vector<SchedCall> &sched_calls()
{
    return detail::board().sched_calls;
}

const std::vector<OpenlogCall> &openlog_calls()
{
    return detail::board().openlog_calls;
}

uint8_t *window()
{
    return detail::board().window;
}

void record_pulses()
{
    detail::Board &b = detail::board();
    b.recording = true;
    b.pulses.clear();
}

const std::vector<Pulse> &pulses()
{
    return detail::board().pulses;
}

void set_tx_tamper(TxTamper tamper)
{
    detail::board().tamper = std::move(tamper);
}

} // namespace sim
