// The IPv4 record, page 1: format 1, length 28, then for each of the two
// slots the address, the gateway and the netmask, sealed. The interface takes
// and gives each slot as address, netmask, gateway; only the page differs.
#include <stdio.h>
#include <string.h>

#include "board/record_page.h"
#include "board/wexloow.h"
#include "eeprom/onewire.h"
#include "board/simple_strtoul.h"

enum {
    kIpCovered = 26,
    kIpCrcOffset = 26,
    kIpFormat = 1,
    kIpLength = 28,
    kWriteTries = 6,
    kReadTries = 7,
    kDottedQuadSize = 16, // "255.255.255.255" and its terminator
};

static WEXLO_IPv4 myWexloIp;

static int calculate_ip_crc16(WEXLO_IPv4 *page)
{
    return record_seal(reinterpret_cast<unsigned char *>(page), kIpCovered, kIpCrcOffset);
}

static int verify_ip_page(WEXLO_IPv4 *page, unsigned short *computed)
{
    return record_check(reinterpret_cast<unsigned char *>(page), kIpCovered, kIpCrcOffset, computed);
}

// Converts a dotted-decimal text into four bytes; bytes never reached keep
// what they held.
static int ipv4_cp_addr(unsigned char *dest, unsigned char *text)
{
    if (dest == nullptr || text == nullptr)
        return -1;
    char *cursor = reinterpret_cast<char *>(text);
    for (unsigned int i = 0; *cursor != '\0' && i <= 3; i++) {
        dest[i] = static_cast<unsigned char>(simple_strtoul(cursor, &cursor, 10) & 0xFF);
        if (*cursor == '.')
            cursor++;
    }
    return 0;
}

int ipv4_addr_write(unsigned char *addr1, unsigned char *netmask1, unsigned char *gateway1,
                    unsigned char *addr2, unsigned char *netmask2, unsigned char *gateway2, int verbose)
{
    unsigned char *texts[6] = {addr1, netmask1, gateway1, addr2, netmask2, gateway2};
    int nulls = 0;
    for (unsigned char *text : texts)
        nulls += text == nullptr;
    if (nulls == 6)
        return -1;
    if (nulls != 0)
        return -2;

    if (initialize_ow_family_code() < 0) {
        if (verbose)
            puts("Unable to establish 1-Wire EEPROM family code");
        return -1;
    }

    memset(&myWexloIp, 0xFF, sizeof myWexloIp);
    ipv4_cp_addr(myWexloIp.slot1Address, addr1);
    ipv4_cp_addr(myWexloIp.slot1Netmask, netmask1);
    ipv4_cp_addr(myWexloIp.slot1Gateway, gateway1);
    ipv4_cp_addr(myWexloIp.slot2Address, addr2);
    ipv4_cp_addr(myWexloIp.slot2Netmask, netmask2);
    ipv4_cp_addr(myWexloIp.slot2Gateway, gateway2);
    myWexloIp.formatVersion = kIpFormat;
    myWexloIp.recordLength = kIpLength;
    // Never taken: only a null page fails the seal, and this one is our own.
    if (calculate_ip_crc16(&myWexloIp) < 0)
        return -1;

    int result = -1;
    for (int attempt = 0; attempt < kWriteTries && result < 0; attempt++)
        result = onewire_write_page(&eepromAccess, WEXLO_IPV4_PAGE, reinterpret_cast<unsigned char *>(&myWexloIp));

    if (verbose)
        puts(result < 0 ? "IP Write failed!" : "IP Write done.");
    return result;
}

// The attempt (1 to 7) that read a page passing its check, or the last
// attempt's status: -1 read failed, -2 check failed; -3 for a null page.
static int ipv4_page_read(WEXLO_IP_ACCESS *page, unsigned short *computed)
{
    if (page == nullptr)
        return -3;
    int status = -1;
    int attempt = 0;
    while (attempt < kReadTries && status != 0) {
        attempt++;
        status = -1;
        if (onewire_read_page(&eepromAccess, WEXLO_IPV4_PAGE, reinterpret_cast<unsigned char *>(page)) == 0) {
            status = -2;
            if (verify_ip_page(page, computed) == 0)
                status = 0;
        }
    }
    return status == 0 ? attempt : status;
}

static void format_quad(unsigned char *text, const unsigned char *field)
{
    if (text != nullptr)
        snprintf(reinterpret_cast<char *>(text), kDottedQuadSize, "%d.%d.%d.%d", field[0], field[1], field[2],
                 field[3]);
}

static void print_quad(const char *label, const unsigned char *field)
{
    printf("\t slot %s%d.%d.%d.%d\n", label, field[0], field[1], field[2], field[3]);
}

int ipv4_addr_read(unsigned char *addr1, unsigned char *netmask1, unsigned char *gateway1,
                   unsigned char *addr2, unsigned char *netmask2, unsigned char *gateway2, int verbose)
{
    unsigned short computed = 0;
    if (initialize_ow_family_code() < 0) {
        if (verbose)
            puts("Unable to read 1-Wire EEPROM family code");
        return -1;
    }

    const int result = ipv4_page_read(&myWexloIp, &computed);
    switch (result) {
    case -1:
        if (verbose)
            puts("Unable to read page from 1-Wire EEPROM");
        return -1;
    case -2:
        if (verbose) {
            printf("Page CRC16 mismatch (calc 0x%x, read 0x%x)\n", computed,
                   record_stored_crc(reinterpret_cast<unsigned char *>(&myWexloIp), kIpCrcOffset));
            record_dump_crc_failure(reinterpret_cast<unsigned char *>(&myWexloIp));
        }
        return -1;
    case -3:
        // Never here: the page read is our own record, never null; the status
        // keeps its message all the same.
        if (verbose)
            puts("Could not read IPv4 Page - NULL ptr passed as arg");
        return -1;
    default:
        break;
    }

    format_quad(addr1, myWexloIp.slot1Address);
    format_quad(netmask1, myWexloIp.slot1Netmask);
    format_quad(gateway1, myWexloIp.slot1Gateway);
    format_quad(addr2, myWexloIp.slot2Address);
    format_quad(netmask2, myWexloIp.slot2Netmask);
    format_quad(gateway2, myWexloIp.slot2Gateway);

    if (verbose) {
        printf("IPv4 PAGE info (%d)- crc %x:\n", result,
               record_stored_crc(reinterpret_cast<unsigned char *>(&myWexloIp), kIpCrcOffset));
        print_quad("1 addr    ", myWexloIp.slot1Address);
        print_quad("1 netmask ", myWexloIp.slot1Netmask);
        print_quad("1 gateway ", myWexloIp.slot1Gateway);
        print_quad("2 addr    ", myWexloIp.slot2Address);
        print_quad("2 netmask ", myWexloIp.slot2Netmask);
        print_quad("2 gateway ", myWexloIp.slot2Gateway);
    }
    return 0;
}
