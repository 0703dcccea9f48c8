// The tool's texts and records without the bus: the command line into the
// request, the number texts, MAC and IPv4 texts into pages, and pages back
// into what -p, -q, -r and -c print, on a store of pages (codec_machine.cpp).
//
// Input:
//   byte 0: bit 0 chip (0 DS2431, 1 DS28EC20); bits 1, 2, 3: pages 0, 1, 2
//           sealed before the run (else as given, which seldom passes);
//           bit 4: the ROM's family byte as given (else the chip's);
//           bit 5: ROM reads after bring-up fail; bits 6-7: page writes that
//           fail (3: all of them)
//   byte 1: bits 0-2: page reads that fail (7: all of them); bits 3-4: page
//           reads that get one bit wrong
//   bytes 2-9: the ROM; bytes 10-105: pages 0 to 2 (0xFF where the input ends)
//   the rest, split on NUL bytes: the argument vector after the program name.
//
// Checks: a page the tool wrote is sealed, prints back as what it holds and
// is written again byte for byte from the printed text; a page whose check
// value is wrong is never printed as good; a run on good pages and a chip
// that answers ends with 0; every number text stops inside its text.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/simple_strtoul.h"
#include "board/wexloow.h"
#include "eeprom/onewire.h"
#include "eeprom/rerun.h"
#include "frontend/idstamp.h"
#include "fuzz/codec_machine.h"
#include "harness/product_state.h"
#include "signal/onewiresignal.h"
#include "signal/timer.h"

namespace {

constexpr size_t kPage = 32;
constexpr size_t kHeader = 2 + 8 + 3 * kPage;
constexpr size_t kMaxArguments = 32;

int outputFd = -1;
std::string output;

// ---- the reference for the check value ----

// CRC-16 with polynomial x^16 + x^15 + x^2 + 1, bit by bit, least significant
// bit first, from 0: written here apart from the product's, as the reference.
uint16_t crc16(const uint8_t *bytes, size_t length)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < length; i++) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit++)
            crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

// Covered bytes and check value offset of pages 0, 1 and 2.
constexpr size_t kCovered[3] = {8, 26, 30};

bool sealed(const uint8_t *page, size_t covered)
{
    const uint16_t check = static_cast<uint16_t>(~crc16(page, covered));
    return page[covered] == (check >> 8) && page[covered + 1] == (check & 0xFF);
}

void seal(uint8_t *page, size_t covered)
{
    const uint16_t check = static_cast<uint16_t>(~crc16(page, covered));
    page[covered] = static_cast<uint8_t>(check >> 8);
    page[covered + 1] = static_cast<uint8_t>(check & 0xFF);
}

const uint8_t *page_of(unsigned page)
{
    return codec::store.memory + page * kPage;
}

bool record_sealed(unsigned page)
{
    return sealed(page_of(page), kCovered[page]);
}

// The page as the tool took it for a record: the chip's page when that is
// sealed, since one wrong bit never passes the check value; else a read that
// one wrong bit made into a page with a right check value, which no reader
// can tell from a good page; nullptr when neither.
const uint8_t *page_taken(unsigned page, const uint8_t *held)
{
    if (sealed(held, kCovered[page]))
        return held;
    const codec::PageStore &store = codec::store;
    for (int i = store.flippedCount - 1; i >= 0; i--) {
        if (store.flipped[i].page == page && sealed(store.flipped[i].bytes, kCovered[page]))
            return store.flipped[i].bytes;
    }
    return nullptr;
}

// ---- what a run printed ----

void start_output()
{
    std::fflush(stdout);
    if (outputFd >= 0 && (ftruncate(outputFd, 0) != 0 || lseek(outputFd, 0, SEEK_SET) != 0))
        codec::fail("cannot empty the output file");
}

void collect_output()
{
    std::fflush(stdout);
    output.clear();
    if (outputFd < 0)
        return;
    char chunk[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t got = pread(outputFd, chunk, sizeof chunk, at);
        if (got <= 0)
            break;
        output.append(chunk, static_cast<size_t>(got));
        at += got;
    }
}

// Where the reports stand: those of -p and -q after the run has echoed the
// texts of -m and the IPv4 options, and before -r prints the stored string;
// -r's from there to where -w echoes its text; -c's dump after that echo. A
// stored string and a -w text may hold anything, a report's own lines too.
size_t reportsFrom;
size_t recordsEnd = std::string::npos;
size_t stringFrom;
size_t reportsEnd = std::string::npos;
size_t dumpFrom;

