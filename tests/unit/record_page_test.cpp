#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "board/record_page.h"
#include "board/wexloow.h"

namespace {

using Page = std::vector<unsigned char>;

Page bytes_from_hex(const char *hex)
{
    Page page;
    std::istringstream in(hex);
    for (unsigned int byte = 0; in >> std::hex >> byte;)
        page.push_back(static_cast<unsigned char>(byte));
    return page;
}

struct Example {
    const char *name;
    unsigned int covered, crcOffset;
    const char *page;
};

const Example kExamples[] = {
    {"MAC", 8, offsetof(WEXLO_MAC, crc),
     "01 0a 00 11 22 33 44 55 78 61 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff"},
    {"IPv4", 26, offsetof(WEXLO_IPv4, crc),
     "01 1c c0 a8 01 0a c0 a8 01 01 ff ff ff 00 0a 00 00 05 0a 00 00 01 ff 00 00 00 95 ac ff ff ff ff"},
    {"string", 30, offsetof(WEXLO_GENERIC_STRING, crc),
     "61 62 63 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 e4 d1"},
};

// The check value bytes are asserted as bytes, so a seal that stored a host
// uint16 would fail on a little-endian machine.
TEST(RecordPage, SealWritesTheCheckValueHighByteFirst)
{
    for (const Example &e : kExamples) {
        const Page expected = bytes_from_hex(e.page);
        ASSERT_EQ(32u, expected.size());
        Page page = expected;
        page[e.crcOffset] = page[e.crcOffset + 1] = 0;
        EXPECT_EQ(0, record_seal(page.data(), e.covered, e.crcOffset));
        EXPECT_EQ(expected, page) << e.name;
        unsigned short computed = 0;
        EXPECT_EQ(0, record_check(page.data(), e.covered, e.crcOffset, &computed));
        EXPECT_EQ(record_stored_crc(page.data(), e.crcOffset), computed);
    }
}

// Any byte up to the end of the check value counts; the reserved bytes after
// it don't. A changed header passes again once sealed again.
TEST(RecordPage, CheckCoversExactlyTheRecordBytes)
{
    for (const Example &e : kExamples) {
        const Page sealed = bytes_from_hex(e.page);
        for (unsigned int offset = 0; offset < 32; offset++) {
            Page page = sealed;
            page[offset] ^= 0x01;
            EXPECT_EQ(offset < e.crcOffset + 2 ? -1 : 0, record_check(page.data(), e.covered, e.crcOffset, nullptr))
                << e.name << " offset " << offset;
        }
        Page page = sealed;
        page[0] = 7;
        ASSERT_EQ(0, record_seal(page.data(), e.covered, e.crcOffset));
        EXPECT_EQ(0, record_check(page.data(), e.covered, e.crcOffset, nullptr)) << e.name;
    }
}

TEST(RecordPage, NullPage)
{
    unsigned short computed = 0xBEEF;
    EXPECT_EQ(-1, record_seal(nullptr, 8, 8));
    EXPECT_EQ(-1, record_check(nullptr, 8, 8, &computed));
    EXPECT_EQ(0xBEEF, computed);
}

} // namespace
