// The register window: the timer block with its microsecond counter and the
// I/O port of the 1-Wire pin. Every access costs virtual time before it takes
// effect; this is the simulation's hot path (the tool busy-waits on the
// counter), so it does no allocation and fires chip events only when due.
#include "sim/model/board.h"

#include <charconv>

namespace sim {
namespace detail {

uint32_t Board::counter() const
{
    return static_cast<uint32_t>(config.start_counter_us + now / kUs);
}

// Any register as the 32-bit big-endian word it sits in. The timer block reads
// as the platform set it up; the timer-bad fault sets one of the checked
// registers up differently.
uint32_t Board::word_at(uint32_t offset) const
{
    const uint32_t bad = config.faults.timer_bad;
    switch (offset & ~3u) {
    case kTimerConfig:
        return (bad == kTimerConfig ? 0xCCu : 0xDDu) << 24; // not cascaded
    case kTimer2Mode & ~3u:
        return bad == kTimer2Mode ? 0x0000u : 0x0002u; // timer 2 stopped
    case kCounter:
        return counter();
    case kTimer1Prescale: // timer 1 prescaled too, or timer 2 by 134
        return (bad == kTimer1Prescale ? 0x00840000u : 0u) | (bad == kTimer2Prescale ? 0x0085u : 0x0084u);
    case kPortData:
        return (data_latch & ~kLineBit) | (line_high ? kLineBit : 0u);
    case kPortDir:
        return dir_reg;
    default: {
        const auto it = other_regs.find(offset & ~3u);
        return it == other_regs.end() ? 0u : it->second;
    }
    }
}

namespace {

bool dir_open_for(uint32_t dir)
{
    return (dir & kDirField) == kDirField || (dir & kDirField) == 0x00100000u;
}

} // namespace

void Board::port_write(uint32_t offset, uint32_t value)
{
    // A write that lets go of the master's low may be a stretched one.
    if (__builtin_expect(stretch_on, 0) && master_low) {
        const uint32_t data = offset == kPortData ? value : data_latch;
        if (!dir_open_for(offset == kPortData ? dir_reg : value) || (data & kLineBit) != 0)
            stretch_release();
    }
    if (offset == kPortData) {
        data_latch = value;
    } else {
        dir_reg = value;
        const bool open = dir_open_for(value);
        if (open != dir_open) {
            if (open)
                busy_since = now;
            else
                busy_closed_ns += now - busy_since;
            dir_open = open;
        }
    }
    const bool drive = dir_open && (data_latch & kLineBit) == 0;
    if (drive != master_low)
        master_edge(drive);
}

namespace {

inline Board &access()
{
    Board &b = board();
    ++b.stats.register_accesses;
    uint64_t to = b.now + b.config.access_cost_ns;
    if (__builtin_expect(b.access_hook, 0))
        to = b.hooked_access_time(to);
    b.advance(to);
    return b;
}

// text followed by value in lower-case hex digits.
std::string with_hex(const char *text, uint32_t value)
{
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    return text + std::string(digits, end);
}

} // namespace
} // namespace detail

uint32_t reg_read32(uint32_t offset)
{
    detail::Board &b = detail::access();
    if (__builtin_expect(offset == detail::kCounter, 1))
        return b.counter();
    if (offset & 3u)
        b.misuse(detail::with_hex("unaligned 32-bit read at window offset 0x", offset));
    if ((offset & ~3u) == detail::kPortData)
        b.line_sampled();
    return b.word_at(offset);
}

uint16_t reg_read16(uint32_t offset)
{
    detail::Board &b = detail::access();
    if (offset & 1u)
        b.misuse(detail::with_hex("unaligned 16-bit read at window offset 0x", offset));
    if ((offset & ~3u) == detail::kPortData)
        b.line_sampled();
    const unsigned shift = (offset & 2u) != 0 ? 0 : 16;
    return static_cast<uint16_t>(b.word_at(offset) >> shift);
}

uint8_t reg_read8(uint32_t offset)
{
    detail::Board &b = detail::access();
    if ((offset & ~3u) == detail::kPortData)
        b.line_sampled();
    const unsigned shift = 8 * (3 - (offset & 3u));
    return static_cast<uint8_t>(b.word_at(offset) >> shift);
}

void reg_write32(uint32_t offset, uint32_t value)
{
    detail::Board &b = detail::access();
    if (offset == detail::kPortData || offset == detail::kPortDir) {
        b.port_write(offset, value);
        return;
    }
    // The tool writes no other register; keep the value, but say so.
    b.other_regs[offset & ~3u] = value;
    b.misuse(detail::with_hex("write to window offset 0x", offset));
}

} // namespace sim
