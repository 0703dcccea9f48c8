// The 1-Wire bus master in software. The line is open-drain with a pull-up:
// the master only pulls it low or lets it go, and learns its level from the
// port's data register. Every duration is a busy-wait on the microsecond
// counter; nothing here prints, allocates or makes a system call, so a slot
// is never stretched by anything but preemption.
#include "signal/onewiresignal.h"

#include "platform/platform.h"
#include "signal/timer.h"

// Standard-speed timing, in microseconds.
ONE_WIRE_TIMING ds2431Timing = {500, 60, 240, 400, 85, 10, 70, 6, 2, 10};
ONE_WIRE_TIMING ds28ec20Timing = {500, 60, 240, 400, 85, 10, 70, 6, 2, 10};

unsigned int owDisturbedSlots;

// The line must rise this soon after the reset pulse, or it is held low.
static const uint32_t kLineRiseTimeout = 5;

// The slot guard: every slot is measured on the counter, one reading before
// the falling edge and one after the release or the first sample, so the
// figure can only overstate it. The limits are those of the strictest chip
// of both data sheets at standard speed.
#ifndef IDSTAMP_SLOT_GUARD
#define IDSTAMP_SLOT_GUARD 1
#endif
static const bool kGuard = IDSTAMP_SLOT_GUARD != 0;
// A chip may sample a write slot 15 us after the falling edge: a write-1 low
// that may have lasted that long may have been taken as a 0.
static const uint32_t kWrite1LowLimit = 15;
// A chip may let go of a read slot's 0 15 us after the falling edge.
static const uint32_t kReadSampleLimit = 15;
// A low of 120 us or more is no slot to the chip: it loses its place.
static const uint32_t kSlotLowLimit = 120;
// A watch of the line whose counter readings lie this far apart may have
// missed what it waited for, or timed out on the clock without looking.
static const uint32_t kWatchGapLimit = 5;

// The counter readings of one watch of the line.
typedef struct {
    uint32_t last;            // latest reading
    uint32_t widestGap;       // widest step between two readings
    uint32_t afterFirstSense; // of a watch for a low: the reading after the first sense
    unsigned int readings;
} LINE_WATCH;

// Readings before and after an interval: it lasted less than their
// difference plus one count, so it may have reached the limit when the
// difference is the limit or more.
static inline int may_reach(uint32_t before, uint32_t after, uint32_t limit)
{
    return static_cast<uint32_t>(after - before) >= limit;
}

static int disturbed(int result)
{
    ++owDisturbedSlots;
    return result;
}

// What a slot measured from the counter readings before and after means.
static int judged(uint32_t before, uint32_t after, uint32_t bitLimit)
{
    if (!kGuard || !may_reach(before, after, bitLimit))
        return 0;
    return disturbed(may_reach(before, after, kSlotLowLimit) ? OW_LOST : OW_DISTURBED);
}

static inline uint32_t counter_now(void)
{
    return in_be32(usecTimerPtr);
}

// Each primitive is one read and one write of the whole register; the other
// pins' bits are written back as they were read.
static inline void drive_low(ONE_WIRE_ACCESS *access)
{
    out_be32(access->dataReg, in_be32(access->dataReg) & ~access->lineMask);
}

// Drives the line low; guarded, the counter is read between the register's
// read and its write, as close before the falling edge as it can be.
static inline uint32_t drive_low_timed(ONE_WIRE_ACCESS *access)
{
    if (!kGuard) {
        drive_low(access);
        return 0;
    }
    const uint32_t latch = in_be32(access->dataReg);
    const uint32_t before = counter_now();
    out_be32(access->dataReg, latch & ~access->lineMask);
    return before;
}

static inline void release_line(ONE_WIRE_ACCESS *access)
{
    out_be32(access->dataReg, in_be32(access->dataReg) | access->lineMask);
}

static inline int line_is_high(ONE_WIRE_ACCESS *access)
{
    return (in_be32(access->dataReg) & access->lineMask) != 0;
}

void ow_open(ONE_WIRE_ACCESS *access)
{
    out_be32(access->dirReg, (in_be32(access->dirReg) & access->dirKeepMask) | access->dirOpenBits);
}

void ow_close(ONE_WIRE_ACCESS *access)
{
    out_be32(access->dirReg, (in_be32(access->dirReg) & access->dirKeepMask) | access->dirIdleBits);
}

static inline uint32_t noted(LINE_WATCH *watch, uint32_t now)
{
    if (watch != nullptr) {
        const uint32_t gap = now - watch->last;
        if (gap > watch->widestGap)
            watch->widestGap = gap;
        watch->last = now;
        if (watch->readings++ == 1)
            watch->afterFirstSense = now;
    }
    return now;
}

// Watches for a low from the counter reading start on.
static int watch_line_low(ONE_WIRE_ACCESS *access, uint32_t start, unsigned int timeout, LINE_WATCH *watch)
{
    for (;;) {
        if (!line_is_high(access))
            return 0;
        if (static_cast<uint32_t>(noted(watch, counter_now()) - start) > timeout)
            return -1;
    }
}

