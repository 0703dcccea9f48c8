#include "fuzz/codec_pages.h"

#include <cstdio>

#include "fuzz/codec_machine.h"
#include "fuzz/reference_crc.h"

namespace codec {

const uint8_t *page_of(unsigned page)
{
    return store.memory + page * kPage;
}

bool record_sealed(unsigned page)
{
    return sealed(page_of(page), kCovered[page]);
}

const uint8_t *page_taken(unsigned page, const uint8_t *held)
{
    if (sealed(held, kCovered[page]))
        return held;
    for (int i = store.flippedCount - 1; i >= 0; i--) {
        if (store.flipped[i].page == page && sealed(store.flipped[i].bytes, kCovered[page]))
            return store.flipped[i].bytes;
    }
    return nullptr;
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

} // namespace codec
