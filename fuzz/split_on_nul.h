// An input's text split on NUL bytes, as the fuzzers take their argument
// vectors and texts from it.
#ifndef IDSTAMP_FUZZ_SPLIT_ON_NUL_H
#define IDSTAMP_FUZZ_SPLIT_ON_NUL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// Splits text on NUL bytes into at most max_parts parts; the rest of the
// input after the last part taken is dropped.
std::vector<std::string> split_on_nul(const uint8_t *data, size_t size, size_t max_parts);

} // namespace fuzz

#endif
