// The chip's side of the line, the same for every chip: whether it listens,
// answers, programs or is gone, where it is in a low, and its own timers
// (presence pulse, a 0 held in a read slot, programming). Behaviour is in
// chip_side.cpp (members of Board); the chip itself is a ChipDevice.
#ifndef IDSTAMP_SIM_MODEL_CHIP_SIDE_H
#define IDSTAMP_SIM_MODEL_CHIP_SIDE_H

#include <cstdint>
#include <vector>

#include "sim/model/virtual_time.h"

namespace sim {
namespace detail {

// What the chip is doing with the line.
enum class Mode : uint8_t {
    off,         // no chip, or it lost power
    idle,        // waits for a reset
    presence,    // between the reset and the end of its presence pulse
    rx,          // takes bits from write slots
    tx,          // answers read slots
    programming, // programs its memory; ignores the line
};

enum class EventKind : uint8_t { tx_release, presence_start, presence_end, program_end };

struct Event {
    uint64_t at;
    EventKind kind;
};

struct ChipSide {
    Mode mode = Mode::idle;
    bool low_seen = false; // the chip saw the line go low and waits for the rise
    uint64_t low_since = 0;
    bool tx_slot = false;  // the current slot is one the chip answers

    // The chip's pending events (few at a time).
    uint64_t next_event = kNever;
    std::vector<Event> events;
};

} // namespace detail
} // namespace sim

#endif
