// The row write through the scratchpad, shared by both chips: fill, verify,
// copy and confirm, check, with the re-runs of disturbed steps; and the page
// write made of row writes.
#include "eeprom/memory_protocol.h"

#include "eeprom/memory_transaction.h"
#include "eeprom/onewire.h"
#include "eeprom/rerun.h"
#include "eeprom/scratchpad.h"

// The phases of a row write, in order, and the read-back that follows a
// disturbed copy.
enum ROW_STEP { STEP_FILL, STEP_VERIFY, STEP_COPY, STEP_RECHECK, STEP_CHECK, STEP_DONE };

// A disturbed step is run again at once. A disturbed copy may or may not
// have been taken by the chip: once its programming time is over, the
// scratchpad is read back. AA set means the copy was made (the scratchpad
// holds the row verified before it); AA clear means it was not, and the row,
// verified again, is copied again. The same copy is never sent twice: the
// chip would refuse it, its E/S having changed.
int eeprom_row_write(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                     unsigned char *data)
{
    if (data == nullptr || eeprom_beyond_bound(chip, address, chip->rowSize) || (address & 3u) != 0)
        return -1;

    const unsigned char ta1 = static_cast<unsigned char>(address & 0xFF);
    const unsigned char ta2 = static_cast<unsigned char>((address >> 8) & 0xFF);
    const unsigned int padBytes = PAD_HEADER + chip->rowSize;
    PAD_READ pad = {};
    int disturbedData = 0;
    unsigned int rerunsLeft = EEPROM_RERUN_LIMIT;

    // The line stays open through all four phases and their re-runs.
    ow_open(access);
    int step = STEP_FILL;
    while (step != STEP_DONE) {
        int rc;
        int next;
        switch (step) {
        case STEP_FILL:
            pad = PAD_READ{};
            disturbedData = 0;
            rc = eeprom_scratchpad_fill(chip, access, ta1, ta2, data, &disturbedData);
            next = STEP_VERIFY;
            break;
        case STEP_VERIFY:
            rc = eeprom_scratchpad_read_pass(chip, access, &pad, padBytes, &address, data, 0);
            // A row sent through disturbed slots may be wrong in the chip:
            // written again, not given up.
            if ((rc == -1 && disturbedData) || rc == FILL_CUT_SHORT) {
                rc = OW_LOST;
                step = STEP_FILL;
            }
            next = STEP_COPY;
            break;
        case STEP_COPY:
            rc = eeprom_scratchpad_copy(chip, access, ta1, ta2, pad.bytes[2]);
            if (rc == OW_DISTURBED || rc == OW_LOST) {
                pad = PAD_READ{};
                step = STEP_RECHECK;
            }
            next = STEP_CHECK;
            break;
        case STEP_RECHECK:
            rc = eeprom_scratchpad_read_pass(chip, access, &pad, padBytes, &address, data, 1);
            if (rc == FILL_CUT_SHORT) {
                rc = OW_LOST;
                step = STEP_FILL;
            }
            next = rc == ALREADY_COPIED ? STEP_DONE : STEP_COPY;
            break;
        default: {
            // Phase 4: AA tells that the copy was made; the address read
            // back is not compared this time.
            rc = eeprom_scratchpad_read_pass(chip, access, &pad, PAD_HEADER, nullptr, nullptr, 0);
            if (rc == 0 && (pad.bytes[2] & ES_AA) == 0)
                rc = -1;
            next = STEP_DONE;
            break;
        }
        }
        if (rc >= 0) {
            step = next;
            if (step == STEP_CHECK)
                pad = PAD_READ{};
            continue;
        }
        if (!eeprom_rerun(rc, &rerunsLeft))
            return eeprom_fail_transaction(access);
    }
    // As after a memory read: nothing is held here once the row is written.
    eeprom_drop_held();
    ow_close(access);
    return 0;
}

int eeprom_page_write(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char page,
                      unsigned char *data)
{
    // Beyond the data pages lie the chip's control bytes: never write there.
    if (data == nullptr || page >= chip->pageCount)
        return -1;
    const unsigned int base = static_cast<unsigned int>(page) * OW_PAGE_SIZE;
    for (unsigned int offset = 0; offset < OW_PAGE_SIZE; offset += chip->rowSize)
        if (eeprom_row_write(chip, access, base + offset, data + offset) < 0)
            return -1;
    return 0;
}
