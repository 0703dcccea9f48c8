// Values of the IDSTAMP_SIM_* settings and faults read from text: numbers,
// hex bytes, a jitter and a stretch. These say only whether the text is one;
// what a refusal says is up to the setting or fault (setting_values.h,
// fault_values.h).
#ifndef IDSTAMP_SIM_HOST_VALUE_PARSERS_H
#define IDSTAMP_SIM_HOST_VALUE_PARSERS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/config.h"

namespace sim {
namespace detail {

// The largest count of a fault, and of transactions, edges and microseconds
// after an edge in a stretch.
constexpr uint64_t kMaxCount = 1000000000;

// The longest delay of one access by jitter or stretch, in microseconds.
constexpr uint64_t kMaxDelayUs = 1000000;

enum class Number { ok, not_a_number, out_of_range };

// A whole unsigned number in min..max (base 0: decimal, or hex with 0x). A
// negative number or one too big for 64 bits is a number out of range, not
// something else.
Number parse_number(const std::string &text, uint64_t min, uint64_t max, uint64_t &value, int base = 10);

// parse_number from 0, as a yes or no.
bool parse_unsigned(const std::string &text, uint64_t max, uint64_t &value, int base = 10);

// Exactly count bytes as two hex digits each.
bool parse_hex_bytes(const std::string &text, size_t count, std::vector<uint8_t> &bytes);

// P/MAX: a probability 0 to 1 and 1 to kMaxDelayUs microseconds.
bool parse_jitter(const std::string &text, double &probability, unsigned &max_us);

// T:K/US or T:K/US@AT, T being N, N-M or N- (transactions from 1).
bool parse_stretch(const std::string &text, Stretch &stretch);

// "a", "a or b", "a, b or c": the names a refusal offers.
std::string one_of(const std::vector<std::string> &names);

} // namespace detail
} // namespace sim

#endif
