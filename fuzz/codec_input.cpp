#include "fuzz/codec_input.h"

#include <algorithm>
#include <cstring>

#include "eeprom/onewire.h"
#include "fuzz/codec_machine.h"
#include "fuzz/codec_pages.h"
#include "fuzz/reference_crc.h"
#include "fuzz/split_on_nul.h"

namespace codec {

namespace {

constexpr size_t kHeader = 2 + 8 + 3 * kPage;
constexpr size_t kMaxArguments = 32;

} // namespace

Input take_input(const uint8_t *data, size_t size)
{
    Input input;
    input.flags = size > 0 ? data[0] : 0;
    input.faults = size > 1 ? data[1] : 0;

    store = PageStore{};
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
    store.writeFailures = writes == 3 ? kAlways : writes;
    const int reads = input.faults & 7;
    store.readFailures = reads == 7 ? kAlways : reads;
    store.flippedReads = (input.faults >> 3) & 3;

    if (size > kHeader)
        input.arguments = fuzz::split_on_nul(data + kHeader, size - kHeader, kMaxArguments);
    return input;
}

} // namespace codec
