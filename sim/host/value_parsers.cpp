// Values of the settings and faults read from text, without messages.
#include "sim/host/value_parsers.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace sim {
namespace detail {

Number parse_number(const std::string &text, uint64_t min, uint64_t max, uint64_t &value, int base)
{
    const bool negative = text.size() > 1 && text[0] == '-';
    const std::string digits = negative ? text.substr(1) : text;
    if (digits.empty() || !std::isxdigit(static_cast<unsigned char>(digits[0])))
        return Number::not_a_number;
    errno = 0;
    char *end = nullptr;
    const unsigned long long number = std::strtoull(digits.c_str(), &end, base);
    if (*end != '\0')
        return Number::not_a_number;
    if (negative || errno == ERANGE || number < min || number > max)
        return Number::out_of_range;
    value = number;
    return Number::ok;
}

bool parse_unsigned(const std::string &text, uint64_t max, uint64_t &value, int base)
{
    return parse_number(text, 0, max, value, base) == Number::ok;
}

bool parse_hex_bytes(const std::string &text, size_t count, std::vector<uint8_t> &bytes)
{
    if (text.size() != 2 * count || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

bool parse_jitter(const std::string &text, double &probability, unsigned &max_us)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    const std::string p = text.substr(0, slash);
    char *end = nullptr;
    errno = 0;
    const double parsed = std::strtod(p.c_str(), &end);
    uint64_t max = 0;
    if (errno != 0 || *end != '\0' || !(parsed >= 0.0 && parsed <= 1.0)
        || !parse_unsigned(text.substr(slash + 1), kMaxDelayUs, max) || max == 0)
        return false;
    probability = parsed;
    max_us = static_cast<unsigned>(max);
    return true;
}

namespace {

// T of a stretch: N, N-M or N- (every later one).
bool parse_transactions(const std::string &text, uint64_t &first, uint64_t &last)
{
    const size_t dash = text.find('-');
    if (!parse_unsigned(text.substr(0, dash), kMaxCount, first) || first == 0)
        return false;
    last = first;
    if (dash == std::string::npos)
        return true;
    const std::string end = text.substr(dash + 1);
    last = Stretch::kEveryLater;
    return end.empty() || (parse_unsigned(end, kMaxCount, last) && last >= first);
}

} // namespace

bool parse_stretch(const std::string &text, Stretch &stretch)
{
    const size_t colon = text.find(':'), slash = text.find('/', colon), at = text.find('@', slash);
    if (colon == std::string::npos || slash == std::string::npos)
        return false;
    uint64_t first = 0, last = 0, edge = 0, us = 0, at_us = 0;
    if (!parse_transactions(text.substr(0, colon), first, last))
        return false;
    if (!parse_unsigned(text.substr(colon + 1, slash - colon - 1), kMaxCount, edge)
        || !parse_unsigned(text.substr(slash + 1, at == std::string::npos ? at : at - slash - 1), kMaxDelayUs, us)
        || us == 0)
        return false;
    if (at != std::string::npos && !parse_unsigned(text.substr(at + 1), kMaxCount, at_us))
        return false;
    stretch = Stretch{static_cast<uint32_t>(first), static_cast<uint32_t>(last), static_cast<uint32_t>(edge),
                      static_cast<uint32_t>(us), at != std::string::npos, static_cast<uint32_t>(at_us)};
    return true;
}

std::string one_of(const std::vector<std::string> &names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

} // namespace detail
} // namespace sim
