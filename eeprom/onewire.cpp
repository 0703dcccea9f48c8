// Chip dispatch: page operations go to the driver of the family code cached
// in the access descriptor. The ROM read, which finds that code, is the same
// for both chips.
#include "eeprom/onewire.h"

#include "eeprom/ds2431.h"
#include "eeprom/ds28ec20.h"

int onewire_read_rom(ONE_WIRE_ACCESS *access, OW_ROM *rom)
{
    return ds2431_read_rom(access, rom);
}

int onewire_read_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer)
{
    switch (access->familyCode) {
    case OW_FAMILY_DS2431:
        return ds2431_read_page(access, page, buffer);
    case OW_FAMILY_DS28EC20:
        return ds28ec20_read_page(access, page, buffer);
    default:
        return -1;
    }
}

int onewire_write_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer)
{
    switch (access->familyCode) {
    case OW_FAMILY_DS2431:
        return ds2431_write_page(access, page, buffer);
    case OW_FAMILY_DS28EC20:
        return ds28ec20_write_page(access, page, buffer);
    default:
        return -1;
    }
}

const char *onewire_chip_family(ONE_WIRE_ACCESS *access)
{
    switch (access->familyCode) {
    case OW_FAMILY_DS2431:
        return "DS2431";
    case OW_FAMILY_DS28EC20:
        return "DS28EC20";
    default:
        return "UNKNOWN";
    }
}
