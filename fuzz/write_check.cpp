#include <algorithm>
#include <cstring>
#include <string>

#include "board/wexloow.h"
#include "fuzz/codec_checks.h"
#include "fuzz/codec_machine.h"
#include "fuzz/codec_pages.h"
#include "fuzz/reference_crc.h"

namespace codec {

namespace {

bool all_bytes(const uint8_t *from, const uint8_t *to, uint8_t value)
{
    return std::all_of(from, to, [value](uint8_t b) { return b == value; });
}

void check_mac_write()
{
    const uint8_t *page = page_of(0);
    if (page[0] != 1 || page[1] != 10 || !sealed(page, 8) || !all_bytes(page + 10, page + kPage, 0xFF))
        fail("the MAC page written is no MAC record");
    uint8_t before[kPage];
    std::memcpy(before, page, kPage);
    char back[20] = {};
    if (mac_addr_read(reinterpret_cast<unsigned char *>(back), 0) != 0 || mac_text(before) != back)
        fail("the MAC page written does not read back");
    if (mac_addr_write(reinterpret_cast<unsigned char *>(back), 0) < 0 || std::memcmp(before, page, kPage) != 0)
        fail("the MAC text read back does not write the same page");
}

void check_ipv4_write(const IDSTAMP_WORK &work, const uint8_t *page1Before)
{
    const uint8_t *page = page_of(1);
    if (page[0] != 1 || page[1] != 28 || !sealed(page, 26) || !all_bytes(page + 28, page + kPage, 0xFF))
        fail("the IPv4 page written is no IPv4 record");
    // A value not given is the stored one, as the tool read it.
    const uint8_t *taken = page_taken(1, page1Before);
    const uint8_t *held = taken != nullptr ? taken : page1Before;
    const uint8_t given[6] = {work.ip1Given, work.net1Given, work.gw1Given,
                              work.ip2Given, work.net2Given, work.gw2Given};
    for (size_t i = 0; i < 6; i++) {
        if (!given[i] && quad(page, kQuadOffsets[i]) != quad(held, kQuadOffsets[i]))
            fail("IPv4 value " + std::to_string(i) + " not given was not carried over");
    }
    uint8_t before[kPage];
    std::memcpy(before, page, kPage);
    unsigned char back[6][20] = {};
    if (ipv4_addr_read(back[0], back[1], back[2], back[3], back[4], back[5], 0) != 0)
        fail("the IPv4 page written does not read back");
    for (size_t i = 0; i < 6; i++) {
        if (quad(before, kQuadOffsets[i]) != reinterpret_cast<char *>(back[i]))
            fail("IPv4 value " + std::to_string(i) + " reads back otherwise");
    }
    if (ipv4_addr_write(back[0], back[1], back[2], back[3], back[4], back[5], 0) < 0
        || std::memcmp(before, page, kPage) != 0)
        fail("the IPv4 texts read back do not write the same page");
}

void check_string_write(const IDSTAMP_WORK &work, int status)
{
    const size_t length = std::strlen(work.stringText);
    if (length > WEXLO_STRING_MAX && store.written[2])
        fail("a string longer than the record was written");
    if (store.written[2]) {
        const uint8_t *page = page_of(2);
        if (std::memcmp(page, work.stringText, length) != 0 || !sealed(page, 30)
            || !all_bytes(page + length, page + 30, 0))
            fail("the string page written is not the string");
        unsigned char back[32];
        if (generic_string_read(back, 0) <= 0 || std::memcmp(back, work.stringText, length) != 0 || back[length] != 0)
            fail("the string written does not read back");
    } else if (status == 0) {
        fail("status 0 but the string was not written");
    }
}

} // namespace

void check_writes(const IDSTAMP_WORK &work, const uint8_t *page1Before, int status)
{
    store.readFailures = store.writeFailures = store.flippedReads = 0;
    if (work.macGiven && store.written[0])
        check_mac_write();
    if (any_ipv4(work) && store.written[1])
        check_ipv4_write(work, page1Before);
    if (work.stringWriteGiven)
        check_string_write(work, status);
}

} // namespace codec
