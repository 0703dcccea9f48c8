// Re-runs on the simulated line: how many a disturbed operation gets, what
// it prints when they are used up, and that a failure made good leaves no
// line behind. Transaction 1 is the bring-up's ROM read; the operation under
// test starts at transaction 2.
#include "eeprom/ds2431.h"
#include "eeprom/ds28ec20.h"
#include "eeprom/onewire.h"
#include "eeprom/rerun.h"
#include "sim/config.h"
#include "sim/test_probes.h"
#include "sim_board.h"

#include <array>
#include <string>
#include <vector>

namespace {

using simboard::captured;

ONE_WIRE_ACCESS *const a = &eepromAccess;

// Slot `edge` (0: the reset) of transactions first..last is late by us; with
// at_us, the access at_us after the edge is (a reset's presence watch).
sim::Stretch stretch(uint32_t first, uint32_t last, uint32_t edge, uint32_t us, uint32_t at_us = 0)
{
    return sim::Stretch{first, last, edge, us, at_us != 0, at_us};
}

void boot_with(sim::Chip chip, const std::vector<sim::Stretch> &stretches)
{
    sim::Faults faults;
    for (const sim::Stretch &s : stretches)
        faults.stretches[faults.stretch_count++] = s;
    simboard::boot(simboard::config(chip, faults));
}

struct BoundCase {
    const char *name;
    uint32_t disturbed; // transactions disturbed from the operation's first on
    int rc;
    unsigned reruns;
};

// A ROM read whose byte 1 loses a slot (bit 0 read 5 us late) in each of the
// first transactions: 32 re-runs are made, never a 33rd.
TEST(Rerun, BoundOfTheRomRead)
{
    const BoundCase cases[] = {
        {"one disturbed", 1, 0, 1},
        {"31 disturbed", 31, 0, 31},
        {"32 disturbed: the last re-run gets through", 32, 0, 32},
        {"33 disturbed: the bound is used up", 33, -1, 32},
    };
    for (const BoundCase &c : cases) {
        SCOPED_TRACE(c.name);
        boot_with(sim::Chip::ds2431, {stretch(2, 1 + c.disturbed, 17, 5)});
        const uint64_t resets = sim::stats().resets;
        OW_ROM rom = {};
        int rc = 0;
        const std::string out = captured([&] { rc = onewire_read_rom(a, &rom); });
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(onewireReruns, c.reruns);
        EXPECT_EQ(sim::stats().resets - resets, c.reruns + 1);
        EXPECT_EQ(out, c.rc == 0 ? "Resetting device\nCRC-8 OK! \n" : "Resetting device\nFailed to read ROM byte (1)\n");
        EXPECT_TRUE(simboard::line_released(eepromAccess));
    }
}

// The same bound for a memory read and a row write, each disturbed in every
// pass of its first transactions.
TEST(Rerun, BoundOfTheMemoryReadAndTheRowWrite)
{
    for (const bool write : {false, true}) {
        for (const uint32_t disturbed : {32u, 33u}) {
            SCOPED_TRACE(std::string(write ? "row write, " : "memory read, ") + std::to_string(disturbed));
            // Slot 1 is Skip ROM's bit 0, a 0: held 60 us longer, the chip may be lost.
            boot_with(sim::Chip::ds2431, {stretch(2, 1 + disturbed, 1, 60)});
            std::vector<uint8_t> row = simboard::pattern(3);
            int rc = 0;
            captured([&] { rc = write ? ds2431_write_row(a, 8, row.data()) : ds2431_read(a, 0, 32, row.data()); });
            EXPECT_EQ(rc, disturbed == 32 ? 0 : -1);
            EXPECT_EQ(onewireReruns, 32u);
            EXPECT_EQ(sim::stats().copies, write && disturbed == 32 ? 1u : 0u);
        }
    }
}

struct StepCase {
    const char *name;
    sim::Chip chip;
    sim::Stretch fault; // from the transaction it names on, for good
    const char *printed;
};

// Each step of a row write failing in every re-run: the row fails with its
// step's line after the byte routine's, or with the byte routine's alone
// where the step has none (the data, and the phases after the first).
TEST(Rerun, LinesOfARowWriteUnderAUsedUpBound)
{
    const uint32_t later = sim::Stretch::kEveryLater;
    const StepCase cases[] = {
        {"reset's presence watch away", sim::Chip::ds2431, stretch(2, later, 0, 400, 520), "reset pulse failed\r\n"},
        {"Skip ROM", sim::Chip::ds2431, stretch(2, later, 1, 60),
         "ds2431_write_bye: failed to write a 0\nskip failed\r\n"},
        {"Write Scratchpad, its bit 0 a 1 released late", sim::Chip::ds2431, stretch(2, later, 9, 5),
         "ds2431_write_bye: failed to write a 1\nscratch failed\r\n"},
        {"TA2", sim::Chip::ds2431, stretch(2, later, 25, 60), "ds2431_write_bye: failed to write a 0\nhigh failed\r\n"},
        {"a data byte lost", sim::Chip::ds2431, stretch(2, later, 33, 110), "ds2431_write_bye: failed to write a 1\n"},
        {"Read Scratchpad's Skip ROM", sim::Chip::ds2431, stretch(3, later, 1, 60),
         "ds2431_write_bye: failed to write a 0\n"},
        {"Read Scratchpad's TA1 read late", sim::Chip::ds2431, stretch(3, later, 17, 5), ""},
        {"Copy Scratchpad and its read-backs", sim::Chip::ds2431, stretch(4, later, 1, 60),
         "ds2431_write_bye: failed to write a 0\n"},
        {"the check after the copy", sim::Chip::ds2431, stretch(5, later, 1, 60),
         "ds2431_write_bye: failed to write a 0\n"},
        {"DS28EC20 Write Scratchpad", sim::Chip::ds28ec20, stretch(2, later, 9, 5), "scratch failed\r\n"},
    };
    for (const StepCase &c : cases) {
        SCOPED_TRACE(c.name);
        boot_with(c.chip, {c.fault});
        std::vector<uint8_t> row = simboard::pattern(5);
        int rc = 0;
        const std::string out = captured([&] { rc = c.chip == sim::Chip::ds2431 ? ds2431_write_row(a, 0, row.data())
                                                                              : ds28ec20_write_row(a, 0, row.data()); });
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(out, c.printed);
        EXPECT_EQ(onewireReruns, 32u);
        EXPECT_TRUE(simboard::line_released(eepromAccess));
    }
}

struct HeldCase {
    const char *name;
    std::vector<sim::Stretch> faults;
    uint8_t confirmation; // what the chip answers a copy with (0xAA: as it should)
    int rc;
    const char *printed;
};

// What a re-run made good prints nothing; what a used-up bound prints is the
// last failure's lines, not an earlier re-run's.
TEST(Rerun, HeldLinesAreTheLastFailuresOnly)
{
    const uint32_t later = sim::Stretch::kEveryLater;
    const HeldCase cases[] = {
        {"Skip ROM lost once", {stretch(2, 2, 1, 60)}, 0xAA, 0, ""},
        {"Write Scratchpad lost once", {stretch(2, 2, 9, 5)}, 0xAA, 0, ""},
        {"a data bit released late, the chip took it", {stretch(2, 2, 34, 5)}, 0xAA, 0, ""},
        // The first failure at Write Scratchpad, every later one at Skip ROM.
        {"failures at two steps",
         {stretch(2, 2, 9, 5), stretch(3, later, 1, 60)},
         0xAA,
         -1,
         "ds2431_write_bye: failed to write a 0\nskip failed\r\n"},
        // A disturbed data byte, then a failure that is not run again: the
        // data byte's line was dropped once the row read back right.
        {"data disturbed, then the copy unconfirmed", {stretch(2, 2, 34, 5)}, 0xFF, -1, ""},
        {"data disturbed, then the check lost for good", {stretch(2, 2, 34, 5), stretch(5, later, 17, 110)}, 0xAA, -1,
         ""},
    };
    for (const HeldCase &c : cases) {
        SCOPED_TRACE(c.name);
        boot_with(sim::Chip::ds2431, c.faults);
        const uint8_t confirmation = c.confirmation;
        sim::set_tx_tamper([confirmation](const sim::TxContext &ctx, uint8_t byte) {
            return ctx.command == 0x55 && ctx.index == 0 ? confirmation : byte;
        });
        std::vector<uint8_t> row = simboard::pattern(6);
        row.resize(8); // a DS2431 row
        int rc = 0;
        const std::string out = captured([&] { rc = ds2431_write_row(a, 0, row.data()); });
        sim::set_tx_tamper(nullptr);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(out, c.printed);
        if (rc == 0) {
            EXPECT_EQ(std::vector<uint8_t>(sim::memory().begin(), sim::memory().begin() + 8), row);
        }
    }
}

struct RomCommandCase {
    const char *name;
    sim::Stretch fault;
};

// A slot of the Read ROM command that may have gone out wrong: nothing the
// chip sends after it is taken; the read is run again from its reset.
TEST(Rerun, RomReadAfterADisturbedCommand)
{
    const RomCommandCase cases[] = {
        {"bit 0, a 1, released late", stretch(2, 2, 1, 5)},
        {"bit 0 held into a 0", stretch(2, 2, 1, 110)},
        {"bit 2, a 0, held too long", stretch(2, 2, 3, 60)},
    };
    for (const RomCommandCase &c : cases) {
        SCOPED_TRACE(c.name);
        boot_with(sim::Chip::ds2431, {c.fault});
        const std::array<uint8_t, 8> expected = sim::rom();
        const uint64_t resets = sim::stats().resets;
        OW_ROM rom = {};
        int rc = 0;
        EXPECT_EQ(captured([&] { rc = onewire_read_rom(a, &rom); }), "Resetting device\nCRC-8 OK! \n");
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(onewireReruns, 1u);
        EXPECT_EQ(sim::stats().resets - resets, 2u);
        EXPECT_EQ(rom.family, expected[0]);
        EXPECT_EQ(rom.crc, expected[7]);
    }
}

} // namespace

