// The board's records: MAC (page 0), IPv4 (page 1) and string (page 2), each
// one 32-byte page sealed by a complemented CRC-16 stored high byte first;
// bring-up of the 1-Wire pin and detection of the chip family.
#ifndef IDSTAMP_WEXLOOW_H
#define IDSTAMP_WEXLOOW_H

#include <stddef.h>

#include "signal/onewiresignal.h"

#define WEXLO_PAGE_SIZE 32
#define WEXLO_MAC_PAGE 0
#define WEXLO_IPV4_PAGE 1
#define WEXLO_STRING_PAGE 2
#define WEXLO_STRING_MAX 30

// Register window offsets and masks of the board's 1-Wire pin (pin 5 of the
// I/O port, counting from the most significant end).
#define WEXLO_OW_DATA_OFFSET 0x1464u
#define WEXLO_OW_DIR_OFFSET 0x1468u
#define WEXLO_OW_LINE_MASK 0x04000000u
#define WEXLO_OW_DIR_KEEP_MASK 0xFFCFFFFFu
#define WEXLO_OW_DIR_OPEN_BITS 0x00300000u
#define WEXLO_OW_DIR_IDLE_BITS 0x00200000u

typedef struct {
    unsigned char formatVersion;
    unsigned char recordLength;
    unsigned char macAddress[6];
    unsigned char crc[2]; // high byte first on every host
    unsigned char reserved[22];
} WEXLO_MAC;

typedef struct {
    unsigned char formatVersion;
    unsigned char recordLength;
    unsigned char slot1Address[4];
    unsigned char slot1Gateway[4];
    unsigned char slot1Netmask[4];
    unsigned char slot2Address[4];
    unsigned char slot2Gateway[4];
    unsigned char slot2Netmask[4];
    unsigned char crc[2];
    unsigned char reserved[4];
} WEXLO_IPv4;

// The whole-page view of the IPv4 page as it is read from the chip.
typedef WEXLO_IPv4 WEXLO_IP_ACCESS;

typedef struct {
    unsigned char stringBytes[30];
    unsigned char crc[2];
} WEXLO_GENERIC_STRING;

static_assert(sizeof(WEXLO_MAC) == WEXLO_PAGE_SIZE, "MAC record is one page");
static_assert(offsetof(WEXLO_MAC, macAddress) == 2, "MAC address at offset 2");
static_assert(offsetof(WEXLO_MAC, crc) == 8, "MAC crc at offset 8");
static_assert(offsetof(WEXLO_MAC, reserved) == 10, "MAC reserved from offset 10");
static_assert(sizeof(WEXLO_IPv4) == WEXLO_PAGE_SIZE, "IPv4 record is one page");
static_assert(offsetof(WEXLO_IPv4, slot1Address) == 2, "slot 1 address at offset 2");
static_assert(offsetof(WEXLO_IPv4, slot1Gateway) == 6, "slot 1 gateway at offset 6");
static_assert(offsetof(WEXLO_IPv4, slot1Netmask) == 10, "slot 1 netmask at offset 10");
static_assert(offsetof(WEXLO_IPv4, slot2Address) == 14, "slot 2 address at offset 14");
static_assert(offsetof(WEXLO_IPv4, slot2Gateway) == 18, "slot 2 gateway at offset 18");
static_assert(offsetof(WEXLO_IPv4, slot2Netmask) == 22, "slot 2 netmask at offset 22");
static_assert(offsetof(WEXLO_IPv4, crc) == 26, "IPv4 crc at offset 26");
static_assert(offsetof(WEXLO_IPv4, reserved) == 28, "IPv4 reserved from offset 28");
static_assert(sizeof(WEXLO_GENERIC_STRING) == WEXLO_PAGE_SIZE, "string record is one page");
static_assert(offsetof(WEXLO_GENERIC_STRING, crc) == 30, "string crc at offset 30");

extern ONE_WIRE_ACCESS eepromAccess;

// Bring-up and chip identification.
int initialize_wexlo_onewire(unsigned char *base);
int initialize_ow_family_code(void);
int read_owrom(void);

// Records.
int mac_addr_write(unsigned char *text, int verbose);
int mac_addr_read(unsigned char *text, int verbose);
int ipv4_addr_write(unsigned char *addr1, unsigned char *netmask1, unsigned char *gateway1,
                    unsigned char *addr2, unsigned char *netmask2, unsigned char *gateway2, int verbose);
int ipv4_addr_read(unsigned char *addr1, unsigned char *netmask1, unsigned char *gateway1,
                   unsigned char *addr2, unsigned char *netmask2, unsigned char *gateway2, int verbose);
int generic_string_write(unsigned char *text, unsigned int length, int verbose);
int generic_string_read(unsigned char *buffer, int verbose);
int generic_page_read(unsigned char *buffer, unsigned int page, int verbose);

#endif
