// Bring-up and the record operations on the simulated board: what a text
// becomes in the chip, and what a stored page becomes in the report.
#include <cstring>

#include "board/wexloow.h"
#include "sim_board.h"

namespace {

using simboard::boot;
using simboard::captured;

std::vector<uint8_t> hex(const char *text)
{
    std::vector<uint8_t> bytes;
    for (const char *p = text; *p != '\0';) {
        char *end = nullptr;
        bytes.push_back(static_cast<uint8_t>(std::strtoul(p, &end, 16)));
        p = end;
        while (*p == ' ')
            p++;
    }
    return bytes;
}

std::vector<uint8_t> prefix(const std::vector<uint8_t> &page, size_t n)
{
    return std::vector<uint8_t>(page.begin(), page.begin() + static_cast<long>(n));
}

struct MacCase {
    const char *text;
    const char *stored; // offsets 0 to 9: header, octets, sealed value
};

class MacText : public ::testing::TestWithParam<MacCase> {};

TEST_P(MacText, IsStoredAsItsOctets)
{
    boot(simboard::config(sim::Chip::ds2431));
    std::string text = GetParam().text;
    EXPECT_EQ(mac_addr_write(reinterpret_cast<unsigned char *>(text.data()), 0), 0);
    const std::vector<uint8_t> page = simboard::page_of(WEXLO_MAC_PAGE);
    const std::vector<uint8_t> want = hex(GetParam().stored);
    EXPECT_EQ(prefix(page, 8), prefix(want, 8));
    EXPECT_EQ(std::vector<uint8_t>(page.begin() + 10, page.end()), std::vector<uint8_t>(22, 0xFF));
    if (want.size() == 10) {
        EXPECT_EQ(page[8], want[8]);
        EXPECT_EQ(page[9], want[9]);
    }

    unsigned char back[20] = {0};
    const std::string out = captured([&] { EXPECT_EQ(mac_addr_read(back, 1), 0); });
    char expected[18];
    snprintf(expected, sizeof expected, "%02x:%02x:%02x:%02x:%02x:%02x", page[2], page[3], page[4], page[5],
             page[6], page[7]);
    EXPECT_STREQ(reinterpret_cast<char *>(back), expected);
    EXPECT_NE(out.find(std::string("MAC address read (1): ") + expected + "\n"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MacText,
    ::testing::Values(MacCase{"00:11:22:33:44:55", "01 0a 00 11 22 33 44 55 78 61"},
                      MacCase{"1:2:3", "01 0a 01 02 03 ff ff ff"}, MacCase{"", "01 0a ff ff ff ff ff ff"},
                      MacCase{"123:4:5:6:7:8", "01 0a 23 04 05 06 07 08"},
                      MacCase{"00-11-22-33-44-55", "01 0a 00 00 00 00 00 00"},
                      MacCase{"1:2:3:4:5:6:7:8", "01 0a 01 02 03 04 05 06"},
                      MacCase{"aa::bb", "01 0a aa 00 bb ff ff ff"}));

TEST(MacRecord, BlankPageFailsEveryAttemptWithTheDump)
{
    boot(simboard::config(sim::Chip::ds2431));
    unsigned char text[20] = "untouched";
    const std::string out = captured([&] { EXPECT_EQ(mac_addr_read(text, 1), -1); });
    std::string dump = "   Page Contents:\n   00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n"
                       "   -----------------------------------------------";
    for (int line = 0; line < 2; line++) {
        dump += "\n  ";
        for (int i = 0; i < 16; i++)
            dump += " ff";
    }
    EXPECT_EQ(out, "Verify MAC Page CRC16 failed (calc 0x7bbe, read 0xffff)\n" + dump);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "untouched");
    EXPECT_EQ(sim::stats().copies, 0u);
}

struct IpCase {
    const char *texts[6]; // addr1 netmask1 gateway1 addr2 netmask2 gateway2
    const char *stored;   // bytes 2 to 25 as stored: each slot address, gateway, netmask
};

class IpTexts : public ::testing::TestWithParam<IpCase> {};

TEST_P(IpTexts, AreStoredGatewayBeforeNetmask)
{
    boot(simboard::config(sim::Chip::ds28ec20));
    std::vector<std::string> texts(GetParam().texts, GetParam().texts + 6);
    auto t = [&](int i) { return reinterpret_cast<unsigned char *>(texts[static_cast<size_t>(i)].data()); };
    EXPECT_EQ(ipv4_addr_write(t(0), t(1), t(2), t(3), t(4), t(5), 0), 0);
    const std::vector<uint8_t> page = simboard::page_of(WEXLO_IPV4_PAGE);
    EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 26), hex(GetParam().stored));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IpTexts,
    ::testing::Values(
        IpCase{{"192.168.1.10", "255.255.255.0", "192.168.1.1", "10.0.0.5", "255.0.0.0", "10.0.0.1"},
               "01 1c c0 a8 01 0a c0 a8 01 01 ff ff ff 00 0a 00 00 05 0a 00 00 01 ff 00 00 00"},
        IpCase{{"10.0.0", "", "256.1.1.300", "010.1.1.1", "0x0a.0.0.1", "1,2,3,4"},
               "01 1c 0a 00 00 ff 00 01 01 2c ff ff ff ff 0a 01 01 01 01 00 00 00 0a 00 00 01"}));

