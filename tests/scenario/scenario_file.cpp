#include "scenario_file.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string trim(const std::string &s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        b++;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        e--;
    return s.substr(b, e - b);
}

// Whitespace-separated words; "double quotes" keep blanks and allow "".
bool split_args(const std::string &text, std::vector<std::string> &out, std::string &error)
{
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            i++;
        if (i >= text.size())
            break;
        std::string word;
        if (text[i] == '"') {
            i++;
            while (i < text.size() && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < text.size())
                    i++;
                word += text[i++];
            }
            if (i >= text.size()) {
                error = "unterminated quote in args";
                return false;
            }
            i++;
        } else {
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
                word += text[i++];
        }
        out.push_back(word);
    }
    return true;
}

bool parse_seed_range(const std::string &text, unsigned &first, unsigned &last)
{
    const size_t dash = text.find('-');
    try {
        first = static_cast<unsigned>(std::stoul(text.substr(0, dash)));
        last = dash == std::string::npos ? first : static_cast<unsigned>(std::stoul(text.substr(dash + 1)));
    } catch (...) {
        return false;
    }
    return first >= 1 && last >= first;
}

} // namespace

size_t chip_memory_size(const std::string &chip)
{
    return chip == "ds28ec20" ? 2624 : 144;
}

std::vector<uint8_t> parse_hex_bytes(const std::string &text, std::string &error)
{
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word.size() != 2 || !std::isxdigit(static_cast<unsigned char>(word[0])) ||
            !std::isxdigit(static_cast<unsigned char>(word[1]))) {
            error = "bad hex byte '" + word + "'";
            return {};
        }
        bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

std::string unescape_line(const std::string &line, bool &line_end)
{
    std::string out;
    line_end = true;
    for (size_t i = 0; i < line.size(); i++) {
        if (line[i] != '\\') {
            out += line[i];
            continue;
        }
        if (i + 1 == line.size()) {
            line_end = false; // a final backslash: the output has no line end here
            break;
        }
        const char c = line[++i];
        out += c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

bool parse_scenario(const std::string &path, Scenario &s, std::string &error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::string line;
    std::string section;
    std::string stdout_text;
    std::vector<std::string> syslog;
    int number = 0;
    auto fail = [&](const std::string &why) {
        error = path + ":" + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        number++;
        if (line.rfind("--- ", 0) == 0) {
            section = trim(line.substr(4));
            if (section == "stdout")
                s.stdout_text = "";
            else if (section == "syslog")
                s.syslog_lines = std::vector<std::string>{};
            else if (section != "image")
                return fail("unknown section '" + section + "'");
            continue;
        }
        if (section == "stdout") {
            bool line_end = true;
            *s.stdout_text += unescape_line(line, line_end);
            if (line_end)
                *s.stdout_text += '\n';
            continue;
        }
        if (section == "syslog") {
            s.syslog_lines->push_back(line);
            continue;
        }
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') {
            if (s.description.empty() && t.size() > 1 && section.empty())
                s.description = trim(t.substr(1));
            continue;
        }
        const size_t colon = t.find(':');
        if (colon == std::string::npos)
            return fail("expected 'key: value'");
        const std::string key = trim(t.substr(0, colon));
        const std::string value = trim(t.substr(colon + 1));
        if (section == "image") {
            if (key == "file" && value == "missing") {
                s.image_missing_after = true;
                continue;
            }
            unsigned page = 0;
            if (std::sscanf(key.c_str(), "page %u", &page) != 1)
                return fail("expected 'page N: bytes'");
            std::vector<uint8_t> bytes = parse_hex_bytes(value, error);
            if (bytes.size() != 32)
                return fail(error.empty() ? "a page is 32 bytes" : error);
            s.expected_pages[page] = bytes;
            continue;
        }
        if (key == "args") {
            if (!split_args(value, s.args, error))
                return fail(error);
        } else if (key == "chip") {
            s.chip = value;
        } else if (key == "faults") {
            s.faults = value;
        } else if (key == "rom") {
            s.rom = value;
        } else if (key == "seed") {
            s.seed = value;
        } else if (key == "seeds") {
            if (!parse_seed_range(value, s.seed_first, s.seed_last))
                return fail("seeds: expected N or N-M");
        } else if (key == "exit") {
            s.exit_status = std::stoi(value);
        } else if (key == "report") {
            s.report_lines.push_back(value);
        } else if (key == "image") {
            if (value == "blank")
                s.has_image = true;
            else if (value != "none")
                return fail("image: blank or none");
        } else if (key.rfind("page ", 0) == 0 || key.rfind("byte ", 0) == 0) {
            unsigned n = 0;
            if (std::sscanf(key.c_str() + 5, "%i", reinterpret_cast<int *>(&n)) != 1)
                return fail("bad page or byte number");
            std::vector<uint8_t> bytes = parse_hex_bytes(value, error);
            if (!error.empty())
                return fail(error);
            s.initial_bytes[key[0] == 'p' ? n * 32 : n] = bytes;
            s.has_image = true;
        } else {
            return fail("unknown key '" + key + "'");
        }
    }
    return true;
}
