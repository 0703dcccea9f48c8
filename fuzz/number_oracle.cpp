#include "fuzz/number_oracle.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "board/simple_strtoul.h"
#include "fuzz/codec_machine.h"

namespace codec {

namespace {

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

} // namespace

void check_number_text(const std::string &text)
{
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    for (unsigned base : {0u, 10u, 16u}) {
        char *end = nullptr;
        simple_strtoul(copy.get(), &end, base);
        if (end < copy.get() || end > copy.get() + std::strlen(copy.get()))
            fail("simple_strtoul's end is outside its text");
        unsigned used = base;
        const bool hex_prefix = copy[0] == '0' && copy[1] == 'x' && digit_of(copy[2], 16);
        if (hex_prefix)
            used = 16;
        else if (base == 0)
            used = copy[0] == '0' ? 8 : 10;
        const char *first = copy.get() + (hex_prefix ? 2 : 0);
        if (end > first && !std::all_of(static_cast<const char *>(first), static_cast<const char *>(end),
                                        [used](char c) { return digit_of(c, used); }))
            fail("simple_strtoul took a character that is no digit");
        if (end >= first && digit_of(*end, used))
            fail("simple_strtoul stopped before a digit");
    }
}

} // namespace codec
