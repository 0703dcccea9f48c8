#include "scenario_file.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/model/chips/chip.h"

namespace {

bool space(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && space(s[b]))
        b++;
    while (e > b && space(s[e - 1]))
        e--;
    return s.substr(b, e - b);
}

// Whitespace-separated words; "double quotes" keep blanks and allow "", with
// \" and \\ inside them.
bool split_args(const std::string &text, std::vector<std::string> &out)
{
    for (size_t i = 0; i < text.size();) {
        if (space(text[i])) {
            i++;
            continue;
        }
        std::string word;
        if (text[i] == '"') {
            for (i++; i < text.size() && text[i] != '"'; word += text[i++])
                i += text[i] == '\\' && i + 1 < text.size();
            if (i++ >= text.size())
                return false;
        } else {
            while (i < text.size() && !space(text[i]))
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

bool parse_hex_bytes(const std::string &text, std::vector<uint8_t> &bytes, std::string &error)
{
    std::istringstream in(text);
    for (std::string w; in >> w; bytes.push_back(static_cast<uint8_t>(std::stoul(w, nullptr, 16)))) {
        if (w.size() != 2 || !std::isxdigit(static_cast<unsigned char>(w[0])) ||
            !std::isxdigit(static_cast<unsigned char>(w[1]))) {
            error = "bad hex byte '" + w + "'";
            return false;
        }
    }
    return true;
}

// A line of an expected output: \r, \t, \\, and a final \ for "no line end".
std::string unescape_line(const std::string &line)
{
    std::string out;
    for (size_t i = 0; i < line.size(); i++) {
        if (line[i] != '\\') {
            out += line[i];
        } else if (i + 1 == line.size()) {
            return out;
        } else {
            const char c = line[++i];
            out += c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
    }
    return out + '\n';
}

} // namespace

// From the board's chip list; no chip named is the board's default, a DS2431.
size_t chip_memory_size(const std::string &chip)
{
    using namespace sim::detail;
    for (size_t i = 0; i < chip_count(); ++i)
        if (chip == chip_at(i).name)
            return chip_at(i).memory_size;
    return chip_model(sim::Chip::ds2431).memory_size;
}

bool parse_scenario(const std::string &path, Scenario &s, std::string &error)
{
    std::ifstream in(path);
    std::string line, section;
    int number = 0;
    auto fail = [&](const std::string &why) {
        error = number == 0 ? why : path + ":" + std::to_string(number) + ": " + why;
        return false;
    };
    if (!in)
        return fail("cannot open " + path);
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
            *s.stdout_text += unescape_line(line);
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
        const std::string key = trim(t.substr(0, colon)), value = trim(t.substr(colon + 1));
        std::vector<uint8_t> bytes;
        unsigned n = 0;
        if (section == "image") {
            if (key == "file" && value == "missing")
                s.image_missing_after = true;
            else if (std::sscanf(key.c_str(), "page %u", &n) != 1)
                return fail("expected 'page N: bytes'");
            else if (!parse_hex_bytes(value, bytes, error) || bytes.size() != 32)
                return fail(error.empty() ? "a page is 32 bytes" : error);
            else
                s.expected_pages[n] = bytes;
        } else if (key == "args") {
            if (!split_args(value, s.args))
                return fail("unterminated quote in args");
        } else if (key == "chip" || key == "faults" || key == "rom" || key == "seed" || key == "access_ns") {
            (key == "chip"     ? s.chip
             : key == "faults" ? s.faults
             : key == "rom"    ? s.rom
             : key == "seed"   ? s.seed
                               : s.access_ns) = value;
        } else if (key == "seeds") {
            if (!parse_seed_range(value, s.seed_first, s.seed_last))
                return fail("seeds: expected N or N-M");
        } else if (key == "exit") {
            s.exit_status = std::stoi(value);
        } else if (key == "report") {
            s.report_lines.push_back(value);
        } else if (key == "image") {
            if (value != "blank" && value != "none")
                return fail("image: blank or none");
            s.has_image = s.has_image || value == "blank";
        } else if (key.rfind("page ", 0) == 0 || key.rfind("byte ", 0) == 0) {
            if (std::sscanf(key.c_str() + 5, "%i", reinterpret_cast<int *>(&n)) != 1)
                return fail("bad page or byte number");
            if (!parse_hex_bytes(value, bytes, error))
                return fail(error);
            s.initial_bytes[key[0] == 'p' ? n * 32 : n] = bytes;
            s.has_image = true;
        } else {
            return fail("unknown key '" + key + "'");
        }
    }
    return true;
}
