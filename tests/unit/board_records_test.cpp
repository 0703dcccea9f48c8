// Bring-up and the record operations on the simulated board, where the
// front end cannot reach them: refusals, quiet reads, buffer contracts and
// the pin's register bits. What texts become in the chip and what a stored
// page becomes in the report is shown by whole runs (tests/scenarios).
#include <cstring>

#include "sim/config.h"
#include "sim/test_probes.h"
#include "sim_board.h"

namespace {

using simboard::boot;
using simboard::captured;

unsigned char *u(const char *text)
{
    return reinterpret_cast<unsigned char *>(const_cast<char *>(text));
}

// Refused before the bus: six null IPv4 texts (-1), some of them (-2), a
// string of 31 bytes. A blank page fails its check quietly without verbose;
// a string of 30 bytes is read back with a terminator in the 31st byte.
TEST(Records, RefusalsAndAFullLengthString)
{
    boot(simboard::config(sim::Chip::ds2431));
    const std::string text(31, 'x');
    const uint64_t edges = sim::stats().master_edges;
    EXPECT_EQ(ipv4_addr_write(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1), -1);
    EXPECT_EQ(ipv4_addr_write(u("1.2.3.4"), u("1.2.3.4"), u("1.2.3.4"), u("1.2.3.4"), u("1.2.3.4"), nullptr, 1), -2);
    EXPECT_EQ(generic_string_write(u(text.c_str()), 31, 0), -1);
    EXPECT_EQ(sim::stats().master_edges, edges);

    unsigned char back[32];
    EXPECT_EQ(captured([&] { EXPECT_EQ(generic_string_read(back, 0), -2); }), "");
    EXPECT_EQ(generic_string_write(u(text.c_str()), 30, 0), 1);
    std::memset(back, 0x77, sizeof back);
    EXPECT_EQ(generic_string_read(back, 0), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(back)), text.substr(1));
    EXPECT_EQ(back[31], 0x77) << "the reader writes 31 bytes";
}

TEST(BringUp, TouchesOnlyThePinsBits)
{
    unsigned char *base = simboard::map_window(simboard::config(sim::Chip::ds2431));
    auto *data = reinterpret_cast<volatile uint32_t *>(base + 0x1464);
    auto *dir = reinterpret_cast<volatile uint32_t *>(base + 0x1468);
    out_be32(dir, 0xA5A5A5A5u);
    const uint32_t dataBefore = in_be32(data);
    captured([&] { EXPECT_EQ(initialize_wexlo_onewire(base), 0); });
    EXPECT_EQ(in_be32(dir), (0xA5A5A5A5u & 0xFFCFFFFFu) | 0x00200000u);
    EXPECT_EQ(in_be32(data) & ~0x04000000u, dataBefore & ~0x04000000u);
    EXPECT_EQ(eepromAccess.familyCode, 0x2D);
    const uint64_t edges = sim::stats().master_edges;
    EXPECT_EQ(initialize_ow_family_code(), 0);
    EXPECT_EQ(sim::stats().master_edges, edges) << "a known family is not read again";
}

// Whatever the boot left in the pin's direction field, bring-up idles it
// within its first few accesses, before its first wait of 100 us: from an
// open field the bus is busy those accesses longer, no more.
TEST(BringUp, IdlesThePinWhateverTheBootLeftInIt)
{
    uint64_t busy[4] = {};
    for (uint32_t field = 0; field < 4; field++) {
        unsigned char *base = simboard::map_window(simboard::config(sim::Chip::ds2431));
        auto *dir = reinterpret_cast<volatile uint32_t *>(base + 0x1468);
        out_be32(dir, (in_be32(dir) & 0xFFCFFFFFu) | field << 20);
        const uint64_t before = sim::stats().bus_busy_ns;
        captured([&] { EXPECT_EQ(initialize_wexlo_onewire(base), 0); });
        busy[field] = sim::stats().bus_busy_ns - before;
        EXPECT_EQ(in_be32(dir) & 0x00300000u, 0x00200000u) << field;
    }
    for (uint32_t field = 1; field < 4; field++) {
        EXPECT_GE(busy[field], busy[0]) << field;
        EXPECT_LT(busy[field] - busy[0], 2000u) << "the pin's direction field at " << field << " before bring-up";
    }
}

