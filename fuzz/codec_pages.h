// The store's record pages as the codec fuzzer's checks look at them: which
// page the tool took for a record, and the texts a record's bytes print as.
#ifndef IDSTAMP_FUZZ_CODEC_PAGES_H
#define IDSTAMP_FUZZ_CODEC_PAGES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace codec {

constexpr size_t kPage = 32;

// Covered bytes and check value offset of pages 0, 1 and 2.
constexpr size_t kCovered[3] = {8, 26, 30};

// The page holds each slot as address, gateway, netmask; the tool takes and
// prints address, netmask, gateway.
constexpr size_t kQuadOffsets[6] = {2, 10, 6, 14, 22, 18};

// The store's page as the run left it.
const uint8_t *page_of(unsigned page);

// Whether record page `page` of the store is sealed.
bool record_sealed(unsigned page);

// The page as the tool took it for a record: the chip's page when that is
// sealed, since one wrong bit never passes the check value; else a read that
// one wrong bit made into a page with a right check value, which no reader
// can tell from a good page; nullptr when neither.
const uint8_t *page_taken(unsigned page, const uint8_t *held);

// The MAC address of a MAC record page, as -p prints it.
std::string mac_text(const uint8_t *page);

// The IPv4 address at `offset`, dotted.
std::string quad(const uint8_t *page, size_t offset);

} // namespace codec

#endif
