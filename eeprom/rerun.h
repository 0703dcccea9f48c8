// Re-runs of disturbed transactions. A transaction that failed only because
// one of its slots was disturbed is run again at once, up to a bound; what it
// would have printed about the failure is held back until the failure stands.
// EEPROM-layer internal, but for the count.
#ifndef IDSTAMP_RERUN_H
#define IDSTAMP_RERUN_H

#include "signal/onewiresignal.h"

// Re-runs one operation (a ROM read, a memory read, a row write) may make.
#define EEPROM_RERUN_LIMIT 32

// Re-runs made since the process started.
extern unsigned int onewireReruns;

// Holds one line of a failure's report (printed with puts if it stands).
void eeprom_hold_line(const char *line);
// Prints the held lines in order and forgets them.
void eeprom_print_held(void);
// Forgets them: the failure they told of was made good.
void eeprom_drop_held(void);
// Whether a failed step with this result is run again: only a disturbed
// one (OW_DISTURBED or OW_LOST), and only while the operation's re-runs last. Forgets the held lines
// of a failure that is re-run.
int eeprom_rerun(int result, unsigned int *rerunsLeft);

#endif
