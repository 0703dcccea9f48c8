// Where a run's reports stand in what it printed, and what they show: those
// of -p and -q after the run has echoed the texts of -m and the IPv4 options,
// and before -r prints the stored string; -r's from there to where -w echoes
// its text; -c's dump after that echo. A stored string and a -w text may hold
// anything, a report's own lines too.
#ifndef IDSTAMP_FUZZ_OUTPUT_PARSER_H
#define IDSTAMP_FUZZ_OUTPUT_PARSER_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "frontend/idstamp.h"

namespace codec {

// Offsets into `output` (stdout_capture.h), set by find_reports.
extern size_t reportsFrom;
extern size_t recordsEnd;
extern size_t stringFrom;
extern size_t reportsEnd;
extern size_t dumpFrom;

// Every report spans the whole output, as before a run.
void forget_reports();

// Finds the spans of a run's reports; page2Before is page 2 as the run found it.
void find_reports(const IDSTAMP_WORK &work, const uint8_t *page2Before);

// Whether `text` begins between `from` and `end`.
bool printed(const std::string &text, size_t from = reportsFrom, size_t end = recordsEnd);

// The text after the first `marker` and then `start` up to the line end.
std::string line_after(const std::string &marker, const std::string &start);

// Whether the 32 bytes of the dump after `title` are `page`'s.
bool dump_shows(const std::string &title, const uint8_t *page);

} // namespace codec

#endif
