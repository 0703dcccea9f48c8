// The records' check value as the codec fuzzer's reference: a CRC-16 written
// here apart from the product's, and the sealing of a page with it.
#ifndef IDSTAMP_FUZZ_REFERENCE_CRC_H
#define IDSTAMP_FUZZ_REFERENCE_CRC_H

#include <cstddef>
#include <cstdint>

namespace codec {

// CRC-16 with polynomial x^16 + x^15 + x^2 + 1, bit by bit, least significant
// bit first, from 0.
uint16_t crc16(const uint8_t *bytes, size_t length);

// Whether the two bytes after the `covered` ones hold their complemented
// CRC-16, high byte first; seal writes them.
bool sealed(const uint8_t *page, size_t covered);
void seal(uint8_t *page, size_t covered);

} // namespace codec

#endif
