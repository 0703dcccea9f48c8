// The 1-Wire bus master on one open-drain pin: reset/presence, write and read
// time slots and bytes, timed by busy-waits on the microsecond counter.
#ifndef IDSTAMP_ONEWIRESIGNAL_H
#define IDSTAMP_ONEWIRESIGNAL_H

#include <stdint.h>

typedef struct {
    volatile uint32_t *dataReg; // port data register: the pin's level and latch
    volatile uint32_t *dirReg;  // port direction register, two bits per pin
    uint32_t lineMask;          // the pin's bit in the data register
    uint32_t dirKeepMask;       // clears the pin's direction field
    uint32_t dirOpenBits;       // direction field while a transaction is open
    uint32_t dirIdleBits;       // direction field between transactions
    uint8_t familyCode;         // family of the detected chip, 0 until known
} ONE_WIRE_ACCESS;

// All values in microseconds.
typedef struct {
    uint32_t resetLow;
    uint32_t presenceWaitMax;
    uint32_t presenceLowMax;
    uint32_t resetTotal;
    uint32_t slot;
    uint32_t write1Low;
    uint32_t write0Low;
    uint32_t readLow;
    uint32_t readSampleDelay;
    uint32_t readSampleWindow;
} ONE_WIRE_TIMING;

extern ONE_WIRE_TIMING ds2431Timing;
extern ONE_WIRE_TIMING ds28ec20Timing;

// A slot that may have left the chips' timing: the process lost the
// processor inside it, so the chip may have taken another bit than the one
// meant, or the sample came after the chip let go of its 0. Its bit is not
// known; the chip is still in step (the low was shorter than any chip's
// limit for a slot), so the rest of the transaction can go on.
#define OW_DISTURBED (-2)
// A slot or reset after which the chip may have lost its place: a low that
// may have reached 120 us, or a reset whose watch may have missed the line.
// Nothing more of the transaction means anything.
#define OW_LOST (-3)

// Whether the chip is still in step after a slot with this result: a byte
// goes on through a disturbed slot, so the chip is not left mid-byte, and
// then reports it; it stops at once at any other failure.
static inline int ow_in_step(int result)
{
    return result == 0 || result == OW_DISTURBED;
}

// Slots and resets found disturbed since the process started.
extern unsigned int owDisturbedSlots;

void ow_open(ONE_WIRE_ACCESS *access);
void ow_close(ONE_WIRE_ACCESS *access);
int ow_reset_presence_pulse(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access);
int ow_write_one(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access);
int ow_write_zero(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access);
int ow_read_bit(ONE_WIRE_TIMING *timing, ONE_WIRE_ACCESS *access, unsigned char *bit);
int ow_read_byte(ONE_WIRE_ACCESS *access, ONE_WIRE_TIMING *timing, unsigned char *byte);
int ow_write_byte(ONE_WIRE_ACCESS *access, ONE_WIRE_TIMING *timing, unsigned char value);

#endif
