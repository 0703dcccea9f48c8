// A disturbed transaction leaves nothing behind: its report is dropped and
// it is counted; the last one of a used-up bound reports as any failure.
#include "eeprom/rerun.h"

#include <stdio.h>
#include <string.h>

unsigned int onewireReruns;

// At most a byte routine's line and its step's line are held at a time.
enum { kHeldLines = 2, kLineLength = 48 };
static char heldLines[kHeldLines][kLineLength];
static unsigned int heldCount;

void eeprom_hold_line(const char *line)
{
    // Never taken while no step holds more than those two; kept so a new
    // line can never write past the store.
    if (heldCount == kHeldLines)
        return;
    strncpy(heldLines[heldCount], line, kLineLength - 1);
    heldLines[heldCount][kLineLength - 1] = '\0';
    heldCount++;
}

void eeprom_print_held(void)
{
    for (unsigned int i = 0; i < heldCount; i++)
        puts(heldLines[i]);
    heldCount = 0;
}

void eeprom_drop_held(void)
{
    heldCount = 0;
}

int eeprom_rerun(int result, unsigned int *rerunsLeft)
{
    if ((result != OW_DISTURBED && result != OW_LOST) || *rerunsLeft == 0)
        return 0;
    --*rerunsLeft;
    ++onewireReruns;
    heldCount = 0;
    return 1;
}
