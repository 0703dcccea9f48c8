// The open-drain 1-Wire line: low while the master, the chip or a short pulls
// it. The master's edges are checked here against the chip's timing windows;
// the chip itself only sees the line's level (chip.cpp).
#include "sim/model/board.h"

namespace sim {
namespace detail {

// The kinds name the windows at the checks; the report counts them together.
void Board::violation(Violation)
{
    ++stats.violations;
}

void Board::master_edge(bool low)
{
    if (low) {
        ++stats.master_edges;
        line_sampled(); // a read slot never sampled before the next edge is late too
        if (line_high && had_rise && now - last_rise_at < kRecoveryMin)
            violation(Violation::recovery);
        if (prev_low_was_slot && now - master_fall_at < kSlotMin)
            violation(Violation::short_slot);
        if (now < presence_window_end)
            violation(Violation::edge_in_presence);
        if (mode == Mode::programming)
            violation(Violation::edge_in_programming);
        master_fall_at = now;
        if (__builtin_expect(stretch_on, 0))
            stretch_fall();
        master_low = true;
        line_changed(Wire::master, true);
        const bool seen = line_high;
        refresh_line();
        if (seen)
            chip_fall();
        return;
    }

    master_low = false;
    line_changed(Wire::master, false);
    const uint64_t held = now - master_fall_at;
    if (recording)
        pulses.push_back(Pulse{master_fall_at, now});
    const bool slot = held <= kBitLowMax;
    if (!slot && held < kResetMin)
        violation(Violation::neither_bit_nor_reset);
    if (slot && tx_slot && held > kWrite1LowMax)
        violation(Violation::long_read_low);
    awaiting_sample = slot && tx_slot && held <= kWrite1LowMax;
    if (slot && !tx_slot && held > kWrite1LowMax && held < kWrite0LowMin)
        violation(Violation::ambiguous_write);
    prev_low_was_slot = slot;
    refresh_line();
}

// The master reads the port. The first read after it let go of a read slot is
// its sample of the bit: a chip may end its 0 just after 15 us.
void Board::line_sampled()
{
    if (!awaiting_sample)
        return;
    awaiting_sample = false;
    if (now - master_fall_at > kReadSampleMax)
        violation(Violation::late_read_sample);
}

void Board::set_chip_low(bool low)
{
    chip_low = low;
    line_changed(Wire::chip, low);
    refresh_line();
    // The chip lets go while someone else still holds the line: from here on
    // it sees a low level of its own making no more.
    if (!low && !line_high && !low_seen) {
        low_seen = true;
        low_since = now;
    }
}

void Board::refresh_line()
{
    const bool high = !(master_low || chip_low || stuck_low);
    if (high == line_high)
        return;
    line_high = high;
    line_changed(Wire::owr, high);
    if (high) {
        last_rise_at = now;
        had_rise = true;
        if (low_seen)
            chip_rise();
    }
}

} // namespace detail
} // namespace sim
