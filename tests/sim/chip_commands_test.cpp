// The chips' ROM and memory commands, driven through the line.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/sim/sim_master.h"

namespace {

using simtest::Bytes;

TEST(Crc, MatchTheCatalogueCheckValues)
{
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(sim::crc8(digits, 9), 0xA1);
    EXPECT_EQ(sim::crc16(digits, 9), 0xBB3D);
}

// The inverted CRC-16 as the chips send it, low byte first.
Bytes crc_of(Bytes bytes)
{
    const uint16_t crc = static_cast<uint16_t>(~sim::crc16(bytes.data(), bytes.size()));
    return {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)};
}

Bytes cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct ChipCase {
    sim::Chip chip;
    uint8_t family;
    size_t memory, pad;
};

void PrintTo(const ChipCase &c, std::ostream *out)
{
    *out << (c.family == 0x2D ? "DS2431" : "DS28EC20");
}

class ChipTest : public ::testing::TestWithParam<ChipCase> {
protected:
    void SetUp() override { boot({}); }
    void boot(Bytes memory)
    {
        sim::Config config;
        config.chip = GetParam().chip;
        config.memory = std::move(memory);
        sim::start(config);
        m.open();
    }
    Bytes data(size_t count) const
    {
        Bytes bytes(count);
        std::iota(bytes.begin(), bytes.end(), 0x40);
        return bytes;
    }
    size_t pad() const { return GetParam().pad; }

    simtest::Master m;
};

INSTANTIATE_TEST_SUITE_P(Chips, ChipTest,
                         ::testing::Values(ChipCase{sim::Chip::ds2431, 0x2D, 144, 8},
                                           ChipCase{sim::Chip::ds28ec20, 0x43, 2624, 32}),
                         [](const auto &param_info) { return param_info.param.family == 0x2D ? "DS2431" : "DS28EC20"; });

TEST_P(ChipTest, RomCommands)
{
    boot(Bytes(GetParam().memory, 0x00));
    ASSERT_TRUE(m.command({0x33}));
    Bytes rom = m.read_bytes(8);
    EXPECT_EQ(rom[0], GetParam().family);
    EXPECT_EQ(sim::crc8(rom.data(), 7), rom[7]);
    m.write_bytes({0xF0, 0x00, 0x00}); // a memory command follows the ROM
    EXPECT_EQ(m.read_byte(), 0x00);

    for (const bool match : {true, false}) {
        rom[3] = static_cast<uint8_t>(rom[3] ^ (match ? 0 : 0x10));
        ASSERT_TRUE(m.command(cat({0x55}, rom)));
        m.write_bytes({0xF0, 0x00, 0x00});
        EXPECT_EQ(m.read_byte(), match ? 0x00 : 0xFF) << match; // not addressed: quiet
    }
    for (const Bytes &unknown : {Bytes{0x3C}, Bytes{0xCC, 0x99}}) {
        ASSERT_TRUE(m.command(unknown));
        EXPECT_EQ(m.read_bytes(2), Bytes(2, 0xFF));
    }
}

TEST_P(ChipTest, ReadMemoryFromAnAddressToTheEndAndBeyond)
{
    Bytes memory(GetParam().memory);
    std::iota(memory.begin(), memory.end(), 0);
    boot(memory);
    const uint16_t last = static_cast<uint16_t>(GetParam().memory - 1);
    EXPECT_EQ(m.read_memory(0x21, 3), (Bytes{0x21, 0x22, 0x23}));
    EXPECT_EQ(m.read_memory(last, 3), (Bytes{memory[last], 0xFF, 0xFF}));
}

