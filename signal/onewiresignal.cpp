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

// The line must rise this soon after the reset pulse, or it is held low.
static const uint32_t kLineRiseTimeout = 5;

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

// A line already low is reported at once: the line is tested before the clock.
static int ow_detect_line_low(ONE_WIRE_ACCESS *access, unsigned int timeout)
{
    const uint32_t start = counter_now();
    for (;;) {
        if (!line_is_high(access))
            return 0;
        if (static_cast<uint32_t>(counter_now() - start) > timeout)
            return -1;
    }
}

// Here the clock is tested before the line.
static int ow_detect_line_high(ONE_WIRE_ACCESS *access, unsigned int timeout)
{
    const uint32_t start = counter_now();
    for (;;) {
        if (static_cast<uint32_t>(counter_now() - start) > timeout)
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
    wait_usec_timer(timing->resetLow);
    release_line(access);

    if (ow_detect_line_high(access, kLineRiseTimeout) < 0)
        return -1; // held low: shorted bus or no pull-up
    if (ow_detect_line_low(access, timing->presenceWaitMax) < 0)
        return -1; // no device answered
    if (ow_detect_line_high(access, timing->presenceLowMax) < 0)
        return -1; // presence pulse too long

    wait_usec_timer((timing->resetTotal - timing->presenceLowMax) - timing->presenceWaitMax);
    return 0;
}

static int write_slot(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access, uint32_t lowTime)
{
    if (timing == nullptr || access == nullptr)
        return -1;
    drive_low(access);
    wait_usec_timer(lowTime);
    release_line(access);
    wait_usec_timer(timing->slot - lowTime);
    return 0;
}

int ow_write_one(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access)
{
    return write_slot(timing, access, timing != nullptr ? timing->write1Low : 0);
}

int ow_write_zero(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access)
{
    return write_slot(timing, access, timing != nullptr ? timing->write0Low : 0);
}

int ow_read_bit(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access, unsigned char *bit)
{
    if (timing == nullptr || access == nullptr || bit == nullptr)
        return -1;

    drive_low(access);
    const uint32_t slotStart = counter_now();
    wait_usec_timer(timing->readLow);
    release_line(access);
    wait_usec_timer(timing->readSampleDelay);

    // The chip holds the line low for a 0.
    *bit = ow_detect_line_low(access, timing->readSampleWindow) == 0 ? 0 : 1;

    // Pad only what is left of the slot, so sampling does not lengthen it.
    const uint32_t elapsed = counter_now() - slotStart;
    if (timing->slot > elapsed)
        wait_usec_timer(timing->slot - elapsed);
    return 0;
}

int ow_read_byte(ONE_WIRE_ACCESS *access, ONE_WIRE_TIMING *timing, unsigned char *byte)
{
    if (byte == nullptr || access == nullptr || timing == nullptr)
        return -1;
    unsigned char value = 0;
    for (unsigned int i = 0; i < 8; i++) {
        unsigned char bit = 0;
        if (ow_read_bit(timing, access, &bit) < 0)
            return -1;
        value = static_cast<unsigned char>(value | (bit << i));
    }
    *byte = value;
    return 0;
}

int ow_write_byte(ONE_WIRE_ACCESS *access, ONE_WIRE_TIMING *timing, unsigned char value)
{
    if (access == nullptr || timing == nullptr)
        return -1;
    for (unsigned int i = 0; i < 8; i++) {
        const int rc = (value & 1) != 0 ? ow_write_one(timing, access) : ow_write_zero(timing, access);
        if (rc < 0)
            return -1;
        value = static_cast<unsigned char>(value >> 1);
    }
    return 0;
}
