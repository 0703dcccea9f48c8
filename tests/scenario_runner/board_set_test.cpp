// The board binary's everyday set of scenarios (all but those in
// tests/board_binary/left_out.txt) must still show every kind of behaviour that
// the whole set shows: each fault, each exit status, each option, and each line
// of output and of the log with its numbers and hex bytes taken out. A scenario
// may be left out only when what it prints is printed by a kept one too.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "scenario_file.h"

namespace {

using Kinds = std::set<std::string>;

// A line's kind: every word of hex digits (0x or not) and every run of
// digits becomes #.
std::string kind_of_line(const std::string &line)
{
    std::string kind;
    for (size_t i = 0; i < line.size();) {
        if (!std::isalnum(static_cast<unsigned char>(line[i]))) {
            kind += line[i++];
            continue;
        }
        size_t end = i;
        while (end < line.size() && std::isalnum(static_cast<unsigned char>(line[end])))
            end++;
        const std::string word = line.substr(i, end - i);
        const size_t hex_from = word.size() > 2 && word[0] == '0' && word[1] == 'x' ? 2 : 0;
        if (word.find_first_not_of("0123456789abcdefABCDEF", hex_from) == std::string::npos) {
            kind += '#';
        } else {
            for (size_t k = 0; k < word.size(); k++) {
                if (!std::isdigit(static_cast<unsigned char>(word[k])))
                    kind += word[k];
                else if (k == 0 || !std::isdigit(static_cast<unsigned char>(word[k - 1])))
                    kind += '#';
            }
        }
        i = end;
    }
    return kind;
}

void add_lines(Kinds &kinds, const std::string &where, const std::string &text)
{
    std::string piece;
    std::istringstream in(text);
    while (std::getline(in, piece, '\n')) {
        std::istringstream parts(piece);
        for (std::string part; std::getline(parts, part, '\r');) {
            const std::string kind = kind_of_line(part);
            // Page dumps are data, not a kind of behaviour.
            if (kind.find_first_not_of("# -") != std::string::npos)
                kinds.insert(where + kind);
        }
    }
}

Kinds kinds_of(const Scenario &s)
{
    Kinds kinds{"exit " + std::to_string(s.exit_status)};
    std::istringstream faults(s.faults);
    for (std::string item; std::getline(faults, item, ',');) {
        item.erase(0, item.find_first_not_of(' '));
        if (!item.empty())
            kinds.insert("fault " + item.substr(0, item.find('=')));
    }
    for (const std::string &arg : s.args)
        if (arg.size() == 2 && arg[0] == '-')
            kinds.insert("option " + arg);
    if (s.stdout_text)
        add_lines(kinds, "stdout: ", *s.stdout_text);
    if (s.syslog_lines)
        for (const std::string &line : *s.syslog_lines)
            add_lines(kinds, "syslog: ", line);
    return kinds;
}

// Name -> the rest of its line, from the list of scenarios left out.
std::map<std::string, std::string> left_out(std::string &error)
{
    std::map<std::string, std::string> names;
    std::ifstream in(IDSTAMP_BOARD_LEFT_OUT);
    if (!in)
        error = "cannot read " IDSTAMP_BOARD_LEFT_OUT;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::string name = line.substr(0, line.find(' '));
        if (!names.emplace(name, line.substr(name.size())).second)
            error += "listed twice: " + name + "\n";
    }
    return names;
}

TEST(BoardSet, KeptScenariosShowEveryKind)
{
    std::string error;
    const auto out = left_out(error);
    ASSERT_EQ(error, "");
    ASSERT_FALSE(out.empty());

    std::map<std::string, Kinds> all;
    for (const auto &entry : std::filesystem::directory_iterator(IDSTAMP_SCENARIO_DIR)) {
        if (entry.path().extension() != ".scn")
            continue;
        Scenario s;
        ASSERT_TRUE(parse_scenario(entry.path().string(), s, error)) << error;
        all[entry.path().stem().string()] = kinds_of(s);
    }
    Kinds kept;
    for (const auto &[name, kinds] : all)
        if (out.count(name) == 0)
            kept.insert(kinds.begin(), kinds.end());

    for (const auto &[name, why] : out) {
        ASSERT_EQ(all.count(name), 1u) << name << " is left out but is no scenario";
        // The reason ends with the kept scenario that takes the same path.
        const std::string carrier = why.substr(why.find_last_of(' ') + 1);
        EXPECT_TRUE(all.count(carrier) == 1 && out.count(carrier) == 0)
            << name << ": " << carrier << " is not a kept scenario";
        for (const std::string &kind : all.at(name))
            EXPECT_EQ(kept.count(kind), 1u) << name << " is the only one to show \"" << kind << "\"";
    }
}

TEST(BoardSet, KindsTakeOutNumbersOnly)
{
    const struct {
        const char *line, *kind;
    } cases[] = {
        {"Verify MAC Page CRC16 failed (calc 0x7bbe, read 0xffff)", "Verify MAC Page CRC# failed (calc #, read #)"},
        {"Failed to read ROM byte (1)", "Failed to read ROM byte (#)"},
        {"Writing MAC address 00:11:22:33:44:55...", "Writing MAC address #:#:#:#:#:#..."},
        {"Retrying...", "Retrying..."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kind_of_line(c.line), c.kind) << c.line;
}

} // namespace
