// The chip drivers on the simulated board: pages round-trip, every refusal
// happens before the line moves, and every failed step of a row write fails
// the row and releases the line.
#include <functional>

#include "eeprom/ds2431.h"
#include "eeprom/ds28ec20.h"
#include "eeprom/onewire.h"
#include "sim_board.h"

namespace {

using simboard::boot;
using simboard::captured;

struct ChipCase {
    sim::Chip chip;
    uint8_t family;
    unsigned page;
};

class PageRoundTrip : public ::testing::TestWithParam<ChipCase> {};

TEST_P(PageRoundTrip, WrittenPageReadsBackWithoutTimingViolations)
{
    const ChipCase c = GetParam();
    boot(simboard::config(c.chip));
    ASSERT_EQ(eepromAccess.familyCode, c.family);
    std::vector<uint8_t> data = simboard::pattern(static_cast<uint8_t>(c.page));
    std::vector<uint8_t> back(32, 0);

    const std::string out = captured([&] {
        EXPECT_EQ(onewire_write_page(&eepromAccess, static_cast<unsigned char>(c.page), data.data()), 0);
        EXPECT_EQ(onewire_read_page(&eepromAccess, static_cast<unsigned char>(c.page), back.data()), 0);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(simboard::page_of(c.page), data);
    EXPECT_EQ(back, data);
    EXPECT_EQ(sim::stats().violations, 0u);
    EXPECT_EQ(sim::stats().copies, c.chip == sim::Chip::ds2431 ? 4u : 1u);
    EXPECT_TRUE(simboard::line_released(eepromAccess));
}

INSTANTIATE_TEST_SUITE_P(BothChips, PageRoundTrip,
                         ::testing::Values(ChipCase{sim::Chip::ds2431, 0x2D, 0}, ChipCase{sim::Chip::ds2431, 0x2D, 3},
                                           ChipCase{sim::Chip::ds28ec20, 0x43, 2},
                                           ChipCase{sim::Chip::ds28ec20, 0x43, 79}));

struct Refusal {
    const char *name;
    sim::Chip chip;
    std::function<int()> call;
};

unsigned char buffer[64];

class RefusedCall : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedCall, FailsWithNoBusActivity)
{
    boot(simboard::config(GetParam().chip));
    const uint64_t edges = sim::stats().master_edges;
    const uint32_t dir = in_be32(eepromAccess.dirReg);
    int rc = 0;
    EXPECT_EQ(captured([&] { rc = GetParam().call(); }), "");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(sim::stats().master_edges, edges);
    EXPECT_EQ(in_be32(eepromAccess.dirReg), dir) << "the line was opened";
}

ONE_WIRE_ACCESS *a()
{
    return &eepromAccess;
}

INSTANTIATE_TEST_SUITE_P(
    BoundsAndPointers, RefusedCall,
    ::testing::Values(
        Refusal{"ds2431_read_ends_at_144", sim::Chip::ds2431, [] { return ds2431_read(a(), 112, 32, buffer); }},
        Refusal{"ds2431_read_wrapping_address", sim::Chip::ds2431,
                [] { return ds2431_read(a(), 0xFFFFFFF0u, 32, buffer); }},
        Refusal{"ds2431_read_null_buffer", sim::Chip::ds2431, [] { return ds2431_read(a(), 0, 32, nullptr); }},
        Refusal{"ds2431_page_4", sim::Chip::ds2431, [] { return ds2431_read_page(a(), 4, buffer); }},
        Refusal{"ds2431_row_misaligned", sim::Chip::ds2431, [] { return ds2431_write_row(a(), 2, buffer); }},
        Refusal{"ds2431_row_ends_at_144", sim::Chip::ds2431, [] { return ds2431_write_row(a(), 136, buffer); }},
        Refusal{"ds2431_row_null_data", sim::Chip::ds2431, [] { return ds2431_write_row(a(), 0, nullptr); }},
        Refusal{"ds2431_write_page_4", sim::Chip::ds2431, [] { return ds2431_write_page(a(), 4, buffer); }},
        Refusal{"ds28ec20_page_80", sim::Chip::ds28ec20, [] { return ds28ec20_read_page(a(), 80, buffer); }},
        Refusal{"ds28ec20_read_ends_at_2624", sim::Chip::ds28ec20,
                [] { return ds28ec20_read(a(), 2592, 32, buffer); }},
        Refusal{"ds28ec20_row_81", sim::Chip::ds28ec20, [] { return ds28ec20_write_row(a(), 81 * 32, buffer); }},
        Refusal{"ds28ec20_row_misaligned", sim::Chip::ds28ec20, [] { return ds28ec20_write_row(a(), 33, buffer); }},
        Refusal{"unknown_family_read", sim::Chip::ds2431,
                [] {
                    eepromAccess.familyCode = 0x28;
                    return onewire_read_page(a(), 0, buffer);
                }},
        Refusal{"no_family_write", sim::Chip::ds2431,
                [] {
                    eepromAccess.familyCode = 0;
                    return onewire_write_page(a(), 0, buffer);
                }}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(MemoryRead, LastAcceptedEndIsTheBound)
{
    boot(simboard::config(sim::Chip::ds2431));
    unsigned char bytes[32];
    EXPECT_EQ(ds2431_read(a(), 111, 32, bytes), 0); // ends at 143
    EXPECT_EQ(bytes[31], sim::memory()[142]);
    boot(simboard::config(sim::Chip::ds28ec20));
    EXPECT_EQ(ds28ec20_read(a(), 2591, 32, bytes), 0); // ends at 2623
}

// A byte the chip sends, changed on its way to the master.
struct RowFault {
    const char *name;
    uint8_t command;
    unsigned index;
    std::function<uint8_t(uint8_t)> change;
    bool copied; // whether the chip had programmed the row when the master gave up
};

class RowWriteFault : public ::testing::TestWithParam<RowFault> {};

TEST_P(RowWriteFault, FailsTheRowAndReleasesTheLine)
{
    const RowFault f = GetParam();
    boot(simboard::config(sim::Chip::ds2431));
    sim::set_tx_tamper([f](const sim::TxContext &ctx, uint8_t byte) {
        return ctx.command == f.command && ctx.index == f.index ? f.change(byte) : byte;
    });
    std::vector<uint8_t> row = simboard::pattern(9);
    const std::string out = captured([&] { EXPECT_EQ(ds2431_write_row(a(), 8, row.data()), -1); });
    sim::set_tx_tamper(nullptr);

    EXPECT_EQ(out, "");
    EXPECT_TRUE(simboard::line_released(eepromAccess));
    EXPECT_EQ(sim::stats().copies, f.copied ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EachCheck, RowWriteFault,
    ::testing::Values(RowFault{"wrong_ta1", 0xAA, 0, [](uint8_t b) { return uint8_t(b ^ 0x08); }, false},
                      RowFault{"wrong_ta2", 0xAA, 1, [](uint8_t b) { return uint8_t(b ^ 0x01); }, false},
                      RowFault{"es_partial_byte", 0xAA, 2, [](uint8_t b) { return uint8_t(b | 0x20); }, false},
                      RowFault{"es_already_authorized", 0xAA, 2, [](uint8_t b) { return uint8_t(b | 0x80); }, false},
                      RowFault{"third_data_byte", 0xAA, 5, [](uint8_t b) { return uint8_t(b ^ 0x40); }, false},
                      RowFault{"confirmation_ones", 0x55, 0, [](uint8_t) { return uint8_t(0xFF); }, true},
                      RowFault{"confirmation_zeros", 0x55, 0, [](uint8_t) { return uint8_t(0x00); }, true},
                      RowFault{"aa_clear_after_copy", 0xAA, 2, [](uint8_t b) { return uint8_t(b & 0x7F); }, true}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(RowWrite, BothConfirmationPatternsPass)
{
    for (const uint8_t confirmation : {uint8_t(0xAA), uint8_t(0x55)}) {
        boot(simboard::config(sim::Chip::ds28ec20));
        sim::set_tx_tamper([confirmation](const sim::TxContext &ctx, uint8_t byte) {
            return ctx.command == 0x55 && ctx.index == 0 ? confirmation : byte;
        });
        std::vector<uint8_t> row = simboard::pattern(3);
        EXPECT_EQ(ds28ec20_write_row(a(), 64, row.data()), 0) << std::hex << int(confirmation);
        sim::set_tx_tamper(nullptr);
        EXPECT_EQ(simboard::page_of(2), row);
    }
}

TEST(PageWrite, WriteProtectedDs2431PageFailsVerification)
{
    sim::Config c = simboard::config(sim::Chip::ds2431);
    c.memory.assign(144, 0xFF);
    c.memory[0x80 + 1] = 0x55; // page 1 write-protected
    boot(c);
    std::vector<uint8_t> data = simboard::pattern(1);
    EXPECT_EQ(captured([&] { EXPECT_EQ(ds2431_write_page(a(), 1, data.data()), -1); }), "");
    EXPECT_EQ(simboard::page_of(1), std::vector<uint8_t>(32, 0xFF));
    EXPECT_TRUE(simboard::line_released(eepromAccess));
}

// Rows go out in ascending order and the first failing row ends the page.
TEST(PageWrite, ThirdRowFailingLeavesTheFirstTwoCopied)
{
    boot(simboard::config(sim::Chip::ds2431));
    int verifies = 0;
    sim::set_tx_tamper([&verifies](const sim::TxContext &ctx, uint8_t byte) {
        // Each row reads the scratchpad twice; the fifth read is row 3's check.
        if (ctx.command == 0xAA && ctx.index == 0 && ++verifies == 5)
            return uint8_t(byte ^ 0x01);
        return byte;
    });
    std::vector<uint8_t> data = simboard::pattern(5);
    EXPECT_EQ(captured([&] { EXPECT_EQ(ds2431_write_page(a(), 2, data.data()), -1); }), "");
    sim::set_tx_tamper(nullptr);
    const std::vector<uint8_t> page = simboard::page_of(2);
    EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 16), std::vector<uint8_t>(data.begin(), data.begin() + 16));
    EXPECT_EQ(std::vector<uint8_t>(page.begin() + 16, page.end()), std::vector<uint8_t>(16, 0xFF));
    EXPECT_EQ(sim::stats().copies, 2u);
    EXPECT_EQ(verifies, 5) << "row 4 must not be attempted";
    EXPECT_TRUE(simboard::line_released(eepromAccess));
}

TEST(PageWrite, ChipGoneBeforeTheFirstResetSaysSo)
{
    sim::Faults faults;
    faults.power_loss = 1; // gone from the reset after the first copy
    boot(simboard::config(sim::Chip::ds28ec20, faults));
    std::vector<uint8_t> data = simboard::pattern(5);
    EXPECT_EQ(captured([&] { EXPECT_EQ(ds28ec20_write_page(a(), 0, data.data()), -1); }), "");
    EXPECT_EQ(simboard::page_of(0), data) << "the copy was made before the chip went";
    EXPECT_EQ(captured([&] { EXPECT_EQ(ds28ec20_write_page(a(), 1, data.data()), -1); }), "reset pulse failed\r\n");
}

struct RomCase {
    const char *name;
    sim::Faults faults;
    std::string out;
    int result;
};

sim::Faults with(std::function<void(sim::Faults &)> set)
{
    sim::Faults f;
    set(f);
    return f;
}

class RomRead : public ::testing::TestWithParam<RomCase> {};

TEST_P(RomRead, ReportsAndReleases)
{
    const RomCase c = GetParam();
    sim::Config cfg = simboard::config(sim::Chip::ds28ec20, c.faults);
    cfg.rom = {0x43, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    unsigned char *base = simboard::map_window(cfg);
    eepromAccess = ONE_WIRE_ACCESS{};
    captured([&] { initialize_wexlo_onewire(base); });
    OW_ROM rom{};
    int rc = 0;
    // The report names the CRC computed over the bytes received, which is
    // the chip's true CRC when only the CRC byte was damaged.
    char expected[128];
    snprintf(expected, sizeof expected, c.out.c_str(), sim::rom()[7]);
    EXPECT_EQ(captured([&] { rc = onewire_read_rom(a(), &rom); }), expected);
    EXPECT_EQ(rc, c.result);
    EXPECT_TRUE(simboard::line_released(eepromAccess, c.faults.stuck_low));
    if (rc == 0) {
        EXPECT_EQ(0, memcmp(&rom, sim::rom().data(), 8));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RomRead,
    ::testing::Values(RomCase{"good", {}, "Resetting device\nCRC-8 OK! \n", 0},
                      RomCase{"absent", with([](sim::Faults &f) { f.absent = true; }),
                              "Resetting device\nReset-presence pulse failed\n", -1},
                      RomCase{"stuck_low", with([](sim::Faults &f) { f.stuck_low = true; }),
                              "Resetting device\nReset-presence pulse failed\n", -1},
                      // Bring-up's 20 ROM reads use up 20 of the 30 bad CRCs.
                      RomCase{"bad_crc", with([](sim::Faults &f) { f.rom_crc = 30; }),
                              "Resetting device\nCRC-8 BAD! (0x%x)\n", -1}),
    [](const auto &p) { return std::string(p.param.name); });

} // namespace
