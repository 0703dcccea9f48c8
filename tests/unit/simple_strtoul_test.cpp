#include <gtest/gtest.h>

#include "board/simple_strtoul.h"

namespace {

struct StrtoulCase {
    const char *text;
    unsigned int base;
    unsigned int value;
    long endOffset;
};

const StrtoulCase kCases[] = {
    {"", 10, 0, 0},
    {"123abc", 10, 123, 3},
    {"9a", 10, 9, 1},            // a hex digit, but not below the base
    {" 1", 10, 0, 0},            // no white space skipping
    {"-1", 10, 0, 0},            // no sign
    {"+1", 10, 0, 0},
    {"0x1f", 10, 31, 4},         // the prefix overrides the caller's base
    {"0X1f", 16, 0, 1},          // only a lower-case x; the 0 is consumed
    {"0x", 16, 0, 1},
    {"0xg", 10, 0, 1},
    {"0x5", 10, 5, 3},           // one hex digit is enough for the prefix
    {"0xf", 8, 15, 3},
    {"0x55", 10, 0x55, 4},
    {"010", 10, 10, 3},
    {"010", 0, 8, 3},
    {"08", 0, 0, 1},
    {"0x10", 0, 16, 4},
    {"12", 0, 12, 2},
    {"aB", 16, 0xAB, 2},
    {"FF:34", 16, 0xFF, 2},
    {"300", 10, 300, 3},
    {"4294967295", 10, 4294967295u, 10},
    {"4294967306", 10, 10, 10},  // wraps, no overflow check
    {"78", 8, 7, 1},
    {"1g", 16, 1, 1},
    {"1\xb2", 16, 1, 1},         // high bytes are never digits
};

TEST(SimpleStrtoul, ValueAndEndPosition)
{
    for (const StrtoulCase &c : kCases) {
        char *end = nullptr;
        EXPECT_EQ(c.value, simple_strtoul(c.text, &end, c.base)) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(c.endOffset, end - c.text) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(c.value, simple_strtoul(c.text, nullptr, c.base)) << c.text;
    }
}

} // namespace
