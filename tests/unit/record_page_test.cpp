#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "board/record_page.h"
#include "board/wexloow.h"
#include "eeprom/onewire.h"

namespace {

using Page = std::vector<unsigned char>;

Page bytes_from_hex(const char *hex)
{
    Page page;
    for (const char *p = hex; *p != '\0';) {
        if (*p == ' ') {
            p++;
            continue;
        }
        page.push_back(static_cast<unsigned char>(std::stoul(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return page;
}

struct Layout {
    const char *name;
    unsigned int covered;
    unsigned int crcOffset;
};

const Layout kMac = {"MAC", 8, offsetof(WEXLO_MAC, crc)};
const Layout kIpv4 = {"IPv4", 26, offsetof(WEXLO_IPv4, crc)};
const Layout kString = {"string", 30, offsetof(WEXLO_GENERIC_STRING, crc)};

struct Example {
    Layout layout;
    const char *page;
};

const Example kExamples[] = {
    {kMac, "01 0a 00 11 22 33 44 55 78 61 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff"},
    {kIpv4, "01 1c c0 a8 01 0a c0 a8 01 01 ff ff ff 00 0a 00 00 05 0a 00 00 01 ff 00 00 00 95 ac ff ff ff ff"},
    {kString, "61 62 63 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 e4 d1"},
};

// The check value bytes are asserted as bytes, so a seal that stored a host
// uint16 would fail on a little-endian machine.
TEST(RecordPage, SealWritesTheCheckValueHighByteFirst)
{
    for (const Example &example : kExamples) {
        const Page expected = bytes_from_hex(example.page);
        ASSERT_EQ(32u, expected.size());
        Page page = expected;
        page[example.layout.crcOffset] = 0;
        page[example.layout.crcOffset + 1] = 0;
        EXPECT_EQ(0, record_seal(page.data(), example.layout.covered, example.layout.crcOffset));
        EXPECT_EQ(expected, page) << example.layout.name;

        unsigned short computed = 0;
        EXPECT_EQ(0, record_check(page.data(), example.layout.covered, example.layout.crcOffset, &computed));
        EXPECT_EQ(record_stored_crc(page.data(), example.layout.crcOffset), computed);
        EXPECT_EQ(0, record_check(page.data(), example.layout.covered, example.layout.crcOffset, nullptr));
    }
}

TEST(RecordPage, CheckCoversExactlyTheRecordBytes)
{
    for (const Example &example : kExamples) {
        const Layout &layout = example.layout;
        const Page sealed = bytes_from_hex(example.page);
        for (unsigned int offset = 0; offset < 32; offset++) {
            Page page = sealed;
            page[offset] ^= 0x01;
            bool inRecord = offset < layout.crcOffset + 2;
            EXPECT_EQ(inRecord ? -1 : 0, record_check(page.data(), layout.covered, layout.crcOffset, nullptr))
                << layout.name << " offset " << offset;
        }
        // A changed header or field passes again once it is sealed again.
        Page page = sealed;
        page[0] = 7;
        ASSERT_EQ(0, record_seal(page.data(), layout.covered, layout.crcOffset));
        EXPECT_EQ(0, record_check(page.data(), layout.covered, layout.crcOffset, nullptr)) << layout.name;
    }
}

TEST(RecordPage, ErasedAndZeroPagesFailButHandBackTheComputedValue)
{
    for (const Layout &layout : {kMac, kIpv4, kString}) {
        Page zero(32, 0x00);
        unsigned short computed = 0;
        EXPECT_EQ(-1, record_check(zero.data(), layout.covered, layout.crcOffset, &computed));
        EXPECT_EQ(0xFFFF, computed) << layout.name;

        Page erased(32, 0xFF);
        unsigned short crc = 0;
        onewire_calculate_crc16(erased.data(), layout.covered, &crc);
        computed = 0;
        EXPECT_EQ(-1, record_check(erased.data(), layout.covered, layout.crcOffset, &computed));
        EXPECT_EQ(static_cast<unsigned short>(~crc), computed) << layout.name;
    }
}

TEST(RecordPage, NullPage)
{
    unsigned short computed = 0xBEEF;
    EXPECT_EQ(-1, record_seal(nullptr, 8, 8));
    EXPECT_EQ(-1, record_check(nullptr, 8, 8, &computed));
    EXPECT_EQ(0xBEEF, computed);
}

const char kDumpHead[] =
    "   00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n"
    "   -----------------------------------------------";
const char kMacDumpBytes[] =
    "\n   01 0a 00 11 22 33 44 55 78 61 ff ff ff ff ff ff"
    "\n   ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff";

TEST(RecordPage, DumpListings)
{
    const Page page = bytes_from_hex(kExamples[0].page);

    testing::internal::CaptureStdout();
    record_dump_crc_failure(page.data());
    fflush(stdout);
    EXPECT_EQ(std::string("   Page Contents:\n") + kDumpHead + kMacDumpBytes,
              testing::internal::GetCapturedStdout());

    testing::internal::CaptureStdout();
    record_dump_raw(page.data(), 7);
    fflush(stdout);
    EXPECT_EQ(std::string("   Page 7 contents:\n") + kDumpHead + kMacDumpBytes + "\r\n",
              testing::internal::GetCapturedStdout());
}

} // namespace
