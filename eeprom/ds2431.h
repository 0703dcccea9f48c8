// DS2431: 1024-bit EEPROM, four 32-byte pages written in 8-byte rows.
#ifndef IDSTAMP_DS2431_H
#define IDSTAMP_DS2431_H

#include "eeprom/onewire.h"

int ds2431_read(ONE_WIRE_ACCESS *access, unsigned int address, unsigned int length, unsigned char *buffer);
int ds2431_read_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer);
int ds2431_write_row(ONE_WIRE_ACCESS *access, unsigned int address, unsigned char *data);
int ds2431_write_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *data);
int ds2431_read_rom(ONE_WIRE_ACCESS *access, OW_ROM *rom);

#endif
