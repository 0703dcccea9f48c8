// The tool's one number parser.
#include "board/simple_strtoul.h"

#include <ctype.h>

// Characters are classified as unsigned bytes in the C locale, so bytes from
// 0x80 up never count as digits. The result wraps at 32 bits: callers keep
// what they need of it and look at *end to go on through the text.
unsigned int simple_strtoul(const char *text, char **end, unsigned int base)
{
    const char *cursor = text;
    unsigned int result = 0;

    if (*cursor == '0') {
        cursor++;
        // Only a lower-case x followed by a hex digit makes the prefix; it
        // wins over whatever base the caller asked for.
        if (cursor[0] == 'x' && isxdigit(static_cast<unsigned char>(cursor[1]))) {
            cursor++;
            base = 16;
        }
        if (base == 0) {
            base = 8;
        }
    }
    if (base == 0) {
        base = 10;
    }

    while (isxdigit(static_cast<unsigned char>(*cursor))) {
        int c = static_cast<unsigned char>(*cursor);
        unsigned int value;
        if (c >= '0' && c <= '9') {
            value = static_cast<unsigned int>(c - '0');
        } else {
            if (islower(c)) {
                c = toupper(c);
            }
            value = static_cast<unsigned int>(c - 'A' + 10);
        }
        if (value >= base) {
            break;
        }
        result = result * base + value;
        cursor++;
    }

    // Written only now: end may be the caller's own text pointer.
    if (end != nullptr) {
        *end = const_cast<char *>(cursor);
    }
    return result;
}