// 20 tries, each after a wait of 100 us more than the last, then the line is
// left released. Without a chip the run takes the 21 ms of waits plus 20
// resets that found nobody, of 500 to 600 us each.
TEST(BringUp, TwentyTriesWithGrowingWaits)
{
    for (const char *fault : {"absent", "stuck-low", "rom-crc"}) {
        sim::Faults faults;
        faults.absent = fault[0] == 'a';
        faults.stuck_low = fault[0] == 's';
        faults.rom_crc = fault[0] == 'r' ? 20 : 0;
        unsigned char *base = simboard::map_window(simboard::config(sim::Chip::ds2431, faults));
        const uint64_t start = sim::now_ns();
        int rc = 0;
        const std::string out = captured([&] { rc = initialize_wexlo_onewire(base); });
        const uint64_t us = (sim::now_ns() - start) / 1000;
        EXPECT_EQ(rc, -1);
        char bad[32];
        snprintf(bad, sizeof bad, "CRC-8 BAD! (0x%x)\n", sim::rom()[7]);
        std::string tries;
        for (int i = 0; i < 20; i++)
            tries += std::string("Resetting device\n") + (faults.rom_crc ? bad : "Reset-presence pulse failed\n");
        EXPECT_EQ(out, tries + "ERROR: could not read ROM page\r\n") << fault;
        EXPECT_TRUE(simboard::line_released(eepromAccess, faults.stuck_low)) << fault;
        if (faults.absent) {
            EXPECT_GT(us, 21000u + 20 * 500);
            EXPECT_LT(us, 21000u + 20 * 600);
        }
    }
}

} // namespace

// What each record operation returns and prints by itself, verbose or not:
// the front end always passes the same verbose flag and tests for a negative
// result only, so these are seen nowhere else.
struct RecordCall {
    const char *name;
    sim::Faults faults;
    bool bringUp;      // false: bring-up found no chip, so no family code
    const char *setup; // a record written first (quietly): "mac", "ip", "gone" (the chip
                       // goes with the MAC's first row), or nullptr
    int (*call)();
    int status;
    const char *endsWith;
};

unsigned char ipText[] = "10.0.0.5";
unsigned char macText[] = "00:11:22:33:44:55";
unsigned char strText[] = "board 7";

int writeMac(int verbose) { return mac_addr_write(macText, verbose); }
int writeIp(int verbose) { return ipv4_addr_write(ipText, ipText, ipText, ipText, ipText, ipText, verbose); }
int writeStr(int verbose) { return generic_string_write(strText, 7, verbose); }

sim::Faults copiesFail()
{
    sim::Faults f;
    f.copy_fail = 6;
    return f;
}

sim::Faults goneAfterOneRow()
{
    sim::Faults f;
    f.power_loss = 1;
    return f;
}

sim::Faults noChip()
{
    sim::Faults f;
    f.absent = true;
    return f;
}

