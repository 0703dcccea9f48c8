// DS28EC20: eighty 32-byte data pages and a 32-byte scratchpad, so a page is
// written in one row. Its bytes go through the generic byte operations.
#include "eeprom/ds28ec20.h"

#include "eeprom/memory_protocol.h"

static int ds28ec20_send(ONE_WIRE_ACCESS *access, unsigned char value)
{
    return ow_write_byte(access, &ds28ec20Timing, value);
}

static int ds28ec20_receive(ONE_WIRE_ACCESS *access, unsigned char *value)
{
    return ow_read_byte(access, &ds28ec20Timing, value);
}

static const EEPROM_CHIP ds28ec20Chip = {
    &ds28ec20Timing, ds28ec20_send, ds28ec20_receive,
    DS28EC20_MEMORY_BYTES - 1, // bound: the last address, 0xA3F, itself is out of reach (see EEPROM_CHIP)
    32,
    80,
};

int ds28ec20_read(ONE_WIRE_ACCESS *access, unsigned int address, unsigned int length, unsigned char *buffer)
{
    return eeprom_memory_read(&ds28ec20Chip, access, address, length, buffer);
}

int ds28ec20_read_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer)
{
    return eeprom_page_read(&ds28ec20Chip, access, page, buffer);
}

int ds28ec20_write_row(ONE_WIRE_ACCESS *access, unsigned int address, unsigned char *data)
{
    return eeprom_row_write(&ds28ec20Chip, access, address, data);
}

int ds28ec20_write_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *data)
{
    return eeprom_page_write(&ds28ec20Chip, access, page, data);
}