// A line already low is reported at once: the line is tested before the clock.
static int ow_detect_line_low(ONE_WIRE_ACCESS *access, unsigned int timeout, LINE_WATCH *watch = nullptr)
{
    return watch_line_low(access, noted(watch, counter_now()), timeout, watch);
}

// Here the clock is tested before the line.
static int ow_detect_line_high(ONE_WIRE_ACCESS *access, unsigned int timeout, LINE_WATCH *watch = nullptr)
{
    const uint32_t start = noted(watch, counter_now());
    for (;;) {
        if (static_cast<uint32_t>(noted(watch, counter_now()) - start) > timeout)
            return -1;
        if (line_is_high(access))
            return 0;
    }
}

int ow_reset_presence_pulse(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access)
{
    if (timing == nullptr || access == nullptr)
        return -1;

    drive_low(access);
    // The watches are timed from the last reading before the release.
    LINE_WATCH watch = {wait_usec_timer(timing->resetLow), 0, 0, 0};
    LINE_WATCH *guard = kGuard ? &watch : nullptr;
    release_line(access);

    // Held low (shorted bus or no pull-up), no device answered, or a presence
    // pulse too long. A failure is the line's only when the watches looked at
    // it closely enough all along; preempted, they may have missed the pulse.
    if (ow_detect_line_high(access, kLineRiseTimeout, guard) < 0
        || ow_detect_line_low(access, timing->presenceWaitMax, guard) < 0
        || ow_detect_line_high(access, timing->presenceLowMax, guard) < 0)
        return kGuard && watch.widestGap >= kWatchGapLimit ? disturbed(OW_LOST) : -1;

    wait_usec_timer((timing->resetTotal - timing->presenceLowMax) - timing->presenceWaitMax);
    return 0;
}

// The slot is always finished, disturbed or not, so the chip stays in step.
static int write_slot(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access, uint32_t lowTime, uint32_t lowLimit)
{
    if (timing == nullptr || access == nullptr)
        return -1;
    const uint32_t before = drive_low_timed(access);
    wait_usec_timer(lowTime);
    release_line(access);
    const uint32_t released = counter_now();
    wait_usec_since(released, timing->slot - lowTime);
    return judged(before, released, lowLimit);
}

int ow_write_one(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access)
{
    return write_slot(timing, access, timing != nullptr ? timing->write1Low : 0, kWrite1LowLimit);
}

int ow_write_zero(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access)
{
    return write_slot(timing, access, timing != nullptr ? timing->write0Low : 0, kSlotLowLimit);
}

int ow_read_bit(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access, unsigned char *bit)
{
    if (timing == nullptr || access == nullptr || bit == nullptr)
        return -1;

    const uint32_t before = drive_low_timed(access);
    const uint32_t slotStart = counter_now();
    LINE_WATCH watch = {0, 0, 0, 0};
    int low;
    if (kGuard) {
        // The same waits and watch, timed from readings the slot has already
        // taken: two register accesses fewer before the sample, so that a
        // slow register bus leaves the sample further inside the chip's 15 us.
        wait_usec_since(slotStart, timing->readLow);
        release_line(access);
        const uint32_t delayed = wait_usec_timer(timing->readSampleDelay);
        low = watch_line_low(access, noted(&watch, delayed), timing->readSampleWindow, &watch) == 0;
    } else {
        wait_usec_timer(timing->readLow);
        release_line(access);
        wait_usec_timer(timing->readSampleDelay);
        low = ow_detect_line_low(access, timing->readSampleWindow) == 0;
    }

    // Pad only what is left of the slot, so sampling does not lengthen it.
    const uint32_t sampled = counter_now();
    const uint32_t elapsed = sampled - slotStart;
    if (timing->slot > elapsed)
        wait_usec_timer(timing->slot - elapsed);

    // A line low at once was sampled just before the reading above.
    const int rc = judged(before, watch.readings > 1 ? watch.afterFirstSense : sampled, kReadSampleLimit);
    if (rc == 0)
        *bit = low ? 0 : 1;
    return rc;
}

int ow_read_byte(ONE_WIRE_ACCESS *access, ONE_WIRE_TIMING *timing, unsigned char *byte)
{
    if (byte == nullptr || access == nullptr || timing == nullptr)
        return -1;
    unsigned char value = 0;
    int result = 0;
    for (unsigned int i = 0; i < 8; i++) {
        unsigned char bit = 0;
        const int rc = ow_read_bit(timing, access, &bit);
        if (!ow_in_step(rc))
            return rc;
        result = rc < 0 ? rc : result;
        value = static_cast<unsigned char>(value | (bit << i));
    }
    if (result == 0)
        *byte = value;
    return result;
}

int ow_write_byte(ONE_WIRE_ACCESS *access, ONE_WIRE_TIMING *timing, unsigned char value)
{
    if (access == nullptr || timing == nullptr)
        return -1;
    int result = 0;
    for (unsigned int i = 0; i < 8; i++) {
        const int rc = (value & 1) != 0 ? ow_write_one(timing, access) : ow_write_zero(timing, access);
        if (!ow_in_step(rc))
            return rc;
        result = rc < 0 ? rc : result;
        value = static_cast<unsigned char>(value >> 1);
    }
    return result;
}
