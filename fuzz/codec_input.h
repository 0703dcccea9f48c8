// The codec fuzzer's input, decoded:
//   byte 0: bit 0 chip (0 DS2431, 1 DS28EC20); bits 1, 2, 3: pages 0, 1, 2
//           sealed before the run (else as given, which seldom passes);
//           bit 4: the ROM's family byte as given (else the chip's);
//           bit 5: ROM reads after bring-up fail; bits 6-7: page writes that
//           fail (3: all of them)
//   byte 1: bits 0-2: page reads that fail (7: all of them); bits 3-4: page
//           reads that get one bit wrong
//   bytes 2-9: the ROM; bytes 10-105: pages 0 to 2 (0xFF where the input ends)
//   the rest, split on NUL bytes: the argument vector after the program name.
#ifndef IDSTAMP_FUZZ_CODEC_INPUT_H
#define IDSTAMP_FUZZ_CODEC_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace codec {

struct Input {
    uint8_t flags = 0;
    uint8_t faults = 0;
    std::vector<std::string> arguments;
};

// Sets the store (codec_machine.h) up as the header asks and returns the
// rest of the input.
Input take_input(const uint8_t *data, size_t size);

} // namespace codec

#endif