TEST(IpRecord, NullTextsAreRefusedBeforeTheBus)
{
    boot(simboard::config(sim::Chip::ds2431));
    unsigned char a[] = "1.2.3.4";
    const uint64_t edges = sim::stats().master_edges;
    EXPECT_EQ(ipv4_addr_write(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1), -1);
    EXPECT_EQ(ipv4_addr_write(a, a, a, a, a, nullptr, 1), -2);
    EXPECT_EQ(sim::stats().master_edges, edges);
}

TEST(IpRecord, ReadCarriesTheStoredTextsOver)
{
    boot(simboard::config(sim::Chip::ds2431));
    unsigned char t[6][20] = {"192.168.1.10", "255.255.255.0", "192.168.1.1", "10.0.0.5", "255.0.0.0", "10.0.0.1"};
    ASSERT_EQ(ipv4_addr_write(t[0], t[1], t[2], t[3], t[4], t[5], 0), 0);
    unsigned char r[6][20] = {};
    const std::string out = captured([&] { EXPECT_EQ(ipv4_addr_read(r[0], r[1], r[2], r[3], r[4], r[5], 1), 0); });
    for (int i = 0; i < 6; i++)
        EXPECT_STREQ(reinterpret_cast<char *>(r[i]), reinterpret_cast<char *>(t[i]));
    EXPECT_EQ(out, "IPv4 PAGE info (1)- crc 95ac:\n"
                   "\t slot 1 addr    192.168.1.10\n\t slot 1 netmask 255.255.255.0\n"
                   "\t slot 1 gateway 192.168.1.1\n\t slot 2 addr    10.0.0.5\n"
                   "\t slot 2 netmask 255.0.0.0\n\t slot 2 gateway 10.0.0.1\n");
}

TEST(StringRecord, FullLengthStringGetsATerminatorOnRead)
{
    boot(simboard::config(sim::Chip::ds2431));
    std::string text(30, 'x');
    EXPECT_EQ(generic_string_write(reinterpret_cast<unsigned char *>(text.data()), 30, 0), 1);
    EXPECT_EQ(generic_string_write(reinterpret_cast<unsigned char *>(text.data()), 31, 0), -1);
    unsigned char back[32];
    std::memset(back, 0x77, sizeof back);
    EXPECT_EQ(generic_string_read(back, 0), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(back)), text);
    EXPECT_EQ(back[31], 0x77) << "the reader writes 31 bytes";
}

TEST(StringRecord, AbcPageAndBlankPageFailure)
{
    boot(simboard::config(sim::Chip::ds2431));
    unsigned char back[32];
    EXPECT_EQ(generic_string_read(back, 0), -2);
    std::string out = captured([&] { EXPECT_EQ(generic_string_read(back, 1), -1); });
    EXPECT_EQ(out.rfind("Read generic string failed! (crc16 read 0xffff calculated 0xcfff)\r\n   Page Contents:\n", 0),
              0u)
        << out;

    unsigned char abc[] = "abc";
    EXPECT_EQ(generic_string_write(abc, 3, 0), 1);
    std::vector<uint8_t> want(32, 0);
    want[0] = 0x61;
    want[1] = 0x62;
    want[2] = 0x63;
    want[30] = 0xe4;
    want[31] = 0xd1;
    EXPECT_EQ(simboard::page_of(WEXLO_STRING_PAGE), want);
    out = captured([&] { EXPECT_EQ(generic_string_read(back, 1), 1); });
    EXPECT_EQ(out, "Read generic string done (crc16 = 0xe4d1)\r\n");
}

