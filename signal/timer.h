// The free-running microsecond counter of the SoC's general-purpose timer
// module: a start-up check of its set-up, busy-waits and elapsed time.
#ifndef IDSTAMP_TIMER_H
#define IDSTAMP_TIMER_H

#include <stdint.h>

// Window offsets of the two timer blocks; only the second is used.
#define GTM_BLOCK1_OFFSET 0x500u
#define GTM_BLOCK2_OFFSET 0x600u

// Offsets inside the second block.
#define GTM_CFR_OFFSET 0x00u    // configuration of timers 1 and 2, 8 bits
#define GTM_MODE2_OFFSET 0x12u  // mode of timer 2, 16 bits
#define GTM_COUNT_OFFSET 0x1Cu  // timers 1 and 2 cascaded, 32 bits
#define GTM_PRESC1_OFFSET 0x38u // prescaler of timer 1, 16 bits
#define GTM_PRESC2_OFFSET 0x3Au // prescaler of timer 2, 16 bits

// The values of a timer set up as one 32-bit counter at 1 MHz.
#define GTM_CFR_EXPECTED 0xDDu
#define GTM_MODE2_EXPECTED 0x0002u
#define GTM_PRESC1_EXPECTED 0x0000u
#define GTM_PRESC2_EXPECTED 0x0084u

extern unsigned char *gtm[2];
extern volatile uint32_t *usecTimerPtr;
extern int timer_initialized;

int set_timer_access(unsigned char *base);
unsigned int wait_usec_timer(unsigned int usec);
// Busy-waits until more than usec microseconds have passed since the counter
// read start; returns the counter value that ended the wait.
unsigned int wait_usec_since(unsigned int start, unsigned int usec);
unsigned int get_delta_timer(unsigned int start, unsigned int *nowOut);

#endif
