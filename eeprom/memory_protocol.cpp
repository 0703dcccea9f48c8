// Read Memory and the scratchpad row write, shared by both chips.
// Each operation is one bus transaction: the line is opened after the
// argument checks and released exactly once on every way out.
#include "eeprom/memory_protocol.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

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

// Sends the bytes; a disturbed slot does not stop the rest, so the chip is
// not left mid-command. 0, OW_DISTURBED, or the failure that stopped it.
static int send_bytes(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, const unsigned char *bytes,
                      unsigned int count)
{
    int result = 0;
    for (unsigned int i = 0; i < count; i++) {
        const int rc = chip->sendByte(access, bytes[i]);
        if (!ow_in_step(rc))
            return rc;
        result = rc < 0 ? rc : result;
    }
    return result;
}

// A command or address byte that may have gone out wrong may have put the
// chip on another command: nothing after it means anything.
static int command_result(int rc)
{
    return rc == OW_DISTURBED ? OW_LOST : rc;
}

// A step that fails with a line of its own holds the line: it is printed
// once the failure stands, after the line is released.
static int held(int rc, const char *line)
{
    eeprom_hold_line(line);
    return command_result(rc);
}

static int fail_transaction(ONE_WIRE_ACCESS *access)
{
    ow_close(access);
    eeprom_print_held();
    return -1;
}

// Which bytes of the memory read under way came from clean slots; the
// memory does not change between passes, so each is kept once it did.
static unsigned char takenBytes[(2624 + 7) / 8];

static int is_taken(unsigned int i)
{
    return (takenBytes[i / 8] >> (i % 8)) & 1;
}

// One Read Memory pass from the first byte not yet taken to the last. It goes
// on through disturbed bytes (the chip stays in step) and takes the clean
// ones: 0 once every byte is taken, OW_DISTURBED while some are not.
static int read_memory_pass(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                            unsigned int length, unsigned char *buffer, unsigned int *first)
{
    int rc = ow_reset_presence_pulse(chip->timing, access);
    if (rc < 0)
        return rc;
    const unsigned int from = address + *first;
    const unsigned char header[4] = {CMD_SKIP_ROM, CMD_READ_MEMORY, static_cast<unsigned char>(from & 0xFF),
                                     static_cast<unsigned char>((from >> 8) & 0xFF)};
    if ((rc = send_bytes(chip, access, header, 4)) < 0)
        return command_result(rc);
    unsigned int missing = 0;
    for (unsigned int i = *first; i < length; i++)
        missing += !is_taken(i);
    for (unsigned int i = *first; i < length && missing != 0; i++) {
        unsigned char byte = 0;
        rc = chip->receiveByte(access, &byte);
        if (!ow_in_step(rc))
            return rc;
        if (rc < 0 || is_taken(i))
            continue;
        buffer[i] = byte;
        takenBytes[i / 8] = static_cast<unsigned char>(takenBytes[i / 8] | (1u << (i % 8)));
        missing--;
    }
    while (*first < length && is_taken(*first))
        ++*first;
    return missing == 0 ? 0 : OW_DISTURBED;
}

int eeprom_memory_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                       unsigned int length, unsigned char *buffer)
{
    if (buffer == nullptr || beyond_bound(chip, address, length))
        return -1;

    ow_open(access);
    memset(takenBytes, 0, sizeof takenBytes);
    unsigned int rerunsLeft = EEPROM_RERUN_LIMIT;
    unsigned int first = 0;
    int rc;
    do
        rc = read_memory_pass(chip, access, address, length, buffer, &first);
    while (eeprom_rerun(rc, &rerunsLeft));
    if (rc < 0)
        return fail_transaction(access);
    // Nothing is held after a clean pass (a re-run forgets what was): this
    // only keeps a line from ever outliving its operation.
    eeprom_drop_held();
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

// Phase 1: fill the scratchpad with the row. The row's own bytes go on
// through disturbed slots: the read-back of phase 2 finds out what the chip
// took (*disturbedData tells it to look again after a mismatch).
static int fill_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1,
                           unsigned char ta2, const unsigned char *data, int *disturbedData)
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
    rc = send_bytes(chip, access, data, chip->rowSize);
    if (rc == OW_DISTURBED) {
        eeprom_drop_held();
        *disturbedData = 1;
        return 0;
    }
    return rc;
}

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

