#include <gtest/gtest.h>

#include "eeprom/onewire.h"
#include "signal/onewireutil.h"

namespace {

unsigned char kDigits[] = "123456789";

// Bit-at-a-time reference, least significant bit first; poly is the
// reflected polynomial.
unsigned int reference_crc(unsigned int crc, unsigned int data, unsigned int poly)
{
    for (int bit = 0; bit < 8; bit++, data >>= 1) {
        crc = ((crc ^ data) & 1) != 0 ? (crc >> 1) ^ poly : crc >> 1;
    }
    return crc;
}

const unsigned int kPoly8 = 0x8C;    // x^8 + x^5 + x^4 + 1
const unsigned int kPoly16 = 0xA001; // x^16 + x^15 + x^2 + 1

TEST(Crc8, TableStartStepsAndCheckValue)
{
    const unsigned char start[] = {0x00, 0x5E, 0xBC, 0xE2, 0x61, 0x3F, 0xDD, 0x83};
    for (unsigned int i = 0; i < 8; i++) {
        unsigned char crc = 0;
        EXPECT_EQ(start[i], onewire_crc8(&crc, static_cast<unsigned char>(i)));
        EXPECT_EQ(start[i], crc);
    }
    unsigned char crc = 0;
    for (unsigned int i = 0; i < 9; i++) {
        onewire_crc8(&crc, kDigits[i]);
    }
    EXPECT_EQ(0xA1, crc);
}

TEST(Crc8, EveryByteFromSeveralStartsMatchesBitwise)
{
    for (unsigned char start : {0x00, 0x01, 0x5E, 0x80, 0xA5, 0xFF}) {
        for (unsigned int data = 0; data < 256; data++) {
            unsigned char crc = start;
            onewire_crc8(&crc, static_cast<unsigned char>(data));
            ASSERT_EQ(reference_crc(start, data, kPoly8), crc) << "start " << int(start) << " data " << data;
        }
    }
}

TEST(Crc16, SingleStepUsesOnlyTheLowByte)
{
    unsigned short crc = 0;
    EXPECT_EQ(0xC0C1, onewire_crc16(&crc, 0x01));
    EXPECT_EQ(0xC0C1, crc);
    crc = 0;
    EXPECT_EQ(0xC0C1, onewire_crc16(&crc, 0x0101));
}

TEST(Crc16, EveryByteFromSeveralStartsMatchesBitwise)
{
    for (unsigned short start : {0x0000, 0x0001, 0x00FF, 0x8000, 0xA5A5, 0x1234, 0xFFFF}) {
        for (unsigned int data = 0; data < 256; data++) {
            const unsigned int expected = reference_crc(start, data, kPoly16);
            unsigned short crc = start;
            ASSERT_EQ(expected, onewire_crc16(&crc, static_cast<unsigned short>(data)))
                << "start " << start << " data " << data;
            ASSERT_EQ(expected, crc);
            crc = start;
            ASSERT_EQ(expected, onewire_crc16(&crc, static_cast<unsigned short>(0xAB00 | data)));
        }
    }
}

TEST(Crc16, BufferCheckValues)
{
    unsigned short crc = 0x5555;
    EXPECT_EQ(0, onewire_calculate_crc16(kDigits, 9, &crc));
    EXPECT_EQ(0xBB3D, crc);
    EXPECT_EQ(0x44C2, static_cast<unsigned short>(~crc));
}

TEST(Crc16, BufferEdgeCases)
{
    unsigned short crc = 0x5555;
    EXPECT_EQ(0, onewire_calculate_crc16(kDigits, 0, &crc));
    EXPECT_EQ(0, crc);
    EXPECT_EQ(0, onewire_calculate_crc16(kDigits, 9, nullptr));
    // The register starts at 0 on every call, not where the last one ended.
    crc = 0;
    onewire_calculate_crc16(kDigits, 1, &crc);
    onewire_calculate_crc16(kDigits, 1, &crc);
    unsigned short single = 0;
    onewire_crc16(&single, kDigits[0]);
    EXPECT_EQ(single, crc);
}

} // namespace
