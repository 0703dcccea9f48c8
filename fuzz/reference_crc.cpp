#include "fuzz/reference_crc.h"

namespace codec {

uint16_t crc16(const uint8_t *bytes, size_t length)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < length; i++) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit++)
            crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

bool sealed(const uint8_t *page, size_t covered)
{
    const uint16_t check = static_cast<uint16_t>(~crc16(page, covered));
    return page[covered] == (check >> 8) && page[covered + 1] == (check & 0xFF);
}

void seal(uint8_t *page, size_t covered)
{
    const uint16_t check = static_cast<uint16_t>(~crc16(page, covered));
    page[covered] = static_cast<uint8_t>(check >> 8);
    page[covered + 1] = static_cast<uint8_t>(check & 0xFF);
}

} // namespace codec
