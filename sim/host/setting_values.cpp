// The kinds of value a setting takes: each one's refusals and its text.
#include "sim/host/setting_values.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "sim/host/value_parsers.h"

namespace sim {
namespace detail {

namespace {

std::string quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

bool same_name(const std::string &a, const std::string &b, bool any_case)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [any_case](char x, char y) {
               return any_case ? std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y))
                               : x == y;
           });
}

} // namespace

Values number(uint64_t min, uint64_t max, void (*set)(Config &, uint64_t), unsigned form)
{
    std::string range = std::to_string(min) + " to " + std::to_string(max);
    if (form & kOrHex) {
        char hex[24];
        std::snprintf(hex, sizeof hex, " (0x%llX)", static_cast<unsigned long long>(max));
        range += hex;
    }
    ReadValue read = [=](const char *value, Config &config, std::string &why) {
        if (value == nullptr)
            return true;
        uint64_t number = 0;
        const Number parsed = parse_number(value, min, max, number, form & kOrHex ? 0 : 10);
        if (parsed == Number::ok) {
            set(config, number);
            return true;
        }
        why = quoted(value) + " is not "
              + (parsed == Number::out_of_range || (form & kRangeForAny) ? range : std::string("a number"));
        return false;
    };
    return {range, read};
}

Values choice(const char *what, std::vector<Choice> choices, void (*set)(Config &, int, const std::string &),
              bool any_case)
{
    std::vector<std::string> names, marked;
    for (const Choice &choice : choices) {
        names.push_back(choice.name);
        marked.push_back("`" + names.back() + "`");
    }
    const std::string refusal = " (" + one_of(names) + ")";
    ReadValue read = [=](const char *value, Config &config, std::string &why) {
        if (value == nullptr)
            return true;
        for (const Choice &choice : choices)
            if (same_name(value, choice.name, any_case)) {
                set(config, choice.value, value);
                return true;
            }
        why = std::string("unknown ") + what + " " + quoted(value) + refusal;
        return false;
    };
    return {one_of(marked) + (any_case ? " (any case)" : ""), read};
}

Values form(const char *form, bool (*read)(const std::string &, Config &))
{
    return {form, [=](const char *value, Config &config, std::string &why) {
                if (value == nullptr || read(value, config))
                    return true;
                why = quoted(value) + " is not " + form;
                return false;
            }};
}

Values text(const char *what, bool (*read)(const std::string &, Config &, std::string &why))
{
    return {what, [=](const char *value, Config &config, std::string &why) {
                return value == nullptr || read(value, config, why);
            }};
}

Values path(const char *what, void (*set)(Config &, const char *))
{
    return {what, [=](const char *value, Config &config, std::string &) {
                set(config, value);
                return true;
            }};
}

} // namespace detail
} // namespace sim
