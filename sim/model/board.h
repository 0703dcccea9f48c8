// Inside of the simulated board: the bus (clock, register window, line), the
// chip's side of the line, and the chip on it, in one process-wide Board. The
// model does no file or process I/O: what the host side does with its
// changes (save the image, trace the line) goes through Hooks.
#ifndef IDSTAMP_SIM_MODEL_BOARD_H
#define IDSTAMP_SIM_MODEL_BOARD_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/model/bus.h"
#include "sim/model/chip_side.h"
#include "sim/model/chips/chip.h"
#include "sim/config.h"
#include "sim/test_probes.h"

namespace sim {
namespace detail {

// What the board tells whoever runs it. Each may be null.
struct Hooks {
    void *context = nullptr;
    // The chip programmed memory; memory is all of it as it is now.
    void (*memory_changed)(void *context, const std::vector<uint8_t> &memory) = nullptr;
    // A wire changed level at at_ns.
    void (*line_changed)(void *context, uint64_t at_ns, Wire wire, bool level) = nullptr;
    // The host's clock in nanoseconds since the run started (Clock::host).
    uint64_t (*clock_ns)(void *context) = nullptr;
};

struct Board : Bus, ChipSide {
    // Powers the board up with this set-up: blank or given memory, the ROM,
    // the faults armed.
    explicit Board(const Config &setup);

    Config config;
    ChipDevice chip;
    Stats stats;
    std::vector<std::string> misuses;
    Hooks hooks;

    // registers.cpp: clock and register window.
    void advance(uint64_t to);
    uint32_t counter() const;
    uint32_t word_at(uint32_t offset) const;
    void port_write(uint32_t offset, uint32_t value);

    // preemption.cpp: time the master's accesses lose (jitter, stretches).
    uint64_t jitter_delay();
    uint64_t access_delay();
    uint64_t hooked_access_time(uint64_t to);
    void count_host_gap(uint64_t gap);
    void stretch_fall();
    void stretch_release();
    void arm_stretches(uint32_t k);
    uint64_t take_late();
    // noise.cpp: gaps of a measured noise profile.
    uint64_t noise_delay(uint64_t before);

    // line.cpp: the open-drain line and the timing windows.
    void master_edge(bool low);
    void set_chip_low(bool low);
    void refresh_line();
    void line_sampled();
    void violation(Violation kind);

    // chip_side.cpp: reset, presence, slots and programming, for any chip.
    void schedule(uint64_t at, EventKind kind);
    void run_events(uint64_t until);
    void handle(EventKind kind);
    void chip_fall();
    void chip_rise();
    void chip_reset();
    void chip_next(Next next);

    // board.cpp
    void misuse(const std::string &what);
    void refresh_stats();

    void memory_changed()
    {
        if (hooks.memory_changed != nullptr)
            hooks.memory_changed(hooks.context, chip.memory);
    }
    void save_pending_memory()
    {
        if (save_pending) {
            save_pending = false;
            memory_changed();
        }
    }
    void line_changed(Wire wire, bool level)
    {
        if (hooks.line_changed != nullptr)
            hooks.line_changed(hooks.context, now, wire, level);
    }
};

// The one board; board() starts a default run when nothing was started. The
// run (sim/host/run.cpp) owns the board and sets g_board.
extern Board *g_board;
void start_default();

inline Board &board()
{
    if (__builtin_expect(g_board == nullptr, 0))
        start_default();
    return *g_board;
}

// Fires due chip events, then moves the clock; every access goes through here.
inline void Board::advance(uint64_t to)
{
    if (to >= next_event)
        run_events(to);
    now = to;
}

} // namespace detail
} // namespace sim

#endif
