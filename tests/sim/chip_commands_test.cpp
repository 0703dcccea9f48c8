// The chips' scratchpad commands and Read Memory as a master sees them
// through the line, on every chip, including what the tool itself never
// sends: fills from any offset, fills that stop early or inside a byte,
// copies of part of a row, reads at and past the last address.
#include <gtest/gtest.h>

#include <string>

#include "harness/software_master.h"
#include "sim/config.h"
#include "sim/crc.h"
#include "sim/run.h"
#include "sim/test_probes.h"

namespace {

using simtest::Bytes;
using simtest::Master;

constexpr uint8_t kPf = 0x20, kAa = 0x80;

struct ChipFacts {
    sim::Chip chip;
    const char *name;
    size_t row, memory;
};
const ChipFacts kDs2431 = {sim::Chip::ds2431, "DS2431", 8, 144};
const ChipFacts kDs28ec20 = {sim::Chip::ds28ec20, "DS28EC20", 32, 2624};
const ChipFacts kDs2433 = {sim::Chip::ds2433, "DS2433", 32, 512};

// A chip whose memory holds a pattern of its own at every address.
std::vector<uint8_t> patterned_memory(const ChipFacts &chip)
{
    std::vector<uint8_t> memory(chip.memory);
    for (size_t i = 0; i < memory.size(); ++i)
        memory[i] = static_cast<uint8_t>(i * 7 + 3);
    return memory;
}

Bytes address_bytes(uint16_t address)
{
    return {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
}

// Write Scratchpad of count whole bytes (each 0x40 + its offset in the
// scratchpad), then bits more of the next one (0s), ended by the next reset.
// Returns the bytes the master sent after the ROM command.
Bytes fill(Master &m, uint16_t address, size_t row, size_t count, int bits = 0)
{
    Bytes sent = {0x0F};
    const Bytes ta = address_bytes(address);
    sent.insert(sent.end(), ta.begin(), ta.end());
    const size_t offset = address & (row - 1);
    for (size_t i = 0; i < count; ++i)
        sent.push_back(static_cast<uint8_t>(0x40 + offset + i));
    m.command({0xCC});
    m.write_bytes(sent);
    for (int i = 0; i < bits; ++i)
        m.write_bit(false);
    return sent;
}

Bytes inverted_crc(const Bytes &bytes)
{
    const uint16_t sum = static_cast<uint16_t>(~sim::crc16(bytes.data(), bytes.size()));
    return {static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8)};
}

// What Write Scratchpad leaves in E/S, what it answers after the data, and
// what Read Scratchpad then sends: TA, E/S, the scratchpad from the target's
// offset to its end (bytes never written still 0xFF from power-up), the
// inverted CRC of all that.
TEST(Scratchpad, WriteFromAnyOffsetAndReadBack)
{
    struct Case {
        const char *name;
        unsigned offset;
        int count; // whole data bytes; -1: an address cut after TA1, 0: no data
        int bits;  // bits of one more byte
        bool to_end;
    };
    for (const ChipFacts &chip : {kDs2431, kDs28ec20, kDs2433}) {
        const unsigned row = static_cast<unsigned>(chip.row);
        const Case cases[] = {
            {"whole row", 0, static_cast<int>(row), 0, true},
            {"from offset 5 to the end", 5, static_cast<int>(row - 5), 0, true},
            {"2 bytes from offset 5", 5, 2, 0, false},
            {"2 bytes from offset 5 and 3 bits", 5, 2, 3, false},
            {"nothing but the address", 3, 0, 0, false},
            {"3 bits after the address", 3, 0, 3, false},
            {"the last byte alone", row - 1, 1, 0, true},
            {"address cut after TA1", 0, -1, 0, false},
        };
        for (const Case &c : cases) {
            const std::string label = std::string(chip.name) + ", " + c.name;
            sim::Config config;
            config.chip = chip.chip;
            sim::start(config);
            Master m;
            m.open();
            const uint16_t address = static_cast<uint16_t>(row + c.offset);
            Bytes written;
            if (c.count < 0) {
                m.command({0xCC, 0x0F, static_cast<uint8_t>(address)});
            } else {
                written = fill(m, address, row, static_cast<size_t>(c.count), c.bits);
                // A fill to the scratchpad's end is answered with the CRC of
                // the command, address and data, then 1s. Short of the end
                // the chip still listens: it would take read slots for 1s.
                if (c.to_end) {
                    Bytes answer = inverted_crc(written);
                    answer.push_back(0xFF);
                    EXPECT_EQ(m.read_bytes(3), answer) << label;
                }
            }

            ASSERT_TRUE(m.command({0xCC, 0xAA})) << label;
            Bytes expected;
            unsigned start = 0;
            if (c.count < 0) {
                // The registers as they came up: TA 0, E the row's last
                // offset, PF set.
                expected = {0x00, 0x00, static_cast<uint8_t>(kPf | (row - 1))};
            } else {
                start = c.offset;
                const unsigned last = c.offset + static_cast<unsigned>(c.count > 0 ? c.count - 1 : 0);
                const uint8_t pf = c.bits != 0 ? kPf : 0;
                expected = address_bytes(address);
                expected.push_back(static_cast<uint8_t>(pf | last));
            }
            for (unsigned i = start; i < row; ++i) {
                const bool written_here = c.count > 0 && i >= c.offset && i < c.offset + static_cast<unsigned>(c.count);
                expected.push_back(written_here ? static_cast<uint8_t>(0x40 + i) : 0xFF);
            }
            Bytes with_command = {0xAA};
            with_command.insert(with_command.end(), expected.begin(), expected.end());
            const Bytes crc = inverted_crc(with_command);
            expected.insert(expected.end(), crc.begin(), crc.end());
            expected.push_back(0xFF); // then 1s
            EXPECT_EQ(m.read_bytes(expected.size()), expected) << label;
            EXPECT_EQ(sim::stats().violations, 0u) << label;
        }
    }
}

// Copy Scratchpad with the TA and E/S just read back (changed where a case
// says), after the scratchpad first held a whole other fill of the row. The
// DS28EC20 copies the bytes from the beginning offset through the ending
// offset; the DS2431 only whole rows from offset 0, all eight bytes of the
// scratchpad; the DS2433 as the DS28EC20. All refuse after a fill that broke
// off inside a byte and a wrong authorization; the DS2431 and the DS28EC20 a
// target outside the memory (the DS2433 keeps nine address bits, so a target
// of 0x200 is 0x000: see Ds2433.KeepsNineAddressBits); the DS28EC20 also
// after a Read Memory.
TEST(Copy, EachChipCopiesWhatItsRulesAllow)
{
    enum Outcome { refused, whole_scratchpad, offset_through_e };
    struct Case {
        const char *name;
        unsigned offset;
        size_t count;
        int bits;
        uint8_t es_change;  // XORed into the authorization's E/S
        bool read_between;  // a Read Memory between the fill and the copy
        bool outside;       // target the first address past the memory
        Outcome ds2431, ds28ec20, ds2433;
    };
    const Case cases[] = {
        {"whole row", 0, 0, 0, 0x00, false, false, whole_scratchpad, offset_through_e, offset_through_e},
        {"3 bytes from offset 5", 5, 3, 0, 0x00, false, false, refused, offset_through_e, offset_through_e},
        {"from offset 1 to the end", 1, 0, 0, 0x00, false, false, refused, offset_through_e, offset_through_e},
        {"3 bytes from offset 0", 0, 3, 0, 0x00, false, false, whole_scratchpad, offset_through_e, offset_through_e},
        {"3 bytes and 4 bits", 0, 3, 4, 0x00, false, false, refused, refused, refused},
        {"wrong E/S", 0, 0, 0, 0x01, false, false, refused, refused, refused},
        {"Read Memory between", 0, 0, 0, 0x00, true, false, whole_scratchpad, refused, offset_through_e},
        {"past the memory", 0, 0, 0, 0x00, false, true, refused, refused, refused},
    };
    for (const ChipFacts &chip : {kDs2431, kDs28ec20, kDs2433}) {
        const size_t row = chip.row;
        for (const Case &c : cases) {
            if (c.outside && chip.chip == sim::Chip::ds2433)
                continue;
            const std::string label = std::string(chip.name) + ", " + c.name;
            sim::Config config;
            config.chip = chip.chip;
            config.memory = patterned_memory(chip);
            sim::start(config);
            Master m;
            m.open();
            const uint16_t base = static_cast<uint16_t>(c.outside ? chip.memory : row);
            const uint16_t address = static_cast<uint16_t>(base + c.offset);
            const size_t count = c.count != 0 ? c.count : row - c.offset;

            // The earlier fill, 0xB0 + offset, never copied.
            Bytes earlier = {0xCC, 0x0F};
            const Bytes ta_base = address_bytes(base);
            earlier.insert(earlier.end(), ta_base.begin(), ta_base.end());
            Bytes pad(row);
            for (size_t i = 0; i < row; ++i)
                earlier.push_back(pad[i] = static_cast<uint8_t>(0xB0 + i));
            ASSERT_TRUE(m.command(earlier)) << label;
            fill(m, address, row, count, c.bits);
            for (size_t i = c.offset; i < c.offset + count; ++i)
                pad[i] = static_cast<uint8_t>(0x40 + i);
            if (c.read_between)
                m.read_memory(0, 1);

            ASSERT_TRUE(m.command({0xCC, 0xAA})) << label;
            const Bytes head = m.read_bytes(3);
            ASSERT_TRUE(m.command({0xCC, 0x55, head[0], head[1], static_cast<uint8_t>(head[2] ^ c.es_change)}));
            m.wait_us(10010);
            const Outcome outcome = chip.chip == sim::Chip::ds2431     ? c.ds2431
                                    : chip.chip == sim::Chip::ds28ec20 ? c.ds28ec20
                                                                       : c.ds2433;
            EXPECT_EQ(m.read_bytes(2), Bytes(2, outcome == refused ? 0xFF : 0xAA)) << label;
            ASSERT_TRUE(m.command({0xCC, 0xAA})) << label;
            EXPECT_EQ(m.read_bytes(3)[2] & kAa, outcome == refused ? 0 : kAa) << label;

            Bytes expected_memory = patterned_memory(chip);
            for (size_t i = 0; i < row && !c.outside; ++i) {
                const bool copied = outcome == whole_scratchpad
                                    || (outcome == offset_through_e && i >= c.offset && i < c.offset + count);
                if (copied)
                    expected_memory[row + i] = pad[i];
            }
            EXPECT_EQ(sim::memory(), expected_memory) << label;
            EXPECT_EQ(sim::stats().copies, outcome == refused ? 0u : 1u) << label;
            EXPECT_EQ(sim::stats().violations, 0u) << label;
        }
    }
}

// The DS2431's protection bytes: 55h write-protects a data page (a copy
// goes through and changes nothing), AAh puts it in EPROM mode (bits are only
// cleared); either makes the protection byte itself read-only. The
// copy-protection byte at 55h or AAh blocks copies to the register rows and
// to write-protected pages. The factory byte is read-only.
TEST(Copy, Ds2431ProtectionBytes)
{
    struct Case {
        const char *name;
        std::vector<std::pair<uint16_t, uint8_t>> set; // bytes of the image
        uint16_t row;
        uint8_t data;
        bool copied;
        Bytes after; // the row afterwards
    };
    const Bytes ff(8, 0xFF);
    const Case cases[] = {
        {"open page", {}, 0x20, 0x3C, true, Bytes(8, 0x3C)},
        {"write-protected page", {{0x81, 0x55}}, 0x20, 0x3C, true, ff},
        {"EPROM mode", {{0x81, 0xAA}, {0x20, 0xF0}, {0x27, 0x0F}}, 0x20, 0x3C,
         true, {0x30, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x0C}},
        {"copy-protected, write-protected page", {{0x81, 0x55}, {0x84, 0x55}}, 0x20, 0x3C, false, ff},
        {"copy-protected, open page", {{0x84, 0xAA}}, 0x20, 0x3C, true, Bytes(8, 0x3C)},
        {"copy-protected register row", {{0x84, 0xAA}}, 0x80, 0x3C, false, {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xFF, 0xFF, 0xFF}},
        {"protection bytes set are read-only", {{0x80, 0x55}, {0x82, 0xAA}, {0x83, 0x12}, {0x85, 0x99}}, 0x80, 0x3C,
         true, {0x55, 0x3C, 0xAA, 0x3C, 0x3C, 0x99, 0x3C, 0x3C}},
    };
    for (const Case &c : cases) {
        sim::Config config;
        config.memory.assign(144, 0xFF);
        for (const auto &[address, value] : c.set)
            config.memory[address] = value;
        sim::start(config);
        Master m;
        m.open();
        Bytes write = {0xCC, 0x0F, static_cast<uint8_t>(c.row), 0x00};
        write.resize(12, c.data);
        m.command(write);
        m.command({0xCC, 0xAA});
        const Bytes head = m.read_bytes(3);
        m.command({0xCC, 0x55, head[0], head[1], head[2]});
        m.wait_us(10010);
        EXPECT_EQ(m.read_byte(), c.copied ? 0xAA : 0xFF) << c.name;
        EXPECT_EQ(Bytes(sim::memory().begin() + c.row, sim::memory().begin() + c.row + 8), c.after) << c.name;
    }
}

// Read Memory from near, at and past the last address. The DS2431 reads its
// memory up to 0x008F, then 1s, and 1s from any address past it; the DS28EC20
// first clears the upper four bits of an address above 0x0A3F, then reads up
// to 0x0A3F, then 1s; the DS2433 keeps the nine low bits of any address,
// reads up to 0x01FF, then 1s.
TEST(ReadMemory, AtAndPastTheLastAddress)
{
    struct Case {
        const ChipFacts &chip;
        uint16_t address;
        int first; // address the data starts at; -1: 1s from the start
    };
    const Case cases[] = {
        {kDs2431, 0x008D, 0x008D},   {kDs2431, 0x008F, 0x008F},
        {kDs2431, 0x0090, -1},       {kDs2431, 0x1000, -1},
        {kDs2431, 0x108E, -1},       {kDs2431, 0xFFFF, -1},
        {kDs28ec20, 0x0A3E, 0x0A3E}, {kDs28ec20, 0x0A3F, 0x0A3F},
        {kDs28ec20, 0x0A40, -1},     {kDs28ec20, 0x0FFF, -1},
        {kDs28ec20, 0x1A3E, 0x0A3E}, {kDs28ec20, 0x1000, 0x0000},
        {kDs28ec20, 0xF005, 0x0005}, {kDs28ec20, 0xFFFF, -1},
        {kDs2433, 0x01FD, 0x01FD},   {kDs2433, 0x01FF, 0x01FF},
        {kDs2433, 0x0200, 0x0000},   {kDs2433, 0x0A3E, 0x003E},
        {kDs2433, 0xFFFE, 0x01FE},
    };
    for (const Case &c : cases) {
        sim::Config config;
        config.chip = c.chip.chip;
        config.memory = patterned_memory(c.chip);
        sim::start(config);
        Master m;
        m.open();
        Bytes expected(5, 0xFF);
        for (size_t i = 0; c.first >= 0 && i < expected.size(); ++i) {
            const size_t at = static_cast<size_t>(c.first) + i;
            if (at < config.memory.size())
                expected[i] = config.memory[at];
        }
        EXPECT_EQ(m.read_memory(c.address, expected.size()), expected)
            << c.chip.name << " from 0x" << std::hex << c.address;
    }
}

// The DS2433's ROM begins with its family 0x23. It keeps the nine low bits of
// a target address, so Read Scratchpad shows the address it will use and
// Copy Scratchpad programs there; it has no protection bytes.
TEST(Ds2433, KeepsNineAddressBits)
{
    struct Case {
        uint16_t sent, kept;
    };
    const Case cases[] = {{0x01E0, 0x01E0}, {0x0200, 0x0000}, {0xFE20, 0x0020}, {0x1A45, 0x0045}};
    for (const Case &c : cases) {
        sim::Config config;
        config.chip = sim::Chip::ds2433;
        sim::start(config);
        EXPECT_EQ(sim::rom()[0], 0x23);
        EXPECT_EQ(sim::memory().size(), 512u);
        Master m;
        m.open();
        const unsigned offset = c.kept & 31u;
        fill(m, c.sent, 32, 32 - offset);
        ASSERT_TRUE(m.command({0xCC, 0xAA}));
        const Bytes head = m.read_bytes(3);
        EXPECT_EQ(head, (Bytes{static_cast<uint8_t>(c.kept), static_cast<uint8_t>(c.kept >> 8), 0x1F}))
            << std::hex << c.sent;
        ASSERT_TRUE(m.command({0xCC, 0x55, head[0], head[1], head[2]}));
        m.wait_us(10010);
        EXPECT_EQ(m.read_byte(), 0xAA);
        for (unsigned i = 0; i < 512; ++i) {
            const bool written = i >= c.kept && i < (c.kept | 31u) + 1;
            ASSERT_EQ(sim::memory()[i], written ? 0x40 + (i & 31u) : 0xFF) << std::hex << c.sent << " at " << i;
        }
    }
}

} // namespace
