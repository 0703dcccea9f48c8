// The board coming up with its set-up, and what tests may look at on it.
#include "sim/model/board.h"

namespace sim {
namespace detail {

Board *g_board = nullptr;

Board::Board(const Config &setup) : config(setup)
{
    power_up(chip, config);

    const Faults &f = config.faults;
    stuck_low = f.stuck_low;
    line_high = !f.stuck_low;
    mode = f.absent ? Mode::off : Mode::idle;
    jitter_on = f.jitter_p > 0.0 && f.jitter_max_us > 0;
    jitter_threshold = f.jitter_p >= 1.0 ? UINT64_MAX : static_cast<uint64_t>(f.jitter_p * 18446744073709551616.0);
    rng = f.seed;
    host_clock = config.clock == Clock::host;
    if (host_clock && !config.gaps_path.empty())
        host_gap_buckets.assign(1025, 0);
    noise.start(f.noise, f.seed);
    access_hook = jitter_on || host_clock || noise.on;
    stretch_on = f.stretch_count != 0;
}

void Board::misuse(const std::string &what)
{
    ++stats.misuses;
    misuses.push_back(what);
}

void Board::refresh_stats()
{
    stats.virtual_ns = now;
    stats.bytes = chip.bytes;
    stats.copies = chip.copies;
    stats.bus_busy_ns = busy_closed_ns + (dir_open ? now - busy_since : 0);
}

} // namespace detail

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
    return detail::board().chip.memory;
}

const std::array<uint8_t, 8> &rom()
{
    return detail::board().chip.rom;
}

const std::vector<std::string> &misuse_log()
{
    return detail::board().misuses;
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
    detail::board().chip.tamper = std::move(tamper);
}

} // namespace sim
