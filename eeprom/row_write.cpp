// The row write through the scratchpad, shared by both chips: fill, verify,
// copy and confirm, check, with the re-runs of disturbed steps; and the page
// write made of row writes.
#include "eeprom/memory_protocol.h"

#include "eeprom/memory_transaction.h"
#include "eeprom/onewire.h"
#include "eeprom/rerun.h"
#include "eeprom/scratchpad.h"

// The steps of a row write. The four phases run in this order; RECHECK
// follows a disturbed copy only. DONE and FAILED end the write.
typedef enum { STEP_FILL, STEP_VERIFY, STEP_COPY, STEP_RECHECK, STEP_CHECK, STEP_DONE, STEP_FAILED } ROW_STEP;

// What a row write carries from step to step and through its re-runs.
typedef struct {
    const EEPROM_CHIP *chip;
    ONE_WIRE_ACCESS *access;
    unsigned int address;
    const unsigned char *data;
    unsigned char ta1, ta2;   // the target address as it goes on the bus
    PAD_READ pad;             // the scratchpad as read back so far
    int disturbedData;        // the fill sent some of the row through disturbed slots
    unsigned int rerunsLeft;
} ROW_WRITE;

// A failed step: run again as the given step while the re-runs last (only a
// disturbed one is), otherwise the write fails.
static ROW_STEP rerun_as(ROW_WRITE *row, int rc, ROW_STEP again)
{
    return eeprom_rerun(rc, &row->rerunsLeft) ? again : STEP_FAILED;
}

static unsigned int pad_bytes(const ROW_WRITE *row)
{
    return PAD_HEADER + row->chip->rowSize;
}

// Phase 1: the row into the scratchpad, from a clean slate.
static ROW_STEP step_fill(ROW_WRITE *row)
{
    row->pad = PAD_READ{};
    row->disturbedData = 0;
    const int rc = eeprom_scratchpad_fill(row->chip, row->access, row->ta1, row->ta2, row->data, &row->disturbedData);
    return rc >= 0 ? STEP_VERIFY : rerun_as(row, rc, STEP_FILL);
}

// Phase 2: the scratchpad read back and compared with the row. A row sent
// through disturbed slots may be wrong in the chip, and a fill cut short
// leaves part of the row out: either is written again, not given up.
static ROW_STEP step_verify(ROW_WRITE *row)
{
    const int rc = eeprom_scratchpad_read_pass(row->chip, row->access, &row->pad, pad_bytes(row), &row->address,
                                               row->data, 0);
    if ((rc == -1 && row->disturbedData) || rc == FILL_CUT_SHORT)
        return rerun_as(row, OW_LOST, STEP_FILL);
    return rc >= 0 ? STEP_COPY : rerun_as(row, rc, STEP_VERIFY);
}

// Phase 3: the copy, with the E/S just read back as its authorization. A
// disturbed copy may or may not have been taken: the scratchpad, read back
// once its programming time is over, tells which. Either read-back starts
// afresh. Any other failure stands: a copy is never simply sent again.
static ROW_STEP step_copy(ROW_WRITE *row)
{
    const int rc = eeprom_scratchpad_copy(row->chip, row->access, row->ta1, row->ta2, row->pad.bytes[2]);
    row->pad = PAD_READ{};
    if (rc == OW_DISTURBED || rc == OW_LOST)
        return rerun_as(row, rc, STEP_RECHECK);
    return rc >= 0 ? STEP_CHECK : STEP_FAILED;
}

// After a disturbed copy: AA set means the copy was made (the scratchpad
// holds the row verified before it) and the write is done; AA clear means it
// was not, and the row, verified again here, is copied again. The same copy
// is never sent twice: the chip would refuse it, its E/S having changed.
static ROW_STEP step_recheck(ROW_WRITE *row)
{
    const int rc = eeprom_scratchpad_read_pass(row->chip, row->access, &row->pad, pad_bytes(row), &row->address,
                                               row->data, 1);
    if (rc == ALREADY_COPIED)
        return STEP_DONE;
    if (rc == FILL_CUT_SHORT)
        return rerun_as(row, OW_LOST, STEP_FILL);
    return rc >= 0 ? STEP_COPY : rerun_as(row, rc, STEP_RECHECK);
}

// Phase 4: AA tells that the copy was made; the address read back is not
// compared this time.
static ROW_STEP step_check(ROW_WRITE *row)
{
    int rc = eeprom_scratchpad_read_pass(row->chip, row->access, &row->pad, PAD_HEADER, nullptr, nullptr, 0);
    if (rc == 0 && (row->pad.bytes[2] & ES_AA) == 0)
        rc = -1;
    return rc >= 0 ? STEP_DONE : rerun_as(row, rc, STEP_CHECK);
}

// Runs one step and says which comes next.
static ROW_STEP run_step(ROW_WRITE *row, ROW_STEP step)
{
    switch (step) {
    case STEP_FILL:
        return step_fill(row);
    case STEP_VERIFY:
        return step_verify(row);
    case STEP_COPY:
        return step_copy(row);
    case STEP_RECHECK:
        return step_recheck(row);
    case STEP_CHECK:
        return step_check(row);
    case STEP_DONE:
    case STEP_FAILED:
        break;
    }
    return step;
}

// A disturbed step is run again at once, a disturbed copy by way of the
// recheck; a step that failed otherwise, or that used up the re-runs, fails
// the write.
int eeprom_row_write(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                     unsigned char *data)
{
    if (data == nullptr || eeprom_beyond_bound(chip, address, chip->rowSize) || (address & 3u) != 0)
        return -1;

    ROW_WRITE row = {};
    row.chip = chip;
    row.access = access;
    row.address = address;
    row.data = data;
    row.ta1 = static_cast<unsigned char>(address & 0xFF);
    row.ta2 = static_cast<unsigned char>((address >> 8) & 0xFF);
    row.rerunsLeft = EEPROM_RERUN_LIMIT;

    // The line stays open through all four phases and their re-runs.
    ow_open(access);
    ROW_STEP step = STEP_FILL;
    while (step != STEP_DONE && step != STEP_FAILED)
        step = run_step(&row, step);
    if (step == STEP_FAILED)
        return eeprom_fail_transaction(access);
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
