// The 1-Wire CRCs as the simulated chips compute them, for the board and for
// whoever builds its images and checks what it sends.
#ifndef IDSTAMP_SIM_CRC_H
#define IDSTAMP_SIM_CRC_H

#include <cstddef>
#include <cstdint>

namespace sim {

// CRC-8 (x8+x5+x4+1) and CRC-16 (x16+x15+x2+1), both bits least significant
// first, start value 0.
uint8_t crc8(const uint8_t *data, size_t length, uint8_t crc = 0);
uint16_t crc16(const uint8_t *data, size_t length, uint16_t crc = 0);

} // namespace sim

#endif
