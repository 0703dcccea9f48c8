// DS2431: four 32-byte data pages, an 8-byte scratchpad, and the ROM read
// that serves both chips. Its bytes go through byte routines of its own over
// the single-slot operations.
#include "eeprom/ds2431.h"

#include <stdio.h>

#include "eeprom/memory_protocol.h"
#include "eeprom/rerun.h"
#include "signal/onewireutil.h"

enum { CMD_READ_ROM = 0x33 };

// A failing slot's line is held: it is printed only if the failure stands.
// A disturbed slot does not stop the byte, so the chip is not left mid-byte.
static int ds2431_write_byte(ONE_WIRE_ACCESS *access, unsigned char value)
{
    int result = 0;
    const char *line = nullptr;
    for (unsigned int i = 0; i < 8; i++) {
        const int one = (value & 1) != 0;
        const int rc = one ? ow_write_one(&ds2431Timing, access) : ow_write_zero(&ds2431Timing, access);
        if (rc < 0 && line == nullptr)
            line = one ? "ds2431_write_bye: failed to write a 1" : "ds2431_write_bye: failed to write a 0";
        if (!ow_in_step(rc)) {
            result = rc;
            break;
        }
        result = rc < 0 ? rc : result;
        value = static_cast<unsigned char>(value >> 1);
    }
    if (line != nullptr)
        eeprom_hold_line(line);
    return result;
}

static int ds2431_read_byte(ONE_WIRE_ACCESS *access, unsigned char *byte)
{
    if (byte == nullptr || access == nullptr)
        return -1;
    unsigned char value = 0;
    int result = 0;
    for (unsigned int i = 0; i < 8; i++) {
        unsigned char bit = 0;
        const int rc = ow_read_bit(&ds2431Timing, access, &bit);
        if (!ow_in_step(rc))
            return rc;
        result = rc < 0 ? rc : result;
        value = static_cast<unsigned char>(value | (bit << i));
    }
    if (result == 0)
        *byte = value;
    return result;
}

static const EEPROM_CHIP ds2431Chip = {
    &ds2431Timing, ds2431_write_byte, ds2431_read_byte,
    DS2431_MEMORY_BYTES - 1, // bound: the last address, 0x8F, itself is out of reach (see EEPROM_CHIP)
    8,
    4,
};

int ds2431_read(ONE_WIRE_ACCESS *access, unsigned int address, unsigned int length, unsigned char *buffer)
{
    return eeprom_memory_read(&ds2431Chip, access, address, length, buffer);
}

int ds2431_read_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer)
{
    return eeprom_page_read(&ds2431Chip, access, page, buffer);
}

int ds2431_write_row(ONE_WIRE_ACCESS *access, unsigned int address, unsigned char *data)
{
    return eeprom_row_write(&ds2431Chip, access, address, data);
}

int ds2431_write_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *data)
{
    return eeprom_page_write(&ds2431Chip, access, page, data);
}

// One Read ROM transaction on the open line. The ROM never changes, so a
// byte read from clean slots in any pass is kept; 0 once all eight are.
static int read_rom_once(ONE_WIRE_ACCESS *access, unsigned char *bytes, unsigned char *clean)
{
    int rc = ow_reset_presence_pulse(&ds2431Timing, access);
    if (rc < 0) {
        eeprom_hold_line("Reset-presence pulse failed");
        return rc;
    }
    rc = ds2431_write_byte(access, CMD_READ_ROM);
    if (rc < 0) {
        eeprom_hold_line("Failed to write READ ROM cmd");
        return rc == OW_DISTURBED ? OW_LOST : rc; // the chip may be on another command
    }
    int result = 0;
    int missing = 0;
    for (int i = 0; i < 8; i++)
        missing += !clean[i];
    for (int i = 0; i < 8 && missing != 0; i++) {
        unsigned char byte = 0;
        rc = ds2431_read_byte(access, bytes != nullptr ? &byte : nullptr);
        if (rc == 0 && !clean[i]) {
            bytes[i] = byte;
            clean[i] = 1;
            missing--;
        }
        if (rc < 0 && !clean[i] && result == 0) {
            char line[32];
            snprintf(line, sizeof line, "Failed to read ROM byte (%d)", i);
            eeprom_hold_line(line);
            result = rc;
        }
        if (!ow_in_step(rc))
            return rc;
    }
    return result;
}

// Read ROM addresses the single device on the line, whichever chip it is.
// A disturbed read is run again at once, from its reset, saying nothing.
int ds2431_read_rom(ONE_WIRE_ACCESS *access, OW_ROM *rom)
{
    puts("Resetting device");
    ow_open(access);
    unsigned char *bytes = rom != nullptr ? &rom->family : nullptr;
    unsigned char clean[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    unsigned int rerunsLeft = EEPROM_RERUN_LIMIT;
    int rc;
    do
        rc = read_rom_once(access, bytes, clean);
    while (eeprom_rerun(rc, &rerunsLeft));

    if (rc == 0) {
        unsigned char crc = 0;
        for (int i = 0; i < 7; i++)
            onewire_crc8(&crc, bytes[i]);
        // A clean read holds no line (each failing step returns at once):
        // this only keeps one from outliving the read.
        eeprom_drop_held();
        if (crc == rom->crc) {
            puts("CRC-8 OK! ");
        } else {
            printf("CRC-8 BAD! (0x%x)\n", crc);
            rc = -1;
        }
    } else {
        eeprom_print_held();
    }
    ow_close(access);
    return rc < 0 ? -1 : 0;
}
