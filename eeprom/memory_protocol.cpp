// Read Memory and the scratchpad row write, shared by both chips.
// Each operation is one bus transaction: the line is opened after the
// argument checks and released exactly once on every way out.
#include "eeprom/memory_protocol.h"

#include <stdint.h>
#include <stdio.h>

#include "eeprom/onewire.h"
#include "eeprom/rerun.h"
#include "signal/timer.h"

enum {
    CMD_SKIP_ROM = 0xCC,
    CMD_READ_MEMORY = 0xF0,
    CMD_WRITE_SCRATCHPAD = 0x0F,
    CMD_READ_SCRATCHPAD = 0xAA,
    CMD_COPY_SCRATCHPAD = 0x55,
};

// E/S flags: authorization accepted, partial byte.
static const unsigned char ES_AA = 0x80;
static const unsigned char ES_AA_PF = 0xA0;

// Both chips need at most 10 ms to program a row.
static const unsigned int kProgrammingWaitUs = 10010;

static const unsigned char kConfirmPattern = 0xAA;
static const unsigned char kConfirmPatternShifted = 0x55;

// Refused when address + length exceeds the bound, so a transfer can cover
// addresses up to bound - 1 only. Summed in 64 bits so a huge address cannot
// wrap around into the accepted range.
static int beyond_bound(const EEPROM_CHIP *chip, unsigned int address, unsigned int length)
{
    return static_cast<uint64_t>(address) + length > chip->bound;
}

// 0, or the first failing byte's result.
static int send_bytes(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, const unsigned char *bytes,
                      unsigned int count)
{
    for (unsigned int i = 0; i < count; i++) {
        const int rc = chip->sendByte(access, bytes[i]);
        if (rc < 0)
            return rc;
    }
    return 0;
}

// A step that fails with a line of its own holds the line: it is printed
// once the failure stands, after the line is released.
static int held(int rc, const char *line)
{
    eeprom_hold_line(line);
    return rc;
}

static int fail_transaction(ONE_WIRE_ACCESS *access)
{
    ow_close(access);
    eeprom_print_held();
    return -1;
}

// Receives length bytes from the address on: 0, or the failure, with the
// number of bytes that did arrive in *received.
static int read_memory_once(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                            unsigned int length, unsigned char *buffer, unsigned int *received)
{
    int rc = ow_reset_presence_pulse(chip->timing, access);
    if (rc < 0)
        return rc;
    const unsigned char header[4] = {CMD_SKIP_ROM, CMD_READ_MEMORY, static_cast<unsigned char>(address & 0xFF),
                                     static_cast<unsigned char>((address >> 8) & 0xFF)};
    rc = send_bytes(chip, access, header, 4);
    if (rc < 0)
        return rc;
    for (unsigned int i = 0; i < length; i++) {
        rc = chip->receiveByte(access, &buffer[i]);
        if (rc < 0)
            return rc;
        ++*received;
    }
    return 0;
}

// A disturbed read starts again at the first byte it did not take.
int eeprom_memory_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                       unsigned int length, unsigned char *buffer)
{
    if (buffer == nullptr || beyond_bound(chip, address, length))
        return -1;

    ow_open(access);
    unsigned int rerunsLeft = EEPROM_RERUN_LIMIT;
    unsigned int done = 0;
    int rc;
    do
        rc = read_memory_once(chip, access, address + done, length - done, buffer + done, &done);
    while (eeprom_rerun(rc, &rerunsLeft));
    if (rc < 0)
        return fail_transaction(access);
    ow_close(access);
    return 0;
}

int eeprom_page_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char page,
                     unsigned char *buffer)
{
    if (page >= chip->pageCount)
        return -1;
    return eeprom_memory_read(chip, access, static_cast<unsigned int>(page) * OW_PAGE_SIZE, OW_PAGE_SIZE, buffer);
}

// Phase 1: fill the scratchpad with the row.
static int fill_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1,
                           unsigned char ta2, const unsigned char *data)
{
    int rc;
    if ((rc = ow_reset_presence_pulse(chip->timing, access)) < 0)
        return held(rc, "reset pulse failed\r");
    if ((rc = chip->sendByte(access, CMD_SKIP_ROM)) < 0)
        return held(rc, "skip failed\r");
    if ((rc = chip->sendByte(access, CMD_WRITE_SCRATCHPAD)) < 0)
        return held(rc, "scratch failed\r");
    if ((rc = chip->sendByte(access, ta1)) < 0)
        return held(rc, "low failed\r");
    if ((rc = chip->sendByte(access, ta2)) < 0)
        return held(rc, "high failed\r");
    return send_bytes(chip, access, data, chip->rowSize);
}