// Whether `text` begins between `from` and `end`.
bool printed(const std::string &text, size_t from = reportsFrom, size_t end = recordsEnd)
{
    const size_t at = output.find(text, from);
    return at != std::string::npos && at < end;
}

// The text after the first `marker` and then `start` up to the line end.
std::string line_after(const std::string &marker, const std::string &start)
{
    size_t at = output.find(marker, reportsFrom);
    if (at == std::string::npos || at >= recordsEnd
        || (at = output.find(start, at + marker.size())) == std::string::npos)
        return {};
    const size_t from = at + start.size();
    return output.substr(from, output.find_first_of("\r\n", from) - from);
}

// The end of the first `echo` from `from`, or `from` when it was not printed.
size_t after_echo(const std::string &echo, size_t from)
{
    const size_t at = output.find(echo, from);
    return at == std::string::npos ? from : at + echo.size();
}

void find_reports(const IDSTAMP_WORK &work, const uint8_t *page2Before)
{
    size_t at = 0;
    if (work.macGiven)
        at = after_echo(std::string("\r\nWriting MAC address ") + work.macAddr + "...", at);
    if (work.ip1Addr && work.net1Addr && work.gw1Addr && work.ip2Addr && work.net2Addr && work.gw2Addr)
        at = after_echo(std::string("IP addresses to write:\n slot 1 addr    ") + work.ip1Addr
                            + "\n slot 1 netmask " + work.net1Addr + "\n slot 1 gateway " + work.gw1Addr
                            + "\n slot 2 addr    " + work.ip2Addr + "\n slot 2 netmask " + work.net2Addr
                            + "\n slot 2 gateway " + work.gw2Addr + "\nWriting IP address ...",
                        at);
    reportsFrom = at;
    reportsEnd = std::string::npos;
    if (work.stringWriteGiven) {
        // The echo is printed once, after every report; the last match is it.
        const std::string echo = std::string("\r\nWriting Generic string \"") + work.stringText + "\"...";
        const size_t echoed = output.rfind(echo);
        if (echoed != std::string::npos && echoed >= at) {
            reportsEnd = echoed;
            at = echoed + echo.size();
        }
    }
    dumpFrom = at;
    stringFrom = recordsEnd = reportsEnd;
    if (work.stringReadGiven) {
        // -p and -q print no text of the chip's or the user's: the first
        // header of -r after them is -r's.
        const size_t read = output.find("Read string from page ", reportsFrom);
        if (read < reportsEnd)
            stringFrom = recordsEnd = read;
        // Without the echo of -w, -c's dump comes after the string -r printed,
        // which may hold a dump's title: skip the string the page held, or the
        // one a read that got a bit wrong gave the tool.
        if (reportsEnd == std::string::npos && read != std::string::npos) {
            std::vector<const uint8_t *> held = {page2Before};
            const codec::PageStore &store = codec::store;
            for (int i = 0; i < store.flippedCount; i++) {
                if (store.flipped[i].page == 2)
                    held.push_back(store.flipped[i].bytes);
            }
            for (const uint8_t *page : held) {
                const std::string shown = "Read string: \""
                                          + std::string(reinterpret_cast<const char *>(page),
                                                        strnlen(reinterpret_cast<const char *>(page), 30))
                                          + "\"\r\n";
                const size_t where = output.find(shown, read);
                if (where != std::string::npos)
                    dumpFrom = std::max(dumpFrom, where + shown.size());
            }
        }
    }
}

std::string mac_text(const uint8_t *page)
{
    char text[20];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", page[2], page[3], page[4], page[5], page[6],
                  page[7]);
    return text;
}

std::string quad(const uint8_t *page, size_t offset)
{
    char text[20];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", page[offset], page[offset + 1], page[offset + 2],
                  page[offset + 3]);
    return text;
}

// The page holds each slot as address, gateway, netmask; the tool takes and
// prints address, netmask, gateway.
constexpr size_t kQuadOffsets[6] = {2, 10, 6, 14, 22, 18};

// ---- the number parser ----

bool digit_of(char c, unsigned base)
{
    const unsigned char u = static_cast<unsigned char>(c);
    unsigned value;
    if (u >= '0' && u <= '9')
        value = u - '0';
    else if (u >= 'a' && u <= 'f')
        value = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
        value = u - 'A' + 10;
    else
        return false;
    return value < base;
}

