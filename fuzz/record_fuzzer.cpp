// The record operations straight on a brought-up, fault-free simulated board.
// Byte 0: bit 0 chip (0 DS2431, 1 DS28EC20), bits 1-7 the page of the raw
// read. The rest, split on NUL bytes: the MAC text, the six IPv4 texts
// (slot 1 address, netmask, gateway, slot 2 address, netmask, gateway) and
// the string. On a board without faults every operation must succeed, and
// what a write stored must read back and be written again byte for byte.
#include <fcntl.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "board/wexloow.h"
#include "fuzz/fuzz_board.h"
#include "fuzz/split_on_nul.h"
#include "platform/platform.h"
#include "signal/timer.h"
#include "sim/config.h"
#include "sim/seam.h"
#include "sim/test_probes.h"

namespace {

constexpr size_t kPage = 32;
constexpr size_t kTexts = 8;

unsigned char *bytes(std::string &text)
{
    return reinterpret_cast<unsigned char *>(text.data());
}

unsigned char *bytes(char *text)
{
    return reinterpret_cast<unsigned char *>(text);
}

std::vector<uint8_t> page_of(unsigned page)
{
    const std::vector<uint8_t> &memory = sim::memory();
    return std::vector<uint8_t>(memory.begin() + page * kPage, memory.begin() + (page + 1) * kPage);
}

void expect_fill(const std::vector<uint8_t> &page, size_t from, size_t to, uint8_t fill, const char *what)
{
    for (size_t i = from; i < to; i++) {
        if (page[i] != fill)
            fuzz::fail(std::string(what) + ": byte " + std::to_string(i) + " is not the fill");
    }
}

std::string quad(const std::vector<uint8_t> &page, size_t offset)
{
    char text[20];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", page[offset], page[offset + 1], page[offset + 2],
                  page[offset + 3]);
    return text;
}

void check_mac(std::string text)
{
    if (mac_addr_write(bytes(text), 0) < 0)
        fuzz::fail("MAC write failed on a fault-free board");
    const std::vector<uint8_t> page = page_of(WEXLO_MAC_PAGE);
    if (page[0] != 1 || page[1] != 10 || !fuzz::sealed(page.data(), 8))
        fuzz::fail("MAC record header or check value wrong");
    expect_fill(page, 10, kPage, 0xFF, "MAC record reserved");

    char back[20];
    std::memset(back, 0, sizeof back);
    if (mac_addr_read(bytes(back), 0) != 0)
        fuzz::fail("MAC read failed after a write");
    char expected[20];
    std::snprintf(expected, sizeof expected, "%02x:%02x:%02x:%02x:%02x:%02x", page[2], page[3], page[4], page[5],
                  page[6], page[7]);
    if (std::strcmp(back, expected) != 0)
        fuzz::fail(std::string("MAC read gives ") + back + ", the page holds " + expected);
    if (mac_addr_write(bytes(back), 0) < 0 || page_of(WEXLO_MAC_PAGE) != page)
        fuzz::fail("MAC text read back does not write the same page");
}

void check_ipv4(std::vector<std::string> texts)
{
    const std::vector<uint8_t> before = page_of(WEXLO_IPV4_PAGE);
    unsigned char *given[6];
    bool all = true;
    for (size_t i = 0; i < 6; i++) {
        given[i] = i < texts.size() ? bytes(texts[i]) : nullptr;
        all = all && given[i] != nullptr;
    }
    const int written = ipv4_addr_write(given[0], given[1], given[2], given[3], given[4], given[5], 0);
    if (!all) {
        if (written >= 0 || page_of(WEXLO_IPV4_PAGE) != before)
            fuzz::fail("IPv4 write without all six texts changed the page");
        return;
    }
    if (written < 0)
        fuzz::fail("IPv4 write failed on a fault-free board");
    const std::vector<uint8_t> page = page_of(WEXLO_IPV4_PAGE);
    if (page[0] != 1 || page[1] != 28 || !fuzz::sealed(page.data(), 26))
        fuzz::fail("IPv4 record header or check value wrong");
    expect_fill(page, 28, kPage, 0xFF, "IPv4 record reserved");

    char back[6][20];
    std::memset(back, 0, sizeof back);
    if (ipv4_addr_read(bytes(back[0]), bytes(back[1]), bytes(back[2]), bytes(back[3]), bytes(back[4]),
                       bytes(back[5]), 0) != 0)
        fuzz::fail("IPv4 read failed after a write");
    // The page holds each slot as address, gateway, netmask; the operations
    // take and give address, netmask, gateway.
    const size_t offsets[6] = {2, 10, 6, 14, 22, 18};
    for (size_t i = 0; i < 6; i++) {
        if (quad(page, offsets[i]) != back[i])
            fuzz::fail("IPv4 read text " + std::to_string(i) + " is " + back[i] + ", the page holds "
                       + quad(page, offsets[i]));
    }
    if (ipv4_addr_write(bytes(back[0]), bytes(back[1]), bytes(back[2]), bytes(back[3]), bytes(back[4]),
                        bytes(back[5]), 0) < 0
        || page_of(WEXLO_IPV4_PAGE) != page)
        fuzz::fail("IPv4 texts read back do not write the same page");
}