const RecordCall kRecordCalls[] = {
    {"MAC written", {}, true, nullptr, [] { return writeMac(1); }, 0, "MAC Write done.\n"},
    {"MAC not written", copiesFail(), true, nullptr, [] { return writeMac(1) < 0 ? -1 : 0; }, -1,
     "MAC Write failed!\n"},
    {"IPv4 written", {}, true, nullptr, [] { return writeIp(1); }, 0, "IP Write done.\n"},
    {"IPv4 not written", copiesFail(), true, nullptr, [] { return writeIp(1) < 0 ? -1 : 0; }, -1,
     "IP Write failed!\n"},
    {"string written", {}, true, nullptr, [] { return writeStr(1); }, 1, "Write generic string done.\n"},
    {"string not written", copiesFail(), true, nullptr, [] { return writeStr(1) < 0 ? -1 : 0; }, -1,
     "Write generic string failed!\n"},
    {"MAC read", {}, true, "mac", [] { return mac_addr_read(nullptr, 0); }, 0, ""},
    {"MAC read of a blank page", {}, true, nullptr, [] { return mac_addr_read(nullptr, 0); }, -1, ""},
    {"IPv4 read", {}, true, "ip", [] { return ipv4_addr_read(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0); },
     0, ""},
    {"IPv4 read of a blank page", {}, true, nullptr,
     [] { return ipv4_addr_read(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0); }, -1, ""},
    {"MAC read, chip gone", goneAfterOneRow(), true, "gone", [] { return mac_addr_read(nullptr, 1); }, -1,
     "Failed to read page from 1-Wire EEPROM\n"},
    {"IPv4 read, chip gone", goneAfterOneRow(), true, "gone",
     [] { return ipv4_addr_read(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1); }, -1,
     "Unable to read page from 1-Wire EEPROM\n"},
    {"string read, chip gone", goneAfterOneRow(), true, "gone", [] { return generic_string_read(nullptr, 1); }, -1,
     " )\r\n"}, // after the stored value, which a failed read leaves unspecified
    {"page read, chip gone", goneAfterOneRow(), true, "gone", [] { return generic_page_read(nullptr, 3, 1); }, -1,
     "Read page 3 FAILED!\r\n"},
    {"MAC write, no family", noChip(), false, nullptr, [] { return writeMac(1); }, -1,
     "Unable to establish 1-Wire EEPROM family code\n"},
    {"MAC read, no family", noChip(), false, nullptr, [] { return mac_addr_read(nullptr, 1); }, -1,
     "Unable to establish 1-Wire EEPROM family code\n"},
    {"IPv4 write, no family", noChip(), false, nullptr, [] { return writeIp(1); }, -1,
     "Unable to establish 1-Wire EEPROM family code\n"},
    {"IPv4 read, no family", noChip(), false, nullptr,
     [] { return ipv4_addr_read(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1); }, -1,
     "Unable to read 1-Wire EEPROM family code\n"},
    {"string write, no family", noChip(), false, nullptr, [] { return writeStr(1); }, -1,
     "Unable to read 1-Wire EEPROM family code\n"},
    {"string read, no family", noChip(), false, nullptr, [] { return generic_string_read(nullptr, 1); }, -1,
     "Unable to read 1-Wire EEPROM family code\n"},
    {"page read, no family", noChip(), false, nullptr, [] { return generic_page_read(nullptr, 0, 1); }, -1,
     "Unable to read 1-Wire EEPROM family code\n"},
};

TEST(Records, WhatEachOperationReturnsAndPrints)
{
    for (const RecordCall &c : kRecordCalls) {
        const sim::Config config = simboard::config(sim::Chip::ds2431, c.faults);
        if (c.bringUp) {
            boot(config);
        } else {
            unsigned char *base = simboard::map_window(config);
            captured([&] { EXPECT_EQ(initialize_wexlo_onewire(base), -1) << c.name; });
        }
        if (c.setup != nullptr) {
            int written = -1;
            captured([&] { written = c.setup[0] == 'i' ? writeIp(0) : writeMac(0); });
            ASSERT_EQ(written < 0, c.setup[0] == 'g') << c.name;
        }
        int status = 0;
        const std::string out = captured([&] { status = c.call(); });
        EXPECT_EQ(status, c.status) << c.name;
        const std::string tail = c.endsWith;
        EXPECT_TRUE(out.size() >= tail.size() && out.compare(out.size() - tail.size(), tail.size(), tail) == 0)
            << c.name << ": printed \"" << out << "\"";
        if (tail.empty()) {
            EXPECT_EQ(out, "") << c.name << ": not verbose";
        }
    }
}