// A refill that the chip took short, while its scratchpad still held the same
// row from an earlier fill whose copy failed: the bytes read back all match
// (half of them stale), but E says the fill stopped at half the scratchpad.
// The DS28EC20 copies T..E only, so the row is filled again, not copied half.
// The master saw nothing wrong on the line: no slot was disturbed.
TEST(Rerun, ShortRefillOverTheSameRowIsFilledAgain)
{
    for (const sim::Chip chip : {sim::Chip::ds2431, sim::Chip::ds28ec20}) {
        const bool big = chip == sim::Chip::ds28ec20;
        SCOPED_TRACE(big ? "DS28EC20" : "DS2431");
        sim::Faults faults;
        faults.copy_fail = 1;
        faults.short_fill = 1;
        faults.short_fill_after = 1;
        simboard::boot(simboard::config(chip, faults));
        const auto write_row = big ? ds28ec20_write_row : ds2431_write_row;
        const unsigned row_size = big ? 32 : 8;
        std::vector<uint8_t> row = simboard::pattern(5);
        int first = 0;
        captured([&] { first = write_row(a, 64, row.data()); });
        ASSERT_EQ(first, -1) << "the first copy was meant to fail";
        int rc = -1;
        captured([&] { rc = write_row(a, 64, row.data()); });
        EXPECT_EQ(rc, 0);
        row.resize(row_size);
        const std::vector<uint8_t> page = simboard::page_of(2);
        EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + row_size), row);
        EXPECT_EQ(onewireReruns, 1u);
        EXPECT_EQ(sim::stats().violations, 0u);
        EXPECT_TRUE(simboard::line_released(eepromAccess));
    }
}