void check_string(std::string text)
{
    const std::vector<uint8_t> before = page_of(WEXLO_STRING_PAGE);
    const unsigned length = static_cast<unsigned>(text.size());
    const int written = generic_string_write(bytes(text), length, 0);
    if (length > WEXLO_STRING_MAX) {
        if (written >= 0 || page_of(WEXLO_STRING_PAGE) != before)
            fuzz::fail("string longer than the record was written");
        return;
    }
    if (written < 0)
        fuzz::fail("string write failed on a fault-free board");
    const std::vector<uint8_t> page = page_of(WEXLO_STRING_PAGE);
    if (std::memcmp(page.data(), text.data(), length) != 0 || !fuzz::sealed(page.data(), 30))
        fuzz::fail("string record bytes or check value wrong");
    expect_fill(page, length, 30, 0, "string record fill");

    unsigned char back[32];
    std::memset(back, 0xEE, sizeof back);
    if (generic_string_read(back, 0) <= 0)
        fuzz::fail("string read failed after a write");
    if (std::memcmp(back, page.data(), 30) != 0 || back[30] != 0)
        fuzz::fail("string read back differs from the page");
}

void check_raw_page(unsigned page)
{
    unsigned char buffer[kPage];
    const int result = generic_page_read(buffer, page, 0);
    // Only the data pages are promised: 4 on a DS2431, 80 on a DS28EC20.
    const unsigned data_pages = sim::memory().size() > 144 ? 80 : 4;
    if (page >= data_pages)
        return;
    if (result < 0 || std::vector<uint8_t>(buffer, buffer + kPage) != page_of(page))
        fuzz::fail("raw read of page " + std::to_string(page) + " differs from memory");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t header = size > 0 ? data[0] : 0;
    std::vector<std::string> texts = fuzz::split_on_nul(data + (size > 0), size - (size > 0), kTexts);

    fuzz::Board board;
    board.config.chip = (header & 1) ? sim::Chip::ds28ec20 : sim::Chip::ds2431;
    board.config.memory = fuzz::sample_image(board.config.chip, 7);
    fuzz::start_run(board.config);

    const int fd = platform_mem_open("/dev/mem", O_RDWR | O_SYNC);
    void *window = platform_mem_map(nullptr, sim::kWindowSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                                    static_cast<off_t>(sim::kWindowPhys));
    if (fd < 0 || window == MAP_FAILED)
        fuzz::fail("the register window did not map");
    unsigned char *base = static_cast<unsigned char *>(window);
    if (set_timer_access(base) != 0 || initialize_wexlo_onewire(base) != 0)
        fuzz::fail("bring-up failed on a fault-free board");

    if (!texts.empty())
        check_mac(texts[0]);
    if (texts.size() > 1)
        check_ipv4(std::vector<std::string>(texts.begin() + 1, texts.begin() + std::min<size_t>(texts.size(), 7)));
    if (texts.size() > 7)
        check_string(texts[7]);
    check_raw_page(header >> 1);

    platform_mem_close(fd);
    fuzz::check_board(board);
    return 0;
}
