// The chips' Copy Scratchpad as a master sees it through the line: it programs
// only a full row with the right authorization, and then sets AA.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/support/software_master.h"

namespace {

using simtest::Bytes;

TEST(Copy, ProgramsOnlyAnAuthorizedFullRow)
{
    struct Case {
        const char *name;
        size_t offset;     // start of the write in the row
        uint8_t es_change; // XORed into the authorization's E/S
        bool programs;
    };
    for (const sim::Chip chip : {sim::Chip::ds2431, sim::Chip::ds28ec20}) {
        const size_t row = chip == sim::Chip::ds2431 ? 8 : 32;
        Bytes data(row);
        std::iota(data.begin(), data.end(), 0x40);
        for (const Case c : {Case{"full row", 0, 0x00, true}, Case{"wrong authorization", 0, 0x01, false},
                             Case{"part of a row", 1, 0x00, false}}) {
            sim::Config config;
            config.chip = chip;
            sim::start(config);
            simtest::Master m;
            m.open();
            Bytes write = {0xCC, 0x0F, static_cast<uint8_t>(row + c.offset), 0};
            for (size_t i = c.offset; i < row; i++)
                write.push_back(data[i]);
            ASSERT_TRUE(m.command(write));
            ASSERT_TRUE(m.command({0xCC, 0xAA}));
            const Bytes head = m.read_bytes(3);
            ASSERT_TRUE(m.command({0xCC, 0x55, head[0], head[1], static_cast<uint8_t>(head[2] ^ c.es_change)}));
            m.wait_us(10010);
            EXPECT_EQ(m.read_bytes(2), Bytes(2, c.programs ? 0xAA : 0xFF)) << c.name << " " << row;
            ASSERT_TRUE(m.command({0xCC, 0xAA}));
            EXPECT_EQ(m.read_bytes(3)[2] & 0x80, c.programs ? 0x80 : 0x00) << c.name << " " << row;
            const auto at = sim::memory().begin() + static_cast<long>(row);
            EXPECT_EQ(Bytes(at, at + static_cast<long>(row)), c.programs ? data : Bytes(row, 0xFF)) << c.name;
            EXPECT_EQ(sim::stats().violations, 0u) << c.name;
        }
    }
}

} // namespace
