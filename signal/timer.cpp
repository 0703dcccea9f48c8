// The microsecond counter: timers 1 and 2 of the second block of the SoC's
// general-purpose timer module, cascaded by the platform into one free-running
// 32-bit counter at one count per microsecond. The tool only checks that set-up;
// it never writes a timer register.
#include "signal/timer.h"

#include "platform/platform.h"

unsigned char *gtm[2];
volatile uint32_t *usecTimerPtr;
int timer_initialized;

int set_timer_access(unsigned char *base)
{
    gtm[0] = base + GTM_BLOCK1_OFFSET;
    gtm[1] = base + GTM_BLOCK2_OFFSET;
    unsigned char *block = gtm[1];
    usecTimerPtr = reinterpret_cast<volatile uint32_t *>(block + GTM_COUNT_OFFSET);

    // First mismatch ends the check; the configuration byte is read last.
    if (in_be16(reinterpret_cast<volatile uint16_t *>(block + GTM_PRESC1_OFFSET)) != GTM_PRESC1_EXPECTED)
        return -1;
    if (in_be16(reinterpret_cast<volatile uint16_t *>(block + GTM_PRESC2_OFFSET)) != GTM_PRESC2_EXPECTED)
        return -1;
    if (in_be16(reinterpret_cast<volatile uint16_t *>(block + GTM_MODE2_OFFSET)) != GTM_MODE2_EXPECTED)
        return -1;
    if (in_8(block + GTM_CFR_OFFSET) != GTM_CFR_EXPECTED)
        return -1;

    timer_initialized = 1;
    return 0;
}

unsigned int wait_usec_timer(unsigned int usec)
{
    return wait_usec_since(in_be32(usecTimerPtr), usec);
}

unsigned int wait_usec_since(unsigned int start, unsigned int usec)
{
    for (;;) {
        const uint32_t now = in_be32(usecTimerPtr);
        // Unsigned difference: the counter's wrap needs no special case.
        if (static_cast<uint32_t>(now - start) > usec)
            return now;
    }
}

unsigned int get_delta_timer(unsigned int start, unsigned int *nowOut)
{
    const uint32_t now = in_be32(usecTimerPtr);
    if (nowOut != nullptr)
        *nowOut = now;
    return static_cast<uint32_t>(now - start);
}
