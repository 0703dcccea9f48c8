// The chip at bit level, driven only by the line's edges and its own timers:
// a low of 480 us or more is a reset, answered by a presence pulse; shorter
// lows are time slots. In a write slot the chip takes the level some time
// after the falling edge; in a read slot it holds the line low for a while to
// send a 0 and leaves it alone for a 1 (Config::timing says how long each is).
// Bytes go least significant bit first.
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
        phase = Phase::rom_command;
        set_chip_low(false);
        break;
    case EventKind::program_end:
        save_pending_memory();
        start_tx(Phase::copy_confirm);
        break;
    }
}

void Board::chip_fall()
{
    low_seen = true;
    low_since = now;
    tx_slot = false;
    if (mode == Mode::tx) {
        tx_slot = true;
        if (tx_bits == 0)
            tx_byte = next_tx_byte();
        const bool one = ((tx_byte >> tx_bits) & 1u) != 0;
        if (++tx_bits == 8) {
            tx_bits = 0;
            ++stats.bytes;
            tx_byte_done();
        }
        if (!one) {
            set_chip_low(true);
            schedule(now + config.timing.read0_hold_ns, EventKind::tx_release);
        }
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
        go_idle();
        return;
    }
    // A slot, not a reset: counted once its low has ended.
    if (tx_slot || mode == Mode::rx)
        ++stats.slots;
    if (tx_slot || mode != Mode::rx)
        return;
    // Sampled a while after the falling edge: still low means a 0.
    if (low <= config.timing.write_sample_ns)
        rx_byte = static_cast<uint8_t>(rx_byte | (1u << rx_bits));
    if (++rx_bits == 8) {
        const uint8_t value = rx_byte;
        rx_byte = 0;
        rx_bits = 0;
        ++stats.bytes;
        byte_received(value);
    }
}

void Board::chip_reset()
{
    // A reset inside a byte of Write Scratchpad leaves a partial byte.
    if (rx_bits != 0 && (phase == Phase::write_scratchpad_address || phase == Phase::write_scratchpad_data))
        pf = true;
    rx_byte = 0;
    rx_bits = 0;
    tx_bits = 0;
    tx_slot = false;
    if (power_gone) {
        mode = Mode::off;
        return;
    }
    ++stats.resets;
    ++transaction;
    mode = Mode::presence;
    phase = Phase::rom_command;
    command = 0;
    presence_window_end = now + config.timing.presence_delay_ns + config.timing.presence_low_ns;
    schedule(now + config.timing.presence_delay_ns, EventKind::presence_start);
}

void Board::go_idle()
{
    mode = Mode::idle;
    rx_bits = 0;
    tx_bits = 0;
}

void Board::start_tx(Phase next)
{
    mode = Mode::tx;
    phase = next;
    tx_bits = 0;
    tx_index = 0;
}

} // namespace detail
} // namespace sim
