#include "fuzz/output_parser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/codec_machine.h"
#include "fuzz/codec_pages.h"
#include "fuzz/stdout_capture.h"

namespace codec {

size_t reportsFrom;
size_t recordsEnd = std::string::npos;
size_t stringFrom;
size_t reportsEnd = std::string::npos;
size_t dumpFrom;

namespace {

// The end of the first `echo` from `from`, or `from` when it was not printed.
size_t after_echo(const std::string &echo, size_t from)
{
    const size_t at = output.find(echo, from);
    return at == std::string::npos ? from : at + echo.size();
}

} // namespace

void forget_reports()
{
    reportsFrom = stringFrom = dumpFrom = 0;
    recordsEnd = reportsEnd = std::string::npos;
}

void find_reports(const IDSTAMP_WORK &work, const uint8_t *page2Before)
{
    size_t at = 0;
    if (work.macGiven)
        at = after_echo(std::string("\r\nWriting MAC address ") + work.macAddr + "...", at);
    if (work.ip1Addr && work.net1Addr && work.gw1Addr && work.ip2Addr && work.net2Addr && work.gw2Addr)
        at = after_echo(std::string("IP addresses to write:\n slot 1 addr    ") + work.ip1Addr
                            + "\n slot 1 netmask " + work.net1Addr + "\n slot 1 gateway " + work.gw1Addr
                            + "\n slot 2 addr    " + work.ip2Addr + "\n slot 2 netmask " + work.net2Addr
                            + "\n slot 2 gateway " + work.gw2Addr + "\nWriting IP address ...",
                        at);
    reportsFrom = at;
    reportsEnd = std::string::npos;
    if (work.stringWriteGiven) {
        // The echo is printed once, after every report; the last match is it.
        const std::string echo = std::string("\r\nWriting Generic string \"") + work.stringText + "\"...";
        const size_t echoed = output.rfind(echo);
        if (echoed != std::string::npos && echoed >= at) {
            reportsEnd = echoed;
            at = echoed + echo.size();
        }
    }
    dumpFrom = at;
    stringFrom = recordsEnd = reportsEnd;
    if (work.stringReadGiven) {
        // -p and -q print no text of the chip's or the user's: the first
        // header of -r after them is -r's.
        const size_t read = output.find("Read string from page ", reportsFrom);
        if (read < reportsEnd)
            stringFrom = recordsEnd = read;
        // Without the echo of -w, -c's dump comes after the string -r printed,
        // which may hold a dump's title: skip the string the page held, or the
        // one a read that got a bit wrong gave the tool.
        if (reportsEnd == std::string::npos && read != std::string::npos) {
            std::vector<const uint8_t *> held = {page2Before};
            for (int i = 0; i < store.flippedCount; i++) {
                if (store.flipped[i].page == 2)
                    held.push_back(store.flipped[i].bytes);
            }
            for (const uint8_t *page : held) {
                const std::string shown = "Read string: \""
                                          + std::string(reinterpret_cast<const char *>(page),
                                                        strnlen(reinterpret_cast<const char *>(page), 30))
                                          + "\"\r\n";
                const size_t where = output.find(shown, read);
                if (where != std::string::npos)
                    dumpFrom = std::max(dumpFrom, where + shown.size());
            }
        }
    }
}

bool printed(const std::string &text, size_t from, size_t end)
{
    const size_t at = output.find(text, from);
    return at != std::string::npos && at < end;
}

std::string line_after(const std::string &marker, const std::string &start)
{
    size_t at = output.find(marker, reportsFrom);
    if (at == std::string::npos || at >= recordsEnd
        || (at = output.find(start, at + marker.size())) == std::string::npos)
        return {};
    const size_t from = at + start.size();
    return output.substr(from, output.find_first_of("\r\n", from) - from);
}

bool dump_shows(const std::string &title, const uint8_t *page)
{
    size_t at = output.find(title, dumpFrom);
    if (at == std::string::npos)
        return false;
    at = output.find("----\n", at);
    if (at == std::string::npos)
        return false;
    at += 5;
    for (size_t i = 0; i < kPage; i++) {
        unsigned value = 0;
        int used = 0;
        while (at < output.size() && (output[at] == ' ' || output[at] == '\n'))
            at++;
        if (std::sscanf(output.c_str() + at, "%2x%n", &value, &used) != 1 || value != page[i])
            return false;
        at += static_cast<size_t>(used);
    }
    return true;
}

} // namespace codec
