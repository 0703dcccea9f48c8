// The string record, page 2: up to 30 bytes, zero-filled, sealed; and the
// raw read of any page for the hex dump.
#include <stdio.h>
#include <string.h>

#include "board/record_page.h"
#include "board/wexloow.h"
#include "eeprom/onewire.h"

enum {
    kStringCovered = 30,
    kStringCrcOffset = 30,
    kWriteTries = 6,
    kReadTries = 7,
};

static WEXLO_GENERIC_STRING myWexloStr;

static int calculate_generic_string_crc16(WEXLO_GENERIC_STRING *page)
{
    return record_seal(reinterpret_cast<unsigned char *>(page), kStringCovered, kStringCrcOffset);
}

static int verify_generic_string_page(WEXLO_GENERIC_STRING *page, unsigned short *computed)
{
    return record_check(reinterpret_cast<unsigned char *>(page), kStringCovered, kStringCrcOffset, computed);
}

int generic_string_write(unsigned char *text, unsigned int length, int verbose)
{
    if (text == nullptr || length > WEXLO_STRING_MAX)
        return -1;
    if (initialize_ow_family_code() < 0) {
        if (verbose)
            puts("Unable to read 1-Wire EEPROM family code");
        return -1;
    }

    memset(myWexloStr.stringBytes, 0, sizeof myWexloStr.stringBytes);
    memcpy(myWexloStr.stringBytes, text, length);
    // Never taken: only a null page fails the seal, and this one is our own.
    if (calculate_generic_string_crc16(&myWexloStr) < 0)
        return -1;

    int result = -1;
    int attempt = 0;
    while (attempt < kWriteTries && result < 0) {
        attempt++;
        result = onewire_write_page(&eepromAccess, WEXLO_STRING_PAGE, reinterpret_cast<unsigned char *>(&myWexloStr));
    }
    if (result == 0)
        result = attempt;

    if (verbose)
        puts(result < 0 ? "Write generic string failed!" : "Write generic string done.");
    return result;
}

int generic_string_read(unsigned char *buffer, int verbose)
{
    unsigned short computed = 0;
    if (initialize_ow_family_code() < 0) {
        if (verbose)
            puts("Unable to read 1-Wire EEPROM family code");
        return -1;
    }

    int status = -1;
    int attempt = 0;
    while (attempt < kReadTries && status != 0) {
        attempt++;
        status = -1;
        if (onewire_read_page(&eepromAccess, WEXLO_STRING_PAGE, reinterpret_cast<unsigned char *>(&myWexloStr)) == 0) {
            status = -2;
            if (verify_generic_string_page(&myWexloStr, &computed) == 0)
                status = 0;
        }
    }
    if (status == 0)
        status = attempt;

    // A full 30-byte string has no terminator in the page: supply one.
    if (buffer != nullptr) {
        memcpy(buffer, myWexloStr.stringBytes, sizeof myWexloStr.stringBytes);
        buffer[sizeof myWexloStr.stringBytes] = 0;
    }

    if (!verbose)
        return status;
    if (status > 0) {
        printf("Read generic string done (crc16 = 0x%x)\r\n", computed);
        return status;
    }
    printf("Read generic string failed! (crc16 read 0x%x ",
           record_stored_crc(reinterpret_cast<unsigned char *>(&myWexloStr), kStringCrcOffset));
    if (status == -2) {
        printf("calculated 0x%x)\r\n", computed);
        record_dump_crc_failure(reinterpret_cast<unsigned char *>(&myWexloStr));
    } else {
        puts(")\r");
    }
    return -1;
}

int generic_page_read(unsigned char *buffer, unsigned int page, int verbose)
{
    if (initialize_ow_family_code() < 0) {
        if (verbose)
            puts("Unable to read 1-Wire EEPROM family code");
        return -1;
    }

    unsigned char local[WEXLO_PAGE_SIZE];
    memset(local, 0, sizeof local);
    // The chip layer takes 8-bit page numbers.
    const int result = onewire_read_page(&eepromAccess, static_cast<unsigned char>(page & 0xFF), local);
    if (buffer != nullptr)
        memcpy(buffer, local, sizeof local);

    if (verbose) {
        if (result < 0)
            printf("Read page %d FAILED!\r\n", page);
        else
            record_dump_raw(local, page);
    }
    return result;
}
