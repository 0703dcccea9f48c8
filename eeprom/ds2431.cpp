// DS2431: four 32-byte data pages, an 8-byte scratchpad, and the ROM read
// that serves both chips. Its bytes go through byte routines of its own over
// the single-slot operations.
#include "eeprom/ds2431.h"

#include <stdio.h>

#include "eeprom/memory_protocol.h"
#include "signal/onewireutil.h"

enum { CMD_READ_ROM = 0x33 };

static int ds2431_write_byte(ONE_WIRE_ACCESS *access, unsigned char value)
{
    for (unsigned int i = 0; i < 8; i++) {
        if ((value & 1) != 0) {
            if (ow_write_one(&ds2431Timing, access) < 0) {
                puts("ds2431_write_bye: failed to write a 1");
                return -1;
            }
        } else if (ow_write_zero(&ds2431Timing, access) < 0) {
            puts("ds2431_write_bye: failed to write a 0");
            return -1;
        }
        value = static_cast<unsigned char>(value >> 1);
    }
    return 0;
}

static int ds2431_read_byte(ONE_WIRE_ACCESS *access, unsigned char *byte)
{
    if (byte == nullptr || access == nullptr)
        return -1;
    unsigned char value = 0;
    for (unsigned int i = 0; i < 8; i++) {
        unsigned char bit = 0;
        if (ow_read_bit(&ds2431Timing, access, &bit) < 0)
            return -1;
        value = static_cast<unsigned char>(value | (bit << i));
    }
    *byte = value;
    return 0;
}

static const EEPROM_CHIP ds2431Chip = {
    &ds2431Timing, ds2431_write_byte, ds2431_read_byte,
    143, // bound: the last address, 0x8F, itself is out of reach (see EEPROM_CHIP)
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

// Read ROM addresses the single device on the line, whichever chip it is.
int ds2431_read_rom(ONE_WIRE_ACCESS *access, OW_ROM *rom)
{
    puts("Resetting device");
    ow_open(access);

    if (ow_reset_presence_pulse(&ds2431Timing, access) < 0) {
        puts("Reset-presence pulse failed");
        ow_close(access);
        return -1;
    }
    if (ds2431_write_byte(access, CMD_READ_ROM) < 0) {
        puts("Failed to write READ ROM cmd");
        ow_close(access);
        return -1;
    }

    // The record is the eight bytes in the order they arrive.
    unsigned char *bytes = rom != nullptr ? &rom->family : nullptr;
    for (int i = 0; i < 8; i++) {
        if (ds2431_read_byte(access, bytes != nullptr ? bytes + i : nullptr) < 0) {
            printf("Failed to read ROM byte (%d)\n", i);
            ow_close(access);
            return -1;
        }
    }

    unsigned char crc = 0;
    for (int i = 0; i < 7; i++)
        onewire_crc8(&crc, bytes[i]);
    if (crc == rom->crc) {
        puts("CRC-8 OK! ");
        ow_close(access);
        return 0;
    }
    printf("CRC-8 BAD! (0x%x)\n", crc);
    ow_close(access);
    return -1;
}
