// The board coming up with its set-up, and what tests may look at on it.
#include "sim/model/board.h"

#include <algorithm>
#include <iterator>

#include "sim/crc.h"

namespace sim {
namespace detail {

Board *g_board = nullptr;

namespace {

// Serial number of a chip started without one, in bus order.
constexpr uint8_t kDefaultSerial[6] = {0x9C, 0x3E, 0x6B, 0x0D, 0x00, 0x00};

} // namespace

Board::Board(const Config &setup) : config(setup)
{
    const bool big = config.chip == Chip::ds28ec20;
    memory_size = big ? 2624 : 144;
    pad_size = big ? 32 : 8;
    memory = config.memory;
    memory.resize(memory_size, 0xFF);

    if (config.rom.size() == 8) {
        std::copy(config.rom.begin(), config.rom.end(), rom.begin());
    } else {
        if (config.rom.size() == 7) {
            std::copy(config.rom.begin(), config.rom.end(), rom.begin());
        } else {
            rom[0] = big ? 0x43 : 0x2D;
            std::copy(std::begin(kDefaultSerial), std::end(kDefaultSerial), rom.begin() + 1);
        }
        rom[7] = crc8(rom.data(), 7);
    }

    // Power-up: nothing valid in the scratchpad yet.
    e = static_cast<unsigned>(pad_size - 1);
    pad.fill(0xFF);
    pf = true;

    const Faults &f = config.faults;
    stuck_low = f.stuck_low;
    line_high = !f.stuck_low;
    mode = f.absent ? Mode::off : Mode::idle;
    power_gone = f.power_loss == 0;
    rom_crc_left = f.rom_crc;
    rom_good_left = f.rom_crc_after;
    read_flip_left = f.read_flip;
    copy_fail_left = f.copy_fail;
    short_fill_left = f.short_fill;
    whole_fill_left = f.short_fill_after;
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
    return detail::board().memory;
}

const std::array<uint8_t, 8> &rom()
{
    return detail::board().rom;
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
    detail::board().tamper = std::move(tamper);
}

} // namespace sim
