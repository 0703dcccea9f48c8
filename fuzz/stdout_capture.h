// The tool's standard output caught in a file in memory, for the codec
// fuzzer's checks to read.
#ifndef IDSTAMP_FUZZ_STDOUT_CAPTURE_H
#define IDSTAMP_FUZZ_STDOUT_CAPTURE_H

#include <string>

namespace codec {

// What the run printed, as collect_output last read it.
extern std::string output;

// Sends standard output to the file in memory; aborts when it cannot.
void capture_stdout();

// Empties the file before a run.
void start_output();

// Reads what the run printed so far into `output`.
void collect_output();

} // namespace codec

#endif
