#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/codec_checks.h"
#include "fuzz/codec_machine.h"
#include "fuzz/codec_pages.h"
#include "fuzz/output_parser.h"
#include "fuzz/stdout_capture.h"

namespace codec {

namespace {

bool logged(const std::string &line)
{
    return std::find(logLines.begin(), logLines.end(), line) != logLines.end();
}

// -p: page 0 as the run left it (nothing after -p writes it).
void check_mac_print()
{
    const uint8_t *taken = page_taken(0, page_of(0));
    if (taken == nullptr)
        fail("a MAC page with a wrong check value printed as read");
    const std::string shown = line_after("MAC address read (", "): ");
    if (shown != mac_text(taken))
        fail("-p printed " + shown + ", the page read holds " + mac_text(taken));
    if (!logged("5 Read MAC address " + shown))
        fail("-p's log line differs from what it printed");
    const std::string rom = line_after("48-bit Serial Number", ": ");
    if (!rom.empty()) {
        char serial[20];
        const uint8_t *r = store.rom;
        std::snprintf(serial, sizeof serial, "%02x %02x %02x %02x %02x %02x", r[6], r[5], r[4], r[3], r[2], r[1]);
        if (rom != serial)
            fail("-p printed the serial number " + rom + ", the ROM holds " + serial);
    }
}

// -q: page 1 as the run left it.
void check_ipv4_print()
{
    const uint8_t *taken = page_taken(1, page_of(1));
    if (taken == nullptr)
        fail("an IPv4 page with a wrong check value printed as read");
    static const char *const labels[6] = {"slot 1 addr    ", "slot 1 netmask ", "slot 1 gateway ",
                                          "slot 2 addr    ", "slot 2 netmask ", "slot 2 gateway "};
    const size_t info = output.find("IPv4 PAGE info (", reportsFrom);
    for (size_t i = 0; i < 6; i++) {
        const std::string expected = std::string("\t ") + labels[i] + quad(taken, kQuadOffsets[i]) + "\n";
        if (output.find(expected, info) == std::string::npos)
            fail("-q did not print " + expected);
    }
}

// -r: page 2 before -w.
void check_string_print(const uint8_t *page2Before)
{
    const uint8_t *taken = page_taken(2, page2Before);
    if (taken == nullptr)
        fail("a string page with a wrong check value printed as read");
    const std::string text(reinterpret_cast<const char *>(taken), strnlen(reinterpret_cast<const char *>(taken), 30));
    if (printed("Read string: \"", stringFrom, reportsEnd)
        && !printed("Read string: \"" + text + "\"\r\n", stringFrom, reportsEnd))
        fail("-r printed another string than the page holds");
}

// -c: the page as the run left it.
void check_dump_print(const IDSTAMP_WORK &work)
{
    const unsigned page = work.pageNumber & 0xFF;
    // A bit the line got wrong shows in the dump: -c has no check value.
    if (store.lastReadFlipped)
        return;
    if (page >= store.pages)
        fail("a dump of a page the chip does not have");
    if (!dump_shows("Page " + std::to_string(static_cast<int>(work.pageNumber)) + " contents:", page_of(page)))
        fail("-c " + std::to_string(work.pageNumber) + " dumped other bytes than page " + std::to_string(page));
}

} // namespace

void check_prints(const IDSTAMP_WORK &work, const uint8_t *page2Before)
{
    if (printed("MAC address read ("))
        check_mac_print();
    if (printed("IPv4 PAGE info ("))
        check_ipv4_print();
    if (printed("Read generic string done", stringFrom, reportsEnd) || printed("Read string: \"", stringFrom, reportsEnd))
        check_string_print(page2Before);
    if (work.pageDumpGiven && printed(" contents:\n", dumpFrom, std::string::npos))
        check_dump_print(work);
}

} // namespace codec