TEST(PageRead, PageNumberTravelsAsItsLowByte)
{
    boot(simboard::config(sim::Chip::ds2431));
    unsigned char abc[] = "abc";
    ASSERT_EQ(generic_string_write(abc, 3, 0), 1);
    unsigned char page[32];
    std::string out = captured([&] { EXPECT_EQ(generic_page_read(page, 258, 1), 0); });
    EXPECT_EQ(out.rfind("   Page 258 contents:\n", 0), 0u) << out;
    EXPECT_EQ(out.substr(out.size() - 8), " e4 d1\r\n");
    out = captured([&] { EXPECT_EQ(generic_page_read(nullptr, 4, 1), -1); });
    EXPECT_EQ(out, "Read page 4 FAILED!\r\n");
}

TEST(BringUp, TouchesOnlyThePinsBits)
{
    sim::Config c = simboard::config(sim::Chip::ds2431);
    unsigned char *base = simboard::map_window(c);
    auto *data = reinterpret_cast<volatile uint32_t *>(base + 0x1464);
    auto *dir = reinterpret_cast<volatile uint32_t *>(base + 0x1468);
    out_be32(dir, 0xA5A5A5A5u);
    const uint32_t dataBefore = in_be32(data);
    eepromAccess = ONE_WIRE_ACCESS{};
    captured([&] { EXPECT_EQ(initialize_wexlo_onewire(base), 0); });
    EXPECT_EQ(in_be32(dir), (0xA5A5A5A5u & 0xFFCFFFFFu) | 0x00200000u);
    EXPECT_EQ(in_be32(data) & ~0x04000000u, dataBefore & ~0x04000000u);
    EXPECT_EQ(eepromAccess.familyCode, 0x2D);
}

struct BringUpCase {
    const char *name;
    sim::Faults faults;
    int result;
    int romReads;
};

class BringUpTries : public ::testing::TestWithParam<BringUpCase> {};

TEST_P(BringUpTries, TriesUntilTheFamilyIsKnown)
{
    unsigned char *base = simboard::map_window(simboard::config(sim::Chip::ds2431, GetParam().faults));
    eepromAccess = ONE_WIRE_ACCESS{};
    const uint64_t start = sim::now_ns();
    int rc = 0;
    const std::string out = captured([&] { rc = initialize_wexlo_onewire(base); });
    EXPECT_EQ(rc, GetParam().result);
    int reads = 0;
    for (size_t at = out.find("Resetting device"); at != std::string::npos; at = out.find("Resetting device", at + 1))
        reads++;
    EXPECT_EQ(reads, GetParam().romReads);
    // The waits before the tries alone: 100 us, 200 us, ... per try.
    const uint64_t waits = 100000ull * static_cast<uint64_t>(reads * (reads + 1) / 2);
    EXPECT_GT(sim::now_ns() - start, waits);
    if (rc < 0) {
        EXPECT_EQ(out.substr(out.size() - 32), "ERROR: could not read ROM page\r\n");
    }
}

sim::Faults absent()
{
    sim::Faults f;
    f.absent = true;
    return f;
}

sim::Faults bad_crcs(unsigned n)
{
    sim::Faults f;
    f.rom_crc = n;
    return f;
}

INSTANTIATE_TEST_SUITE_P(Faults, BringUpTries,
                         ::testing::Values(BringUpCase{"first_try", {}, 0, 1},
                                           BringUpCase{"third_try", bad_crcs(2), 0, 3},
                                           BringUpCase{"no_chip", absent(), -1, 20}),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(RomReport, PrintsTheSerialMostSignificantFirst)
{
    sim::Config c = simboard::config(sim::Chip::ds2431);
    c.rom = {0x2d, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    boot(c);
    std::string out = captured([&] { EXPECT_EQ(read_owrom(), 0); });
    char crc[64];
    snprintf(crc, sizeof crc, "8-bit CRC Code......: %02x\n\n", sim::rom()[7]);
    EXPECT_EQ(out, std::string("Resetting device\nCRC-8 OK! \n\nONE WIRE part information for chip DS2431:\n"
                               "8-bit Family code...: 2d\n48-bit Serial Number: 66 55 44 33 22 11\n") +
                       crc);
    eepromAccess.familyCode = 0x28;
    out = captured([&] { EXPECT_EQ(read_owrom(), 0); });
    EXPECT_NE(out.find("information for chip UNKNOWN:"), std::string::npos);
}

} // namespace