// Each text through the parser in every base the tool uses, from a copy of
// exactly its size, so a read past its end is caught: the end stays inside
// the text and only a character that is no digit of the base stops it.
void check_number_text(const std::string &text)
{
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    for (unsigned base : {0u, 10u, 16u}) {
        char *end = nullptr;
        simple_strtoul(copy.get(), &end, base);
        if (end < copy.get() || end > copy.get() + std::strlen(copy.get()))
            codec::fail("simple_strtoul's end is outside its text");
        unsigned used = base;
        const bool hex_prefix = copy[0] == '0' && copy[1] == 'x' && digit_of(copy[2], 16);
        if (hex_prefix)
            used = 16;
        else if (base == 0)
            used = copy[0] == '0' ? 8 : 10;
        const char *first = copy.get() + (hex_prefix ? 2 : 0);
        if (end > first && !std::all_of(static_cast<const char *>(first), static_cast<const char *>(end),
                                        [used](char c) { return digit_of(c, used); }))
            codec::fail("simple_strtoul took a character that is no digit");
        if (end >= first && digit_of(*end, used))
            codec::fail("simple_strtoul stopped before a digit");
    }
}

// ---- the run ----

struct Input {
    uint8_t flags = 0;
    uint8_t faults = 0;
    std::vector<std::string> arguments;
};

Input take_input(const uint8_t *data, size_t size)
{
    Input input;
    input.flags = size > 0 ? data[0] : 0;
    input.faults = size > 1 ? data[1] : 0;

    codec::PageStore &store = codec::store;
    store = codec::PageStore{};
    const bool ds28ec20 = input.flags & 1;
    store.pages = ds28ec20 ? 80 : 4;
    uint8_t head[kHeader];
    std::memset(head, 0xFF, sizeof head);
    std::memcpy(head, data, std::min(size, kHeader));
    std::memcpy(store.rom, head + 2, 8);
    if (!(input.flags & 0x10))
        store.rom[0] = ds28ec20 ? OW_FAMILY_DS28EC20 : OW_FAMILY_DS2431;
    // Pages past the records hold their own number and offset, so a dump of
    // the wrong page shows.
    for (unsigned i = 0; i < sizeof store.memory; i++)
        store.memory[i] = static_cast<uint8_t>(i / kPage * 7 + i % kPage);
    std::memcpy(store.memory, head + 10, 3 * kPage);
    for (unsigned page = 0; page < 3; page++) {
        if (input.flags & (2u << page))
            seal(store.memory + page * kPage, kCovered[page]);
    }
    store.romReportFails = input.flags & 0x20;
    const int writes = input.flags >> 6;
    store.writeFailures = writes == 3 ? codec::kAlways : writes;
    const int reads = input.faults & 7;
    store.readFailures = reads == 7 ? codec::kAlways : reads;
    store.flippedReads = (input.faults >> 3) & 3;

    if (size > kHeader)
        input.arguments = [&] {
            std::vector<std::string> parts;
            const char *text = reinterpret_cast<const char *>(data + kHeader);
            const char *end = reinterpret_cast<const char *>(data + size);
            while (parts.size() < kMaxArguments) {
                const char *nul = static_cast<const char *>(std::memchr(text, '\0', static_cast<size_t>(end - text)));
                parts.emplace_back(text, nul != nullptr ? nul : end);
                if (nul == nullptr)
                    break;
                text = nul + 1;
            }
            return parts;
        }();
    return input;
}

// The product's process-wide state as a new process has it.
void start_process()
{
    codec::reset_machine();
    harness::reset_product_state();
    sleepTime = 0;
    gtm[0] = gtm[1] = nullptr;
    usecTimerPtr = nullptr;
    timer_initialized = 0;
    owDisturbedSlots = 0;
    onewireReruns = 0;
}

// Where a text of the request points: into one of the arguments, at its start.
void check_request_text(const char *text, uint8_t given, char **argv, int argc)
{
    if (!given) {
        if (text != nullptr)
            codec::fail("a text for an option not given");
        return;
    }
    for (int i = 2; i < argc; i++) {
        if (text == argv[i])
            return;
    }
    // -c has no text; a given option with a text takes its argument.
    if (text != nullptr)
        codec::fail("a request text that is no argument");
}

