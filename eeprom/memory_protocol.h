// The memory-function protocol both EEPROMs speak: Read Memory, and the row
// write through the scratchpad (write, verify, copy and confirm, check).
// The chips differ only in what this descriptor holds. EEPROM-layer internal.
#ifndef IDSTAMP_MEMORY_PROTOCOL_H
#define IDSTAMP_MEMORY_PROTOCOL_H

#include "signal/onewiresignal.h"

// Each chip's whole memory, data pages and control bytes, in bytes, and the
// largest memory the driver supports: what sizes a transfer's bookkeeping.
enum {
    DS2431_MEMORY_BYTES = 0x90,
    DS28EC20_MEMORY_BYTES = 0xA40,
    EEPROM_MAX_MEMORY_BYTES = 0xA40,
};
static_assert(DS2431_MEMORY_BYTES <= EEPROM_MAX_MEMORY_BYTES && DS28EC20_MEMORY_BYTES <= EEPROM_MAX_MEMORY_BYTES,
              "every supported chip's memory fits in the largest the driver supports");

typedef struct {
    ONE_WIRE_TIMING *timing;                           // resets and slots
    int (*sendByte)(ONE_WIRE_ACCESS *, unsigned char);   // one byte out
    int (*receiveByte)(ONE_WIRE_ACCESS *, unsigned char *); // one byte in
    // A transfer is refused when address + length exceeds this. It is the
    // chip's last address, so the transfer ends one byte short of the end
    // of memory at best: the chip's very last byte is never transferred.
    unsigned int bound;
    unsigned int rowSize;  // bytes the scratchpad holds
    unsigned int pageCount; // data pages a page operation accepts
} EEPROM_CHIP;

int eeprom_memory_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                       unsigned int length, unsigned char *buffer);
int eeprom_page_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char page,
                     unsigned char *buffer);
int eeprom_row_write(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                     unsigned char *data);
int eeprom_page_write(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char page,
                      unsigned char *data);

#endif
