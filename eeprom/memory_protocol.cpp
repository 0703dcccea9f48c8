// Read Memory and the scratchpad row write, shared by both chips.
// Each operation is one bus transaction: the line is opened after the
// argument checks and released exactly once on every way out.
#include "eeprom/memory_protocol.h"

#include <stdint.h>
#include <stdio.h>

#include "eeprom/onewire.h"
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

static int send_bytes(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, const unsigned char *bytes,
                      unsigned int count)
{
    for (unsigned int i = 0; i < count; i++)
        if (chip->sendByte(access, bytes[i]) < 0)
            return -1;
    return 0;
}

static int fail_transaction(ONE_WIRE_ACCESS *access)
{
    ow_close(access);
    return -1;
}

// Steps 1 to 5 of the row write tell the user where they failed; the message
// comes after the line is released.
static int fail_with(ONE_WIRE_ACCESS *access, const char *message)
{
    ow_close(access);
    puts(message);
    return -1;
}

int eeprom_memory_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                       unsigned int length, unsigned char *buffer)
{
    if (buffer == nullptr || beyond_bound(chip, address, length))
        return -1;

    ow_open(access);
    if (ow_reset_presence_pulse(chip->timing, access) < 0)
        return fail_transaction(access);

    const unsigned char header[4] = {CMD_SKIP_ROM, CMD_READ_MEMORY, static_cast<unsigned char>(address & 0xFF),
                                     static_cast<unsigned char>((address >> 8) & 0xFF)};
    if (send_bytes(chip, access, header, 4) < 0)
        return fail_transaction(access);

    for (unsigned int i = 0; i < length; i++)
        if (chip->receiveByte(access, &buffer[i]) < 0)
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
    if (ow_reset_presence_pulse(chip->timing, access) < 0)
        return fail_with(access, "reset pulse failed\r");
    if (chip->sendByte(access, CMD_SKIP_ROM) < 0)
        return fail_with(access, "skip failed\r");
    if (chip->sendByte(access, CMD_WRITE_SCRATCHPAD) < 0)
        return fail_with(access, "scratch failed\r");
    if (chip->sendByte(access, ta1) < 0)
        return fail_with(access, "low failed\r");
    if (chip->sendByte(access, ta2) < 0)
        return fail_with(access, "high failed\r");
    if (send_bytes(chip, access, data, chip->rowSize) < 0)
        return fail_transaction(access);
    return 0;
}

// Phase 2: read the scratchpad back. The target address must be ours, no
// flag may be set yet, and every byte must be what we sent. Hands back E/S,
// which authorizes the copy.
static int verify_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                             const unsigned char *data, unsigned char *es)
{
    const unsigned char command[2] = {CMD_SKIP_ROM, CMD_READ_SCRATCHPAD};
    unsigned char ta1 = 0;
    unsigned char ta2 = 0;
    if (ow_reset_presence_pulse(chip->timing, access) < 0 || send_bytes(chip, access, command, 2) < 0 ||
        chip->receiveByte(access, &ta1) < 0 || chip->receiveByte(access, &ta2) < 0)
        return fail_transaction(access);
    if (static_cast<unsigned int>(ta2) * 256u + ta1 != address)
        return fail_transaction(access);
    if (chip->receiveByte(access, es) < 0 || (*es & ES_AA_PF) != 0)
        return fail_transaction(access);
    for (unsigned int i = 0; i < chip->rowSize; i++) {
        unsigned char byte = 0;
        if (chip->receiveByte(access, &byte) < 0 || byte != data[i])
            return fail_transaction(access);
    }
    return 0;
}

// Phase 3: copy with the authorization, wait out the programming, and take
// the chip's confirmation.
static int copy_scratchpad(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char ta1,
                           unsigned char ta2, unsigned char es)
{
    const unsigned char command[5] = {CMD_SKIP_ROM, CMD_COPY_SCRATCHPAD, ta1, ta2, es};
    if (ow_reset_presence_pulse(chip->timing, access) < 0 || send_bytes(chip, access, command, 5) < 0)
        return fail_transaction(access);
    wait_usec_timer(kProgrammingWaitUs);
    unsigned char confirmation = 0;
    if (chip->receiveByte(access, &confirmation) < 0)
        return fail_transaction(access);
    if (confirmation != kConfirmPattern && confirmation != kConfirmPatternShifted)
        return fail_transaction(access);
    return 0;
}

// Phase 4: the chip sets AA once the copy has been done.
static int check_copy(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access)
{
    const unsigned char command[2] = {CMD_SKIP_ROM, CMD_READ_SCRATCHPAD};
    unsigned char header[3] = {0, 0, 0};
    if (ow_reset_presence_pulse(chip->timing, access) < 0 || send_bytes(chip, access, command, 2) < 0)
        return fail_transaction(access);
    for (unsigned int i = 0; i < 3; i++)
        if (chip->receiveByte(access, &header[i]) < 0)
            return fail_transaction(access);
    ow_close(access);
    return (header[2] & ES_AA) != 0 ? 0 : -1;
}

int eeprom_row_write(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                     unsigned char *data)
{
    if (data == nullptr || beyond_bound(chip, address, chip->rowSize) || (address & 3u) != 0)
        return -1;

    const unsigned char ta1 = static_cast<unsigned char>(address & 0xFF);
    const unsigned char ta2 = static_cast<unsigned char>((address >> 8) & 0xFF);
    unsigned char es = 0;

    // The line stays open through all four phases; each phase releases it
    // itself when it fails.
    ow_open(access);
    if (fill_scratchpad(chip, access, ta1, ta2, data) < 0)
        return -1;
    if (verify_scratchpad(chip, access, address, data, &es) < 0)
        return -1;
    if (copy_scratchpad(chip, access, ta1, ta2, es) < 0)
        return -1;
    return check_copy(chip, access);
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
