#include "fuzz/split_on_nul.h"

#include <cstring>

namespace fuzz {

std::vector<std::string> split_on_nul(const uint8_t *data, size_t size, size_t max_parts)
{
    std::vector<std::string> parts;
    const char *text = reinterpret_cast<const char *>(data);
    const char *end = text + size;
    while (parts.size() < max_parts) {
        const char *nul = static_cast<const char *>(std::memchr(text, '\0', static_cast<size_t>(end - text)));
        parts.emplace_back(text, nul != nullptr ? nul : end);
        if (nul == nullptr)
            break;
        text = nul + 1;
    }
    return parts;
}

} // namespace fuzz
