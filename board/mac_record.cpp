// The MAC record, page 0: format 1, length 10, six octets, sealed.
#include <stdio.h>
#include <string.h>

#include "board/record_page.h"
#include "board/wexloow.h"
#include "eeprom/onewire.h"
#include "board/simple_strtoul.h"

enum {
    kMacCovered = 8,
    kMacCrcOffset = 8,
    kMacFormat = 1,
    kMacLength = 10,
    kWriteTries = 6,
    kReadTries = 7,
};

static WEXLO_MAC myWexloMac;

static int calculate_mac_crc16(WEXLO_MAC *page)
{
    return record_seal(reinterpret_cast<unsigned char *>(page), kMacCovered, kMacCrcOffset);
}

static int verify_mac_page(WEXLO_MAC *page, unsigned short *computed)
{
    return record_check(reinterpret_cast<unsigned char *>(page), kMacCovered, kMacCrcOffset, computed);
}

int mac_addr_write(unsigned char *text, int verbose)
{
    if (text == nullptr)
        return -1;
    if (initialize_ow_family_code() < 0) {
        if (verbose)
            puts("Unable to establish 1-Wire EEPROM family code");
        return -1;
    }

    memset(&myWexloMac, 0xFF, sizeof myWexloMac);
    // Octets are taken as they come; one the parser cannot read is 0, and the
    // ones never reached keep the fill.
    char *cursor = reinterpret_cast<char *>(text);
    for (unsigned int i = 0; *cursor != '\0' && i <= 5; i++) {
        myWexloMac.macAddress[i] = static_cast<unsigned char>(simple_strtoul(cursor, &cursor, 16) & 0xFF);
        if (*cursor == ':')
            cursor++;
    }
    myWexloMac.formatVersion = kMacFormat;
    myWexloMac.recordLength = kMacLength;
    // Never taken: only a null page fails the seal, and this one is our own.
    if (calculate_mac_crc16(&myWexloMac) < 0)
        return -1;

    int result = -1;
    for (int attempt = 0; attempt < kWriteTries && result < 0; attempt++)
        result = onewire_write_page(&eepromAccess, WEXLO_MAC_PAGE, reinterpret_cast<unsigned char *>(&myWexloMac));

    if (verbose)
        puts(result < 0 ? "MAC Write failed!" : "MAC Write done.");
    return result;
}

int mac_addr_read(unsigned char *text, int verbose)
{
    unsigned short computed = 0;
    if (initialize_ow_family_code() < 0) {
        if (verbose)
            puts("Unable to establish 1-Wire EEPROM family code");
        return -1;
    }

    int status = -1;
    int attempt = 0;
    while (attempt < kReadTries && status != 0) {
        attempt++;
        status = -1;
        if (onewire_read_page(&eepromAccess, WEXLO_MAC_PAGE, reinterpret_cast<unsigned char *>(&myWexloMac)) == 0) {
            status = -2;
            if (verify_mac_page(&myWexloMac, &computed) == 0)
                status = 0;
        }
    }

    const unsigned char *mac = myWexloMac.macAddress;
    if (status == -1) {
        if (verbose)
            puts("Failed to read page from 1-Wire EEPROM");
        return -1;
    }
    if (status == -2) {
        if (verbose) {
            printf("Verify MAC Page CRC16 failed (calc 0x%x, read 0x%x)\n", computed,
                   record_stored_crc(reinterpret_cast<unsigned char *>(&myWexloMac), kMacCrcOffset));
            record_dump_crc_failure(reinterpret_cast<unsigned char *>(&myWexloMac));
        }
        return -1;
    }
    if (text != nullptr)
        snprintf(reinterpret_cast<char *>(text), 18, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                 mac[3], mac[4], mac[5]);
    if (verbose) {
        printf("CRC: %x\n", record_stored_crc(reinterpret_cast<unsigned char *>(&myWexloMac), kMacCrcOffset));
        printf("MAC address read (%d): %02x:%02x:%02x:%02x:%02x:%02x\n", attempt, mac[0], mac[1], mac[2], mac[3],
               mac[4], mac[5]);
    }
    return 0;
}
