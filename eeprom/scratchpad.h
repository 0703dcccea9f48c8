// The three scratchpad commands a row write is made of, each one bus
// transaction on the open line: Write Scratchpad, Read Scratchpad and Copy
// Scratchpad. EEPROM-layer internal.
#ifndef IDSTAMP_SCRATCHPAD_H
#define IDSTAMP_SCRATCHPAD_H

#include "eeprom/memory_protocol.h"

// E/S flag: authorization accepted, the copy made.
static const unsigned char ES_AA = 0x80;

// What Read Scratchpad sends: TA1, TA2, E/S and the row. The scratchpad does
// not change between reads, so a byte read from clean slots in any pass is
// kept.
enum { PAD_HEADER = 3, PAD_MAX = PAD_HEADER + 32 };
typedef struct {
    unsigned char bytes[PAD_MAX];
    unsigned char clean[PAD_MAX];
} PAD_READ;

// ALREADY_COPIED: AA tells that the copy went through. FILL_CUT_SHORT: E is
// not the row's last offset, so the chip stopped taking the fill early; the
// bytes read back may still match, stale from an earlier fill of the same
// row, and a copy would take T..E only.
enum { ALREADY_COPIED = 1, FILL_CUT_SHORT = 2 };

// Phase 1: fill the scratchpad with the row. The row's own bytes go on
// through disturbed slots: the read-back of phase 2 finds out what the chip
// took (*disturbedData tells it to look again after a mismatch).
int eeprom_scratchpad_fill(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1, unsigned char ta2,
                           const unsigned char *data, int *disturbedData);

// One Read Scratchpad pass over the first count bytes, each tested as soon as
// it is known. With address, the target address must be ours; with data, no
// flag may be set yet, E must end the row, and the row must be what we sent,
// unless AA tells that a copy that may have gone through did (copyMayBeDone:
// ALREADY_COPIED).
// 0 once every byte is known, OW_DISTURBED while some are not.
int eeprom_scratchpad_read_pass(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, PAD_READ *pad, unsigned int count,
                                const unsigned int *address, const unsigned char *data, int copyMayBeDone);

// Phase 3: copy with the authorization, wait out the programming, and take
// the chip's confirmation. A disturbed copy may or may not have been taken:
// OW_DISTURBED once the chip is surely done programming.
int eeprom_scratchpad_copy(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1, unsigned char ta2,
                           unsigned char es);

#endif
