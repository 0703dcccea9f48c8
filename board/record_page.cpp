// Sealing and checking record pages, and the page dump listings.
#include "board/record_page.h"

#include <stdio.h>

#include "eeprom/onewire.h"

#define RECORD_PAGE_BYTES 32

// The complemented CRC-16 of the covered bytes.
static unsigned short record_check_value(const unsigned char *page, unsigned int covered)
{
    unsigned short crc = 0;

    // The buffer routine only reads the page.
    onewire_calculate_crc16(const_cast<unsigned char *>(page), covered, &crc);
    return static_cast<unsigned short>(~crc);
}

int record_seal(unsigned char *page, unsigned int covered, unsigned int crcOffset)
{
    if (page == nullptr) {
        return -1;
    }
    unsigned short check = record_check_value(page, covered);
    // High byte first whatever the host's byte order, so a page reads the
    // same on every machine.
    page[crcOffset] = static_cast<unsigned char>(check >> 8);
    page[crcOffset + 1] = static_cast<unsigned char>(check & 0xFFu);
    return 0;
}

int record_check(const unsigned char *page, unsigned int covered, unsigned int crcOffset,
                 unsigned short *computed)
{
    if (page == nullptr) {
        return -1;
    }
    unsigned short check = record_check_value(page, covered);
    if (computed != nullptr) {
        *computed = check;
    }
    return check == record_stored_crc(page, crcOffset) ? 0 : -1;
}

unsigned int record_stored_crc(const unsigned char *page, unsigned int crcOffset)
{
    if (page == nullptr) {
        return 0;
    }
    return (static_cast<unsigned int>(page[crcOffset]) << 8) | page[crcOffset + 1];
}

// Header, rule and the 32 bytes in two lines of 16, each byte under its
// column number. Leaves the line open after the last byte.
static void record_dump_bytes(const unsigned char *page)
{
    printf("   00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n");
    printf("   -----------------------------------------------");
    for (unsigned int i = 0; i < RECORD_PAGE_BYTES; i++) {
        if (i % 16 == 0) {
            printf("\n  ");
        }
        printf(" %02x", page[i]);
    }
}

void record_dump_crc_failure(const unsigned char *page)
{
    if (page == nullptr) {
        return;
    }
    printf("   Page Contents:\n");
    record_dump_bytes(page);
}

void record_dump_raw(const unsigned char *page, unsigned int pageNumber)
{
    if (page == nullptr) {
        return;
    }
    printf("   Page %d contents:\n", static_cast<int>(pageNumber));
    record_dump_bytes(page);
    printf("\r\n");
}