// What the parse made of the arguments, against them.
void check_request(const IDSTAMP_WORK &work, char **argv, int argc, int parsed)
{
    if (parsed != 1 && parsed != 0 && parsed != -1)
        codec::fail("idstamp_parse returned " + std::to_string(parsed));
    if (argc <= 2 && parsed != 0)
        codec::fail("no options, yet not the usage");
    if (parsed == 0 && !printed("Usage: idstamp"))
        codec::fail("status 0 without options and no usage printed");
    if (parsed != 1)
        return;
    if (sleepTime < 1 || sleepTime > 3)
        codec::fail("a back-off outside 1 to 3 seconds");
    check_request_text(work.macAddr, work.macGiven, argv, argc);
    check_request_text(work.ip1Addr, work.ip1Given, argv, argc);
    check_request_text(work.net1Addr, work.net1Given, argv, argc);
    check_request_text(work.gw1Addr, work.gw1Given, argv, argc);
    check_request_text(work.ip2Addr, work.ip2Given, argv, argc);
    check_request_text(work.net2Addr, work.net2Given, argv, argc);
    check_request_text(work.gw2Addr, work.gw2Given, argv, argc);
    check_request_text(work.stringText, work.stringWriteGiven, argv, argc);
    if (work.pageDumpGiven) {
        // Its argument is the one after the last "-c".
        for (int i = argc - 2; i >= 2; i--) {
            if (argv[i][0] == '-' && argv[i][1] == 'c') {
                if (work.pageNumber != simple_strtoul(argv[i + 1], nullptr, 10))
                    codec::fail("-c's page number is not its argument's");
                break;
            }
        }
    }
}

bool all_ipv4(const IDSTAMP_WORK &w)
{
    return w.ip1Given && w.net1Given && w.gw1Given && w.ip2Given && w.net2Given && w.gw2Given;
}

bool any_ipv4(const IDSTAMP_WORK &w)
{
    return w.ip1Given || w.net1Given || w.gw1Given || w.ip2Given || w.net2Given || w.gw2Given;
}

bool logged(const std::string &line)
{
    return std::find(codec::logLines.begin(), codec::logLines.end(), line) != codec::logLines.end();
}

// The 32 bytes of a dump after its title.
bool dump_shows(const std::string &title, const uint8_t *page)
{
    size_t at = output.find(title, dumpFrom);
    if (at == std::string::npos)
        return false;
    at = output.find("----\n", at);
    if (at == std::string::npos)
        return false;
    at += 5;
    for (size_t i = 0; i < kPage; i++) {
        unsigned value = 0;
        int used = 0;
        while (at < output.size() && (output[at] == ' ' || output[at] == '\n'))
            at++;
        if (std::sscanf(output.c_str() + at, "%2x%n", &value, &used) != 1 || value != page[i])
            return false;
        at += static_cast<size_t>(used);
    }
    return true;
}

// What -p, -q, -r and -c printed, against the pages they read.
void check_prints(const IDSTAMP_WORK &work, const uint8_t *page2Before)
{
    // -p: page 0 as the run left it (nothing after -p writes it).
    if (printed("MAC address read (")) {
        const uint8_t *taken = page_taken(0, page_of(0));
        if (taken == nullptr)
            codec::fail("a MAC page with a wrong check value printed as read");
        const std::string shown = line_after("MAC address read (", "): ");
        if (shown != mac_text(taken))
            codec::fail("-p printed " + shown + ", the page read holds " + mac_text(taken));
        if (!logged("5 Read MAC address " + shown))
            codec::fail("-p's log line differs from what it printed");
        const std::string rom = line_after("48-bit Serial Number", ": ");
        if (!rom.empty()) {
            char serial[20];
            const uint8_t *r = codec::store.rom;
            std::snprintf(serial, sizeof serial, "%02x %02x %02x %02x %02x %02x", r[6], r[5], r[4], r[3], r[2],
                          r[1]);
            if (rom != serial)
                codec::fail("-p printed the serial number " + rom + ", the ROM holds " + serial);
        }
    }
    // -q: page 1 as the run left it.
    if (printed("IPv4 PAGE info (")) {
        const uint8_t *taken = page_taken(1, page_of(1));
        if (taken == nullptr)
            codec::fail("an IPv4 page with a wrong check value printed as read");
        static const char *const labels[6] = {"slot 1 addr    ", "slot 1 netmask ", "slot 1 gateway ",
                                              "slot 2 addr    ", "slot 2 netmask ", "slot 2 gateway "};
        const size_t info = output.find("IPv4 PAGE info (", reportsFrom);
        for (size_t i = 0; i < 6; i++) {
            const std::string expected = std::string("\t ") + labels[i] + quad(taken, kQuadOffsets[i]) + "\n";
            if (output.find(expected, info) == std::string::npos)
                codec::fail("-q did not print " + expected);
        }
    }
    // -r: page 2 before -w.
    if (printed("Read generic string done", stringFrom, reportsEnd)
        || printed("Read string: \"", stringFrom, reportsEnd)) {
        const uint8_t *taken = page_taken(2, page2Before);
        if (taken == nullptr)
            codec::fail("a string page with a wrong check value printed as read");
        const std::string text(reinterpret_cast<const char *>(taken), strnlen(reinterpret_cast<const char *>(taken), 30));
        if (printed("Read string: \"", stringFrom, reportsEnd)
            && !printed("Read string: \"" + text + "\"\r\n", stringFrom, reportsEnd))
            codec::fail("-r printed another string than the page holds");
    }
    // -c: the page as the run left it.
    if (work.pageDumpGiven && printed(" contents:\n", dumpFrom, std::string::npos)) {
        const unsigned page = work.pageNumber & 0xFF;
        // A bit the line got wrong shows in the dump: -c has no check value.
        if (codec::store.lastReadFlipped)
            return;
        if (page >= codec::store.pages)
            codec::fail("a dump of a page the chip does not have");
        if (!dump_shows("Page " + std::to_string(static_cast<int>(work.pageNumber)) + " contents:", page_of(page)))
            codec::fail("-c " + std::to_string(work.pageNumber) + " dumped other bytes than page "
                        + std::to_string(page));
    }
}