// Reset, Skip ROM, Read Scratchpad and the target address it answers with.
static int start_read_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int *target)
{
    const unsigned char command[2] = {CMD_SKIP_ROM, CMD_READ_SCRATCHPAD};
    unsigned char ta1 = 0;
    unsigned char ta2 = 0;
    int rc;
    if ((rc = ow_reset_presence_pulse(chip->timing, access)) < 0 || (rc = send_bytes(chip, access, command, 2)) < 0
        || (rc = chip->receiveByte(access, &ta1)) < 0 || (rc = chip->receiveByte(access, &ta2)) < 0)
        return rc;
    *target = static_cast<unsigned int>(ta2) * 256u + ta1;
    return 0;
}

enum { ALREADY_COPIED = 1 };

// Phase 2: read the scratchpad back. The target address must be ours, no
// flag may be set yet, and every byte must be what we sent. Hands back E/S,
// which authorizes the copy. After a copy that may have gone through,
// AA set instead means it did: ALREADY_COPIED.
static int verify_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                             const unsigned char *data, unsigned char *es, int copyMayBeDone)
{
    unsigned int target = 0;
    int rc = start_read_scratchpad(chip, access, &target);
    if (rc < 0)
        return rc;
    if (target != address)
        return -1;
    if ((rc = chip->receiveByte(access, es)) < 0)
        return rc;
    if (copyMayBeDone && (*es & ES_AA) != 0)
        return ALREADY_COPIED;
    if ((*es & ES_AA_PF) != 0)
        return -1;
    for (unsigned int i = 0; i < chip->rowSize; i++) {
        unsigned char byte = 0;
        if ((rc = chip->receiveByte(access, &byte)) < 0)
            return rc;
        if (byte != data[i])
            return -1;
    }
    return 0;
}

// Phase 3: copy with the authorization, wait out the programming, and take
// the chip's confirmation.
static int copy_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1,
                           unsigned char ta2, unsigned char es)
{
    const unsigned char command[5] = {CMD_SKIP_ROM, CMD_COPY_SCRATCHPAD, ta1, ta2, es};
    int rc;
    if ((rc = ow_reset_presence_pulse(chip->timing, access)) < 0 || (rc = send_bytes(chip, access, command, 5)) < 0)
        return rc;
    wait_usec_timer(kProgrammingWaitUs);
    unsigned char confirmation = 0;
    if ((rc = chip->receiveByte(access, &confirmation)) < 0)
        return rc;
    if (confirmation != kConfirmPattern && confirmation != kConfirmPatternShifted)
        return -1;
    return 0;
}

// Phase 4: the chip sets AA once the copy has been done. The address read
// back is not compared this time.
static int check_copy(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access)
{
    unsigned int target = 0;
    unsigned char es = 0;
    int rc;
    if ((rc = start_read_scratchpad(chip, access, &target)) < 0 || (rc = chip->receiveByte(access, &es)) < 0)
        return rc;
    return (es & ES_AA) != 0 ? 0 : -1;
}

// The phases of a row write, in order, and the read-back that follows a
// disturbed copy.
enum ROW_STEP { STEP_FILL, STEP_VERIFY, STEP_COPY, STEP_RECHECK, STEP_CHECK, STEP_DONE };

// A disturbed phase is run again at once. A disturbed copy may or may not
// have been taken by the chip: once its programming time is over, the
// scratchpad is read back. AA set means the copy was made (the scratchpad
// holds the row verified before it); AA clear means it was not, and the row,
// verified again, is copied again. Sending the same copy twice is never
// needed, and the chip would refuse it: its E/S has changed.
int eeprom_row_write(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                     unsigned char *data)
{
    if (data == nullptr || beyond_bound(chip, address, chip->rowSize) || (address & 3u) != 0)
        return -1;

    const unsigned char ta1 = static_cast<unsigned char>(address & 0xFF);
    const unsigned char ta2 = static_cast<unsigned char>((address >> 8) & 0xFF);
    unsigned char es = 0;
    unsigned int rerunsLeft = EEPROM_RERUN_LIMIT;

    // The line stays open through all four phases and their re-runs.
    ow_open(access);
    int step = STEP_FILL;
    while (step != STEP_DONE) {
        int rc;
        int next;
        switch (step) {
        case STEP_FILL:
            rc = fill_scratchpad(chip, access, ta1, ta2, data);
            next = STEP_VERIFY;
            break;
        case STEP_VERIFY:
            rc = verify_scratchpad(chip, access, address, data, &es, 0);
            next = STEP_COPY;
            break;
        case STEP_COPY:
            rc = copy_scratchpad(chip, access, ta1, ta2, es);
            next = STEP_CHECK;
            break;
        case STEP_RECHECK:
            rc = verify_scratchpad(chip, access, address, data, &es, 1);
            next = rc == ALREADY_COPIED ? STEP_DONE : STEP_COPY;
            break;
        default:
            rc = check_copy(chip, access);
            next = STEP_DONE;
            break;
        }
        if (rc >= 0) {
            step = next;
            continue;
        }
        if (!eeprom_rerun(rc, &rerunsLeft))
            return fail_transaction(access);
        if (step == STEP_COPY) {
            // A chip that took the copy hears nothing until it has programmed.
            wait_usec_timer(kProgrammingWaitUs);
            step = STEP_RECHECK;
        }
    }
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