TEST_P(ChipTest, ScratchpadWriteAndReadBack)
{
    struct Case {
        const char *name;
        size_t offset, count; // where the write starts in the row, whole bytes sent
        bool partial;         // a reset cuts the byte after them
        uint8_t flags;        // PF
    };
    const Case cases[] = {
        {"full row", 0, pad(), false, 0x00},
        {"tail of the row", 4, pad() - 4, false, 0x00},
        {"reset inside a byte", 0, 2, true, 0x20},
    };
    for (const Case &c : cases) {
        const uint16_t address = static_cast<uint16_t>(2 * pad() + c.offset);
        const Bytes ta = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
        const Bytes sent = cat(cat({0x0F}, ta), data(c.count));
        ASSERT_TRUE(m.command(cat({0xCC}, sent)));
        if (c.partial) {
            m.write_bit(false);
        } else if (c.offset + c.count == pad()) { // at the end the chip sends the CRC
            EXPECT_EQ(m.read_bytes(3), cat(crc_of(sent), {0xFF})) << c.name;
        }
        ASSERT_TRUE(m.command({0xCC, 0xAA}));
        const Bytes want = cat(cat(ta, {static_cast<uint8_t>(c.flags | (c.offset + c.count - 1))}), data(c.count));
        EXPECT_EQ(m.read_bytes(want.size() + 3), cat(cat(want, crc_of(cat({0xAA}, want))), {0xFF})) << c.name;
    }
}

TEST_P(ChipTest, CopyProgramsOnlyAnAuthorizedFullRow)
{
    struct Case {
        const char *name;
        size_t offset;     // start of the write in the row
        uint8_t es_change; // XORed into the authorization's E/S
        bool programs;
    };
    for (const Case c : {Case{"full row", 0, 0x00, true}, Case{"wrong authorization", 0, 0x01, false},
                         Case{"part of a row", 1, 0x00, false}}) {
        boot({});
        const uint8_t ta1 = static_cast<uint8_t>(pad() + c.offset);
        ASSERT_TRUE(m.command(cat({0xCC, 0x0F, ta1, 0}, data(pad() - c.offset))));
        ASSERT_TRUE(m.command({0xCC, 0xAA}));
        const Bytes head = m.read_bytes(3);
        ASSERT_TRUE(m.command({0xCC, 0x55, head[0], head[1], static_cast<uint8_t>(head[2] ^ c.es_change)}));
        m.wait_us(10010);
        EXPECT_EQ(m.read_bytes(2), Bytes(2, c.programs ? 0xAA : 0xFF)) << c.name;
        ASSERT_TRUE(m.command({0xCC, 0xAA}));
        EXPECT_EQ(m.read_bytes(3)[2] & 0x80, c.programs ? 0x80 : 0x00) << c.name;
        const Bytes row(sim::memory().begin() + static_cast<long>(pad()), sim::memory().begin() + static_cast<long>(2 * pad()));
        EXPECT_EQ(row, c.programs ? data(pad()) : Bytes(pad(), 0xFF)) << c.name;
        EXPECT_EQ(sim::stats().violations, 0u) << c.name;
    }
}

TEST_P(ChipTest, ChipBytesCanBeTampered)
{
    std::vector<sim::TxContext> seen;
    sim::set_tx_tamper([&](const sim::TxContext &context, uint8_t value) {
        seen.push_back(context);
        return context.index == 1 ? static_cast<uint8_t>(value ^ 0x80) : value;
    });
    EXPECT_EQ(m.read_memory(0, 2), (Bytes{0xFF, 0x7F}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].command, 0xF0);
    EXPECT_EQ(seen[1].transaction, 1u);
    sim::set_tx_tamper(nullptr);
}

TEST(Ds2431, ProtectedPageKeepsItsContent)
{
    Bytes memory(144, 0x11);
    memory[0x80 + 1] = 0x55; // page 1 write-protected
    sim::Config config;
    config.memory = memory;
    sim::start(config);
    simtest::Master m;
    m.open();
    EXPECT_EQ(m.write_row(0x20, Bytes(8, 0x22)), -1); // the scratchpad holds the memory's bytes
    ASSERT_TRUE(m.command({0xCC, 0xAA}));
    const Bytes head = m.read_bytes(3);
    EXPECT_EQ(m.read_bytes(8), Bytes(8, 0x11));
    m.command({0xCC, 0x55, head[0], head[1], head[2]});
    m.wait_us(10010);
    EXPECT_EQ(m.read_byte(), 0xAA);
    EXPECT_EQ(sim::memory(), memory);
    EXPECT_EQ(m.write_row(0x40, Bytes(8, 0x22)), 0xAA); // page 2 is not protected
    EXPECT_EQ(sim::memory()[0x40], 0x22);
}

} // namespace