// What the writes left in the pages, and that the tool reads them back and
// writes them again byte for byte.
void check_writes(const IDSTAMP_WORK &work, const uint8_t *page1Before, int status)
{
    codec::PageStore &store = codec::store;
    store.readFailures = store.writeFailures = store.flippedReads = 0;

    if (work.macGiven && store.written[0]) {
        const uint8_t *page = page_of(0);
        if (page[0] != 1 || page[1] != 10 || !sealed(page, 8)
            || !std::all_of(page + 10, page + kPage, [](uint8_t b) { return b == 0xFF; }))
            codec::fail("the MAC page written is no MAC record");
        uint8_t before[kPage];
        std::memcpy(before, page, kPage);
        char back[20] = {};
        if (mac_addr_read(reinterpret_cast<unsigned char *>(back), 0) != 0 || mac_text(before) != back)
            codec::fail("the MAC page written does not read back");
        if (mac_addr_write(reinterpret_cast<unsigned char *>(back), 0) < 0 || std::memcmp(before, page, kPage) != 0)
            codec::fail("the MAC text read back does not write the same page");
    }

    if (any_ipv4(work) && store.written[1]) {
        const uint8_t *page = page_of(1);
        if (page[0] != 1 || page[1] != 28 || !sealed(page, 26)
            || !std::all_of(page + 28, page + kPage, [](uint8_t b) { return b == 0xFF; }))
            codec::fail("the IPv4 page written is no IPv4 record");
        // A value not given is the stored one, as the tool read it.
        const uint8_t *taken = page_taken(1, page1Before);
        const uint8_t *held = taken != nullptr ? taken : page1Before;
        const uint8_t given[6] = {work.ip1Given, work.net1Given, work.gw1Given,
                                  work.ip2Given, work.net2Given, work.gw2Given};
        for (size_t i = 0; i < 6; i++) {
            if (!given[i] && quad(page, kQuadOffsets[i]) != quad(held, kQuadOffsets[i]))
                codec::fail("IPv4 value " + std::to_string(i) + " not given was not carried over");
        }
        uint8_t before[kPage];
        std::memcpy(before, page, kPage);
        unsigned char back[6][20] = {};
        if (ipv4_addr_read(back[0], back[1], back[2], back[3], back[4], back[5], 0) != 0)
            codec::fail("the IPv4 page written does not read back");
        for (size_t i = 0; i < 6; i++) {
            if (quad(before, kQuadOffsets[i]) != reinterpret_cast<char *>(back[i]))
                codec::fail("IPv4 value " + std::to_string(i) + " reads back otherwise");
        }
        if (ipv4_addr_write(back[0], back[1], back[2], back[3], back[4], back[5], 0) < 0
            || std::memcmp(before, page, kPage) != 0)
            codec::fail("the IPv4 texts read back do not write the same page");
    }

    if (work.stringWriteGiven) {
        const size_t length = std::strlen(work.stringText);
        if (length > WEXLO_STRING_MAX && store.written[2])
            codec::fail("a string longer than the record was written");
        if (store.written[2]) {
            const uint8_t *page = page_of(2);
            if (std::memcmp(page, work.stringText, length) != 0 || !sealed(page, 30)
                || !std::all_of(page + length, page + 30, [](uint8_t b) { return b == 0; }))
                codec::fail("the string page written is not the string");
            unsigned char back[32];
            if (generic_string_read(back, 0) <= 0 || std::memcmp(back, work.stringText, length) != 0
                || back[length] != 0)
                codec::fail("the string written does not read back");
        } else if (status == 0) {
            codec::fail("status 0 but the string was not written");
        }
    }
}

