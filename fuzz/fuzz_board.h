// What the fuzzers share: the simulated board an input asks for, the
// product's process-wide state put back to what a new process has, and the
// checks that every run must pass whatever its input.
#ifndef IDSTAMP_FUZZ_FUZZ_BOARD_H
#define IDSTAMP_FUZZ_FUZZ_BOARD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/config.h"

namespace fuzz {

// A board as the input's header describes it.
struct Board {
    sim::Config config;
    // Faults that break slots on purpose, so timing violations are expected.
    bool timing_disturbed = false;
};

// Header of the command-line fuzzer, two bytes:
//   byte 0: bit 0 chip (0 DS2431, 1 DS28EC20); bits 1, 2, 3: page 0, 1, 2
//           hold a valid MAC, IPv4, string record (else erased);
//           bits 4-7: fault kind (0-6 none, see the table in fuzz_board.cpp)
//   byte 1: the fault's count or parameter
// Consumes the header; an input shorter than it gives a blank DS2431.
Board board_from_header(const uint8_t *&data, size_t &size);

// Memory image of the chip: erased, with the sample records the mask asks
// for (bit 0 MAC, bit 1 IPv4, bit 2 string).
std::vector<uint8_t> sample_image(sim::Chip chip, unsigned record_mask);

// The record's check value bytes as the board stores them: the complemented
// CRC-16 of the covered bytes, high byte first.
void seal(uint8_t *page, size_t covered);
bool sealed(const uint8_t *page, size_t covered);

// A fresh board and the product's globals as a new process has them.
void start_run(const sim::Config &config);

// Sends the tool's standard output to /dev/null unless IDSTAMP_FUZZ_STDOUT
// is set (to watch a reproducer).
void silence_stdout();

// Reports a broken invariant with the run's board state and aborts, so the
// fuzzer keeps the input.
[[noreturn]] void fail(const std::string &what);

// Checks every run must pass: no misuse of the machine seam, /dev/mem closed
// as often as opened, clean slots unless the faults break them.
void check_board(const Board &board);

} // namespace fuzz

#endif
