// The chip drivers on the simulated board: pages round-trip, every refusal
// happens before the line moves, and every failed step of a row write fails
// the row and releases the line.
#include <functional>

#include "eeprom/ds2431.h"
#include "eeprom/ds28ec20.h"
#include "eeprom/onewire.h"
#include "sim/config.h"
#include "sim/test_probes.h"
#include "sim_board.h"

namespace {

using simboard::boot;
using simboard::captured;

ONE_WIRE_ACCESS *const a = &eepromAccess;
unsigned char buffer[64];

// The last page of each chip, written and read back without a word or a
// timing violation; the DS2431 takes four row copies, the DS28EC20 one.
TEST(PageRoundTrip, LastPageOfEachChip)
{
    for (const sim::Chip chip : {sim::Chip::ds2431, sim::Chip::ds28ec20}) {
        const bool small = chip == sim::Chip::ds2431;
        boot(simboard::config(chip));
        ASSERT_EQ(eepromAccess.familyCode, small ? 0x2D : 0x43);
        const unsigned char page = small ? 3 : 79;
        std::vector<uint8_t> data = simboard::pattern(page), back(32, 0);
        EXPECT_EQ(captured([&] {
                      EXPECT_EQ(onewire_write_page(a, page, data.data()), 0);
                      EXPECT_EQ(onewire_read_page(a, page, back.data()), 0);
                  }),
                  "");
        EXPECT_EQ(simboard::page_of(page), data);
        EXPECT_EQ(back, data);
        EXPECT_EQ(sim::stats().violations, 0u);
        EXPECT_EQ(sim::stats().copies, small ? 4u : 1u);
        EXPECT_TRUE(simboard::line_released(eepromAccess));
    }
}

struct Call {
    const char *name;
    sim::Chip chip;
    std::function<int()> call;
};

// Refused with -1, silently, before the line is opened.
TEST(Refusals, NothingReachesTheBus)
{
    const Call calls[] = {
        {"ds2431 read ending at 144", sim::Chip::ds2431, [] { return ds2431_read(a, 112, 32, buffer); }},
        {"ds2431 last byte alone", sim::Chip::ds2431, [] { return ds2431_read(a, 143, 1, buffer); }},
        {"ds28ec20 last byte alone", sim::Chip::ds28ec20, [] { return ds28ec20_read(a, 2623, 1, buffer); }},
        {"ds2431 read wrapping", sim::Chip::ds2431, [] { return ds2431_read(a, 0xFFFFFFF0u, 32, buffer); }},
        {"ds2431 read into null", sim::Chip::ds2431, [] { return ds2431_read(a, 0, 32, nullptr); }},
        {"ds2431 page 4", sim::Chip::ds2431, [] { return ds2431_read_page(a, 4, buffer); }},
        {"ds2431 row at 2", sim::Chip::ds2431, [] { return ds2431_write_row(a, 2, buffer); }},
        {"ds2431 row ending at 144", sim::Chip::ds2431, [] { return ds2431_write_row(a, 136, buffer); }},
        {"ds2431 row of null", sim::Chip::ds2431, [] { return ds2431_write_row(a, 0, nullptr); }},
        {"ds2431 write page 4", sim::Chip::ds2431, [] { return ds2431_write_page(a, 4, buffer); }},
        {"ds28ec20 page 80", sim::Chip::ds28ec20, [] { return ds28ec20_read_page(a, 80, buffer); }},
        {"ds28ec20 read ending at 2624", sim::Chip::ds28ec20, [] { return ds28ec20_read(a, 2592, 32, buffer); }},
        {"ds28ec20 row 81", sim::Chip::ds28ec20, [] { return ds28ec20_write_row(a, 81 * 32, buffer); }},
        {"ds28ec20 row at 33", sim::Chip::ds28ec20, [] { return ds28ec20_write_row(a, 33, buffer); }},
        {"family 28 read", sim::Chip::ds2431, [] { return a->familyCode = 0x28, onewire_read_page(a, 0, buffer); }},
        {"no family write", sim::Chip::ds2431, [] { return a->familyCode = 0, onewire_write_page(a, 0, buffer); }},
    };
    for (const Call &c : calls) {
        boot(simboard::config(c.chip));
        const uint64_t edges = sim::stats().master_edges;
        const uint32_t dir = in_be32(eepromAccess.dirReg);
        int rc = 0;
        EXPECT_EQ(captured([&] { rc = c.call(); }), "") << c.name;
        EXPECT_EQ(rc, -1) << c.name;
        EXPECT_EQ(sim::stats().master_edges, edges) << c.name;
        EXPECT_EQ(in_be32(eepromAccess.dirReg), dir) << c.name << ": the line was opened";
    }
}

// Just inside the bounds and the alignment: the transfer goes out.
TEST(Refusals, EdgesInsideTheBoundsReachTheBus)
{
    boot(simboard::config(sim::Chip::ds2431));
    unsigned char bytes[32];
    EXPECT_EQ(ds2431_read(a, 111, 32, bytes), 0); // ends at 143
    EXPECT_EQ(bytes[31], sim::memory()[142]);
    const uint64_t edges = sim::stats().master_edges;
    ds2431_write_row(a, 4, bytes); // 4 & 3 is 0: the row write starts
    EXPECT_GT(sim::stats().master_edges, edges);
    boot(simboard::config(sim::Chip::ds28ec20));
    EXPECT_EQ(ds28ec20_read(a, 2591, 32, bytes), 0); // ends at 2623
}

// A byte the chip sends, changed on its way to the master; the row write
// ends with the line released and nothing printed.
struct RowFault {
    const char *name;
    uint8_t command;
    unsigned index;
    std::function<uint8_t(uint8_t)> change;
    int rc;
    unsigned copies; // whether the chip had programmed the row when the master stopped
    unsigned transactions; // the row write's resets: a failed check is the last
};

TEST(RowWrite, EachCheckOfTheChipsAnswers)
{
    const auto flip = [](uint8_t mask) { return [mask](uint8_t b) { return uint8_t(b ^ mask); }; };
    const auto set = [](uint8_t v) { return [v](uint8_t) { return v; }; };
    const RowFault faults[] = {
        {"wrong TA1", 0xAA, 0, flip(0x08), -1, 0, 2},
        {"wrong TA2", 0xAA, 1, flip(0x01), -1, 0, 2},
        {"E/S partial byte", 0xAA, 2, [](uint8_t b) { return uint8_t(b | 0x20); }, -1, 0, 2},
        {"E/S already authorized", 0xAA, 2, [](uint8_t b) { return uint8_t(b | 0x80); }, -1, 0, 2},
        {"third data byte", 0xAA, 5, flip(0x40), -1, 0, 2},
        {"confirmation ff", 0x55, 0, set(0xFF), -1, 1, 3},
        {"confirmation 00", 0x55, 0, set(0x00), -1, 1, 3},
        {"AA clear after the copy", 0xAA, 2, [](uint8_t b) { return uint8_t(b & 0x7F); }, -1, 1, 4},
        {"confirmation aa", 0x55, 0, set(0xAA), 0, 1, 4},
        {"confirmation 55", 0x55, 0, set(0x55), 0, 1, 4},
    };
    for (const RowFault &f : faults) {
        boot(simboard::config(sim::Chip::ds2431));
        sim::set_tx_tamper([&f](const sim::TxContext &ctx, uint8_t byte) {
            return ctx.command == f.command && ctx.index == f.index ? f.change(byte) : byte;
        });
        std::vector<uint8_t> row = simboard::pattern(9);
        const uint64_t resets = sim::stats().resets;
        int rc = 0;
        EXPECT_EQ(captured([&] { rc = ds2431_write_row(a, 8, row.data()); }), "") << f.name;
        sim::set_tx_tamper(nullptr);
        EXPECT_EQ(rc, f.rc) << f.name;
        EXPECT_TRUE(simboard::line_released(eepromAccess)) << f.name;
        EXPECT_EQ(sim::stats().copies, f.copies) << f.name;
        EXPECT_EQ(sim::stats().resets - resets, f.transactions) << f.name;
    }
}

} // namespace