// A run on a chip that answers, with every page it must read sealed, does
// everything asked: status 0.
void check_status(const IDSTAMP_WORK &work, const uint8_t *page1Before, const uint8_t *page2Before, int status)
{
    const codec::PageStore &store = codec::store;
    if (codec::memOpens != codec::memCloses)
        codec::fail("/dev/mem opened " + std::to_string(codec::memOpens) + " times, closed "
                    + std::to_string(codec::memCloses));
    if (status != 0 && status != -1)
        codec::fail("idstamp_run returned " + std::to_string(status));
    if (status == 0) {
        if (work.macGiven && !store.written[0])
            codec::fail("status 0 but the MAC page was not written");
        if (any_ipv4(work) && !store.written[1])
            codec::fail("status 0 but the IPv4 page was not written");
        if (work.macPageGiven && !printed("MAC address read ("))
            codec::fail("status 0 but -p printed no MAC address");
        if (work.ipPageGiven && !printed("IPv4 PAGE info ("))
            codec::fail("status 0 but -q printed no IPv4 record");
        if (work.stringReadGiven && !printed("Read string: \"", stringFrom, reportsEnd))
            codec::fail("status 0 but -r printed no string");
        return;
    }
    const bool answers = (store.rom[0] == OW_FAMILY_DS2431 || store.rom[0] == OW_FAMILY_DS28EC20)
                         && store.readFailures != codec::kAlways && store.writeFailures != codec::kAlways;
    bool pagesGood = !(work.macPageGiven && !record_sealed(0)) && !(work.ipPageGiven && !record_sealed(1))
                     && !(work.stringReadGiven && !sealed(page2Before, 30))
                     && !(any_ipv4(work) && !all_ipv4(work) && !sealed(page1Before, 26))
                     && !(work.stringWriteGiven && std::strlen(work.stringText) > WEXLO_STRING_MAX);
    if (answers && pagesGood)
        codec::fail("a run on good pages and a chip that answers gave up");
}

} // namespace

namespace codec {

void fail(const std::string &what)
{
    collect_output();
    std::fprintf(stderr, "codec_fuzzer: %s\n--- output\n%s\n--- log\n", what.c_str(), output.c_str());
    for (const std::string &line : logLines)
        std::fprintf(stderr, "%s\n", line.c_str());
    std::abort();
}

} // namespace codec

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The tool's standard output goes to a file in memory the checks read.
    outputFd = memfd_create("codec_fuzzer_stdout", 0);
    if (outputFd < 0 || dup2(outputFd, STDOUT_FILENO) < 0) {
        std::perror("codec_fuzzer: stdout");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input input = take_input(data, size);
    for (const std::string &argument : input.arguments)
        check_number_text(argument);

    // The tool keeps pointers into its argument vector, as into a real one.
    std::string program = "idstamp";
    std::vector<char *> argv{program.data()};
    for (std::string &argument : input.arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size() - 1);

    uint8_t page1Before[kPage], page2Before[kPage];
    std::memcpy(page1Before, page_of(1), kPage);
    std::memcpy(page2Before, page_of(2), kPage);

    start_process();
    start_output();
    IDSTAMP_WORK work;
    const int parsed = idstamp_parse(argc, argv.data(), &work);
    collect_output();
    reportsFrom = stringFrom = dumpFrom = 0;
    recordsEnd = reportsEnd = std::string::npos;
    check_request(work, argv.data(), argc, parsed);
    if (parsed != 1)
        return 0;

    const int status = idstamp_run(&work);
    collect_output();
    find_reports(work, page2Before);
    check_prints(work, page2Before);
    check_status(work, page1Before, page2Before, status);
    check_writes(work, page1Before, status);
    return 0;
}
