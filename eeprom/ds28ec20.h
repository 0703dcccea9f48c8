// DS28EC20: 20480-bit EEPROM, eighty 32-byte pages written one page a row.
#ifndef IDSTAMP_DS28EC20_H
#define IDSTAMP_DS28EC20_H

#include "eeprom/onewire.h"

int ds28ec20_read(ONE_WIRE_ACCESS *access, unsigned int address, unsigned int length, unsigned char *buffer);
int ds28ec20_read_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer);
int ds28ec20_write_row(ONE_WIRE_ACCESS *access, unsigned int address, unsigned char *data);
int ds28ec20_write_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *data);

#endif
