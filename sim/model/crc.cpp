// The chips' checksums, bit by bit: they run a few times per transaction, so
// a table would buy nothing.
#include "sim/crc.h"

namespace sim {

uint8_t crc8(const uint8_t *data, size_t length, uint8_t crc)
{
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint8_t>(crc ^ data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint8_t>((crc & 1u) != 0 ? (crc >> 1) ^ 0x8Cu : crc >> 1);
    }
    return crc;
}

uint16_t crc16(const uint8_t *data, size_t length, uint16_t crc)
{
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(crc ^ data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 1u) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1);
    }
    return crc;
}

} // namespace sim
