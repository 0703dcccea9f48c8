// The open-drain 1-Wire line: low while the master, the chip or a short pulls
// it. The master's edges are checked here against the chip's timing windows;
// the chip itself only sees the line's level (chip.cpp).
#include "sim/model/board.h"

#include <algorithm>

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
        trace.change(now, VcdTrace::master, true);
        const bool seen = line_high;
        refresh_line();
        if (seen)
            chip_fall();
        return;
    }

    master_low = false;
    trace.change(now, VcdTrace::master, false);
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

// Stretch faults. Transactions and edges are the master's, whatever the chip
// makes of them: a low counts as a reset when the master held it 480 us or
// more, not counting the stretch added to it, so a slot stretched that long is
// still the slot it was. A low is known to be a reset only when it ends; the
// falling edges after that are 1, 2, ...

// Arms the stretches of falling edge k of the master's current transaction.
void Board::arm_stretches(uint32_t k)
{
    const uint64_t t = master_transaction;
    const Faults &f = config.faults;
    for (unsigned i = 0; i < f.stretch_count && i < kMaxStretches; ++i) {
        const Stretch &s = f.stretches[i];
        if (s.edge != k || t < s.first || t > s.last)
            continue;
        if (!s.at) {
            release_late_ns += s.us * kUs;
            continue;
        }
        // One access at a time: still waiting from an earlier transaction
        // (AT longer than a transaction), it is not armed again.
        if (late[i] != kNever)
            continue;
        late[i] = master_fall_at + s.at_us * kUs;
        late_from = std::min(late_from, late[i]);
        access_hook = true;
    }
}

void Board::stretch_fall()
{
    stretch_in_low = 0;
    release_late_ns = 0;
    if (master_transaction == 0)
        return; // before the first reset nothing is counted
    ++master_edge_k;
    arm_stretches(master_edge_k);
}

// Before the write that lets go of the master's low takes effect.
void Board::stretch_release()
{
    uint64_t late_ns = release_late_ns;
    release_late_ns = 0;
    if (now - master_fall_at - stretch_in_low >= kResetMin) {
        // It was the next transaction's reset, edge 0, not a slot of this one.
        ++master_transaction;
        master_edge_k = 0;
        arm_stretches(0);
        late_ns = release_late_ns;
        release_late_ns = 0;
    }
    if (late_ns != 0) {
        stretch_in_low += late_ns;
        advance(now + late_ns);
    }
}

// The delay of every late access due at this access's start.
uint64_t Board::take_late()
{
    uint64_t delay = 0;
    late_from = kNever;
    for (unsigned i = 0; i < kMaxStretches; ++i) {
        if (late[i] <= now) {
            delay += config.faults.stretches[i].us * kUs;
            late[i] = kNever;
        }
        late_from = std::min(late_from, late[i]);
    }
    access_hook = jitter_on || late_from != kNever;
    stretch_in_low += delay;
    return delay;
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
    trace.change(now, VcdTrace::chip, low);
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
    trace.change(now, VcdTrace::owr, high);
    if (high) {
        last_rise_at = now;
        had_rise = true;
        if (low_seen)
            chip_rise();
    }
}

} // namespace detail
} // namespace sim
