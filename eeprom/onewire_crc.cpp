// CRC-16 over a buffer, register starting at 0, no final XOR.
#include "eeprom/onewire.h"
#include "signal/onewireutil.h"

int onewire_calculate_crc16(unsigned char *buffer, unsigned int length, unsigned short *crc)
{
    unsigned short running = 0;

    for (unsigned int i = 0; i < length; i++) {
        onewire_crc16(&running, buffer[i]);
    }
    if (crc != nullptr) {
        *crc = running;
    }
    return 0;
}
