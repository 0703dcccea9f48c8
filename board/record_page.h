// What the three record modules share: sealing and checking a page with the
// complemented CRC-16, and the two page dump listings. Board-internal.
#ifndef IDSTAMP_RECORD_PAGE_H
#define IDSTAMP_RECORD_PAGE_H

// Seals the first `covered` bytes of page into the two bytes at crcOffset,
// high byte first. -1 for a null page.
int record_seal(unsigned char *page, unsigned int covered, unsigned int crcOffset);

// 0 when the stored check value matches the covered bytes, -1 when not or for
// a null page. *computed (when not null) receives the computed value in host
// order, match or not.
int record_check(const unsigned char *page, unsigned int covered, unsigned int crcOffset,
                 unsigned short *computed);

// The stored check value, read big-endian.
unsigned int record_stored_crc(const unsigned char *page, unsigned int crcOffset);

// Dump after a failed check: title, header, rule, 32 bytes, no line end.
void record_dump_crc_failure(const unsigned char *page);

// Dump of a raw page read, titled with the page number as the caller gave it.
void record_dump_raw(const unsigned char *page, unsigned int pageNumber);

#endif
