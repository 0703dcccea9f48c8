// Chip-independent face of the EEPROM drivers: ROM identity, page read and
// write routed by family code, and the buffer CRC-16.
#ifndef IDSTAMP_ONEWIRE_H
#define IDSTAMP_ONEWIRE_H

#include "signal/onewiresignal.h"

#define OW_FAMILY_DS2431 0x2D
#define OW_FAMILY_DS28EC20 0x43
#define OW_PAGE_SIZE 32

// The 64-bit ROM code in the order it arrives on the bus.
typedef struct {
    unsigned char family;
    unsigned char serial[6]; // least significant byte first
    unsigned char crc;
} OW_ROM;

static_assert(sizeof(OW_ROM) == 8, "the ROM code is eight bytes");

int onewire_read_rom(ONE_WIRE_ACCESS *access, OW_ROM *rom);
int onewire_read_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer);
int onewire_write_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer);
const char *onewire_chip_family(ONE_WIRE_ACCESS *access);
int onewire_calculate_crc16(unsigned char *buffer, unsigned int length, unsigned short *crc);

#endif
