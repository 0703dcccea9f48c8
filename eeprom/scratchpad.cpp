// The scratchpad commands of a row write, shared by both chips.
#include "eeprom/scratchpad.h"

#include "eeprom/memory_transaction.h"
#include "eeprom/rerun.h"
#include "signal/timer.h"

// E/S flags: authorization accepted, partial byte.
static const unsigned char ES_AA_PF = 0xA0;

// Both chips need at most 10 ms to program a row.
static const unsigned int kProgrammingWaitUs = 10010;

static const unsigned char kConfirmPattern = 0xAA;
static const unsigned char kConfirmPatternShifted = 0x55;

// A step that fails with a line of its own holds the line: it is printed
// once the failure stands, after the line is released.
static int held(int rc, const char *line)
{
    eeprom_hold_line(line);
    return eeprom_command_result(rc);
}

int eeprom_scratchpad_fill(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1, unsigned char ta2,
                           const unsigned char *data, int *disturbedData)
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
    rc = eeprom_send_bytes(chip, access, data, chip->rowSize);
    if (rc == OW_DISTURBED) {
        eeprom_drop_held();
        *disturbedData = 1;
        return 0;
    }
    return rc;
}

int eeprom_scratchpad_read_pass(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, PAD_READ *pad, unsigned int count,
                                const unsigned int *address, const unsigned char *data, int copyMayBeDone)
{
    const unsigned char command[2] = {CMD_SKIP_ROM, CMD_READ_SCRATCHPAD};
    int rc;
    if ((rc = ow_reset_presence_pulse(chip->timing, access)) < 0)
        return rc;
    if ((rc = eeprom_send_bytes(chip, access, command, 2)) < 0)
        return eeprom_command_result(rc);
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

int eeprom_scratchpad_copy(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1, unsigned char ta2,
                           unsigned char es)
{
    const unsigned char command[5] = {CMD_SKIP_ROM, CMD_COPY_SCRATCHPAD, ta1, ta2, es};
    int rc;
    if ((rc = ow_reset_presence_pulse(chip->timing, access)) < 0)
        return rc;
    rc = eeprom_send_bytes(chip, access, command, 5);
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