// One Read Scratchpad pass over the first count bytes, each tested as soon as
// it is known. With address, the target address must be ours; with data, no
// flag may be set yet, E must end the row, and the row must be what we sent,
// unless AA tells that a copy that may have gone through did (copyMayBeDone:
// ALREADY_COPIED).
// 0 once every byte is known, OW_DISTURBED while some are not.
static int read_scratchpad_pass(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, PAD_READ *pad,
                                unsigned int count, const unsigned int *address, const unsigned char *data,
                                int copyMayBeDone)
{
    const unsigned char command[2] = {CMD_SKIP_ROM, CMD_READ_SCRATCHPAD};
    int rc;
    if ((rc = ow_reset_presence_pulse(chip->timing, access)) < 0)
        return rc;
    if ((rc = send_bytes(chip, access, command, 2)) < 0)
        return command_result(rc);
    unsigned int missing = count;
    for (unsigned int i = 0; i < count; i++)
        missing -= pad->clean[i];
    for (unsigned int i = 0; i < count && missing != 0; i++) {
        unsigned char byte = 0;
        rc = chip->receiveByte(access, &byte);
        if (!ow_in_step(rc))
            return rc;
        if (rc < 0 || pad->clean[i])
            continue;
        pad->bytes[i] = byte;
        pad->clean[i] = 1;
        missing--;
        if (i <= 1 && address != nullptr && pad->clean[0] && pad->clean[1]
            && static_cast<unsigned int>(pad->bytes[1]) * 256u + pad->bytes[0] != *address)
            return -1;
        if (i == 2 && data != nullptr) {
            if (copyMayBeDone && (byte & ES_AA) != 0)
                return ALREADY_COPIED;
            if ((byte & ES_AA_PF) != 0)
                return -1;
            if ((byte & (chip->rowSize - 1)) != chip->rowSize - 1)
                return FILL_CUT_SHORT;
        }
        if (i >= PAD_HEADER && byte != data[i - PAD_HEADER])
            return -1;
    }
    return missing == 0 ? 0 : OW_DISTURBED;
}

// Phase 3: copy with the authorization, wait out the programming, and take
// the chip's confirmation. A disturbed copy may or may not have been taken:
// OW_DISTURBED once the chip is surely done programming.
static int copy_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1,
                           unsigned char ta2, unsigned char es)
{
    const unsigned char command[5] = {CMD_SKIP_ROM, CMD_COPY_SCRATCHPAD, ta1, ta2, es};
    int rc;
    if ((rc = ow_reset_presence_pulse(chip->timing, access)) < 0)
        return rc;
    rc = send_bytes(chip, access, command, 5);
    if (rc == -1)
        return rc;
    wait_usec_timer(kProgrammingWaitUs);
    if (rc < 0)
        return OW_DISTURBED;
    unsigned char confirmation = 0;
    if ((rc = chip->receiveByte(access, &confirmation)) < 0)
        return rc == -1 ? rc : OW_DISTURBED;
    if (confirmation != kConfirmPattern && confirmation != kConfirmPatternShifted)
        return -1;
    return 0;
}

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
    if (data == nullptr || beyond_bound(chip, address, chip->rowSize) || (address & 3u) != 0)
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
            rc = fill_scratchpad(chip, access, ta1, ta2, data, &disturbedData);
            next = STEP_VERIFY;
            break;
        case STEP_VERIFY:
            rc = read_scratchpad_pass(chip, access, &pad, padBytes, &address, data, 0);
            // A row sent through disturbed slots may be wrong in the chip:
            // written again, not given up.
            if ((rc == -1 && disturbedData) || rc == FILL_CUT_SHORT) {
                rc = OW_LOST;
                step = STEP_FILL;
            }
            next = STEP_COPY;
            break;
        case STEP_COPY:
            rc = copy_scratchpad(chip, access, ta1, ta2, pad.bytes[2]);
            if (rc == OW_DISTURBED || rc == OW_LOST) {
                pad = PAD_READ{};
                step = STEP_RECHECK;
            }
            next = STEP_CHECK;
            break;
        case STEP_RECHECK:
            rc = read_scratchpad_pass(chip, access, &pad, padBytes, &address, data, 1);
            if (rc == FILL_CUT_SHORT) {
                rc = OW_LOST;
                step = STEP_FILL;
            }
            next = rc == ALREADY_COPIED ? STEP_DONE : STEP_COPY;
            break;
        default: {
            // Phase 4: AA tells that the copy was made; the address read
            // back is not compared this time.
            rc = read_scratchpad_pass(chip, access, &pad, PAD_HEADER, nullptr, nullptr, 0);
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
            return fail_transaction(access);
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
