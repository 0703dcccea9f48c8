// What every memory-function transaction of both chips shares: the command
// codes, the bound test, the bytes sent through disturbed slots, and the one
// way out of a transaction that failed. EEPROM-layer internal.
#ifndef IDSTAMP_MEMORY_TRANSACTION_H
#define IDSTAMP_MEMORY_TRANSACTION_H

#include "eeprom/memory_protocol.h"

enum {
    CMD_SKIP_ROM = 0xCC,
    CMD_READ_MEMORY = 0xF0,
    CMD_WRITE_SCRATCHPAD = 0x0F,
    CMD_READ_SCRATCHPAD = 0xAA,
    CMD_COPY_SCRATCHPAD = 0x55,
};

// Whether a transfer of length bytes from address is refused (see
// EEPROM_CHIP's bound).
int eeprom_beyond_bound(const EEPROM_CHIP *chip, unsigned int address, unsigned int length);

// Sends the bytes; a disturbed slot does not stop the rest, so the chip is
// not left mid-command. 0, OW_DISTURBED, or the failure that stopped it.
int eeprom_send_bytes(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, const unsigned char *bytes,
                      unsigned int count);

// The result of a command or address byte: one that may have gone out wrong
// is OW_LOST.
int eeprom_command_result(int rc);

// Releases the line and prints the held lines of the failure. Returns -1.
int eeprom_fail_transaction(ONE_WIRE_ACCESS *access);

#endif
