// The pieces every memory-function transaction is built from. Each operation
// is one bus transaction: the line is opened after the argument checks and
// released exactly once on every way out.
#include "eeprom/memory_transaction.h"

#include <stdint.h>

#include "eeprom/rerun.h"

// Refused when address + length exceeds the bound, so a transfer can cover
// addresses up to bound - 1 only. Summed in 64 bits so a huge address cannot
// wrap around into the accepted range.
int eeprom_beyond_bound(const EEPROM_CHIP *chip, unsigned int address, unsigned int length)
{
    return static_cast<uint64_t>(address) + length > chip->bound;
}

int eeprom_send_bytes(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, const unsigned char *bytes,
                      unsigned int count)
{
    int result = 0;
    for (unsigned int i = 0; i < count; i++) {
        const int rc = chip->sendByte(access, bytes[i]);
        if (!ow_in_step(rc))
            return rc;
        result = rc < 0 ? rc : result;
    }
    return result;
}

// A command or address byte that may have gone out wrong may have put the
// chip on another command: nothing after it means anything.
int eeprom_command_result(int rc)
{
    return rc == OW_DISTURBED ? OW_LOST : rc;
}

int eeprom_fail_transaction(ONE_WIRE_ACCESS *access)
{
    ow_close(access);
    eeprom_print_held();
    return -1;
}
