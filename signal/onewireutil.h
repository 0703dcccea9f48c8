// The 1-Wire CRC steps: CRC-8 of the ROM code and CRC-16 of memory data.
#ifndef IDSTAMP_ONEWIREUTIL_H
#define IDSTAMP_ONEWIREUTIL_H

unsigned char onewire_crc8(unsigned char *crc, unsigned char data);
unsigned short onewire_crc16(unsigned short *crc, unsigned short data);

#endif
