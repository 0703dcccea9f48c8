// The chip's side of the line, driven only by the line's edges and its own
// timers, the same for every chip: a low of 480 us or more is a reset,
// answered by a presence pulse; shorter lows are time slots. In a write slot
// the chip takes the level some time after the falling edge; in a read slot
// it holds the line low for a while to send a 0 and leaves it alone for a 1
// (Config::timing says how long each is). What the bits mean is the chip's
// (ChipOps).
#include "sim/model/board.h"

#include <algorithm>

namespace sim {
namespace detail {

void Board::schedule(uint64_t at, EventKind kind)
{
    events.push_back(Event{at, kind});
    next_event = std::min(next_event, at);
}

void Board::run_events(uint64_t until)
{
    while (next_event <= until) {
        // Earliest first; a handler may add events of its own.
        auto first = std::min_element(events.begin(), events.end(),
                                       [](const Event &a, const Event &b) { return a.at < b.at; });
        const Event event = *first;
        events.erase(first);
        next_event = kNever;
        for (const Event &other : events)
            next_event = std::min(next_event, other.at);
        now = event.at;
        handle(event.kind);
    }
}

void Board::handle(EventKind kind)
{
    switch (kind) {
    case EventKind::tx_release:
        set_chip_low(false);
        break;
    case EventKind::presence_start:
        ++stats.presence_pulses;
        set_chip_low(true);
        schedule(now + config.timing.presence_low_ns, EventKind::presence_end);
        break;
    case EventKind::presence_end:
        mode = Mode::rx;
        set_chip_low(false);
        break;
    case EventKind::program_end:
        save_pending_memory();
        chip_next(chip.model->ops->programming_done(chip));
        break;
    }
}

// What the chip asked for after a bit. Programming: the host side saves the
// image. On the host's clock it waits for the end of programming: the save
// takes real time, which inside the copy command's last slot would be a
// preemption of the simulation's own.
void Board::chip_next(Next next)
{
    switch (next) {
    case Next::listen:
        mode = Mode::rx;
        break;
    case Next::send:
        mode = Mode::tx;
        break;
    case Next::sleep:
        mode = Mode::idle;
        break;
    case Next::program:
        if (host_clock)
            save_pending = true;
        else
            memory_changed();
        mode = Mode::programming;
        schedule(now + config.tprog_us * kUs, EventKind::program_end);
        break;
    }
}

void Board::chip_fall()
{
    low_seen = true;
    low_since = now;
    tx_slot = false;
    if (mode != Mode::tx)
        return;
    tx_slot = true;
    Next next = Next::send;
    const bool one = chip.model->ops->bit_to_send(chip, next);
    chip_next(next);
    if (!one) {
        set_chip_low(true);
        schedule(now + config.timing.read0_hold_ns, EventKind::tx_release);
    }
}

void Board::chip_rise()
{
    low_seen = false;
    const uint64_t low = now - low_since;
    if (mode == Mode::off || mode == Mode::programming)
        return;
    if (low >= kResetMin) {
        chip_reset();
        return;
    }
    if (low > kBitLowMax) {
        // Neither a bit nor a reset: the chip has lost the thread.
        mode = Mode::idle;
        chip.model->ops->lost(chip);
        return;
    }
    // A slot, not a reset: counted once its low has ended.
    if (tx_slot || mode == Mode::rx)
        ++stats.slots;
    if (tx_slot || mode != Mode::rx)
        return;
    // Sampled a while after the falling edge: still low means a 0.
    chip_next(chip.model->ops->bit_written(chip, low <= config.timing.write_sample_ns));
}

void Board::chip_reset()
{
    tx_slot = false;
    if (!chip.model->ops->reset(chip)) {
        mode = Mode::off;
        return;
    }
    ++stats.resets;
    mode = Mode::presence;
    presence_window_end = now + config.timing.presence_delay_ns + config.timing.presence_low_ns;
    schedule(now + config.timing.presence_delay_ns, EventKind::presence_start);
}

} // namespace detail
} // namespace sim
