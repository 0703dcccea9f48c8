#include <gtest/gtest.h>

#include "eeprom/onewire.h"
#include "signal/onewireutil.h"

namespace {

unsigned char kDigits[] = "123456789";

// Bit-at-a-time reference, least significant bit first; poly is the
// reflected polynomial.
unsigned int reference_crc(unsigned int crc, unsigned int data, unsigned int poly)
{
    for (int bit = 0; bit < 8; bit++, data >>= 1)
        crc = ((crc ^ data) & 1) != 0 ? (crc >> 1) ^ poly : crc >> 1;
    return crc;
}

// Every byte from several starts, against x^8 + x^5 + x^4 + 1 and
// x^16 + x^15 + x^2 + 1; the CRC-16 step looks only at the data's low byte.
TEST(Crc, EveryByteFromSeveralStartsMatchesBitwise)
{
    for (const unsigned short start : {0x0000, 0x0001, 0x005E, 0x00FF, 0x8000, 0xA5A5, 0xFFFF}) {
        for (unsigned int data = 0; data < 256; data++) {
            unsigned char crc8 = static_cast<unsigned char>(start);
            const unsigned char got = onewire_crc8(&crc8, static_cast<unsigned char>(data));
            ASSERT_EQ(reference_crc(start & 0xFF, data, 0x8C), got) << start << " " << data;
            ASSERT_EQ(got, crc8);
            const unsigned int expected = reference_crc(start, data, 0xA001);
            unsigned short crc16 = start;
            ASSERT_EQ(expected, onewire_crc16(&crc16, static_cast<unsigned short>(0xAB00 | data)));
            ASSERT_EQ(expected, crc16) << start << " " << data;
        }
    }
}

TEST(Crc, Buffer)
{
    unsigned short crc = 0x5555;
    EXPECT_EQ(0, onewire_calculate_crc16(kDigits, 9, &crc));
    EXPECT_EQ(0xBB3D, crc); // the catalogue's check value
    crc = 0x5555;
    EXPECT_EQ(0, onewire_calculate_crc16(kDigits, 0, &crc));
    EXPECT_EQ(0, crc);
    EXPECT_EQ(0, onewire_calculate_crc16(kDigits, 9, nullptr));
    // The register starts at 0 on every call, not where the last one ended.
    onewire_calculate_crc16(kDigits, 1, &crc);
    onewire_calculate_crc16(kDigits, 1, &crc);
    unsigned short single = 0;
    EXPECT_EQ(onewire_crc16(&single, kDigits[0]), crc);
}

} // namespace
