// Read Memory, shared by both chips: passes over the range until every byte
// has come from clean slots.
#include "eeprom/memory_protocol.h"

#include <string.h>

#include "eeprom/memory_transaction.h"
#include "eeprom/onewire.h"
#include "eeprom/rerun.h"

// Which bytes of the memory read under way came from clean slots, a bit for
// each byte any supported chip has; the memory does not change between
// passes, so each is kept once it did.
static unsigned char takenBytes[(EEPROM_MAX_MEMORY_BYTES + 7) / 8];

static int is_taken(unsigned int i)
{
    return (takenBytes[i / 8] >> (i % 8)) & 1;
}

// One Read Memory pass from the first byte not yet taken to the last. It goes
// on through disturbed bytes (the chip stays in step) and takes the clean
// ones: 0 once every byte is taken, OW_DISTURBED while some are not.
static int read_memory_pass(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                            unsigned int length, unsigned char *buffer, unsigned int *first)
{
    int rc = ow_reset_presence_pulse(chip->timing, access);
    if (rc < 0)
        return rc;
    const unsigned int from = address + *first;
    const unsigned char header[4] = {CMD_SKIP_ROM, CMD_READ_MEMORY, static_cast<unsigned char>(from & 0xFF),
                                     static_cast<unsigned char>((from >> 8) & 0xFF)};
    if ((rc = eeprom_send_bytes(chip, access, header, 4)) < 0)
        return eeprom_command_result(rc);
    unsigned int missing = 0;
    for (unsigned int i = *first; i < length; i++)
        missing += !is_taken(i);
    for (unsigned int i = *first; i < length && missing != 0; i++) {
        unsigned char byte = 0;
        rc = chip->receiveByte(access, &byte);
        if (!ow_in_step(rc))
            return rc;
        if (rc < 0 || is_taken(i))
            continue;
        buffer[i] = byte;
        takenBytes[i / 8] = static_cast<unsigned char>(takenBytes[i / 8] | (1u << (i % 8)));
        missing--;
    }
    while (*first < length && is_taken(*first))
        ++*first;
    return missing == 0 ? 0 : OW_DISTURBED;
}

int eeprom_memory_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned int address,
                       unsigned int length, unsigned char *buffer)
{
    if (buffer == nullptr || eeprom_beyond_bound(chip, address, length))
        return -1;

    ow_open(access);
    memset(takenBytes, 0, sizeof takenBytes);
    unsigned int rerunsLeft = EEPROM_RERUN_LIMIT;
    unsigned int first = 0;
    int rc;
    do
        rc = read_memory_pass(chip, access, address, length, buffer, &first);
    while (eeprom_rerun(rc, &rerunsLeft));
    if (rc < 0)
        return eeprom_fail_transaction(access);
    // Nothing is held after a clean pass (a re-run forgets what was): this
    // only keeps a line from ever outliving its operation.
    eeprom_drop_held();
    ow_close(access);
    return 0;
}

int eeprom_page_read(const EEPROM_CHIP *chip, ONE_WIRE_ACCESS *access, unsigned char page,
                     unsigned char *buffer)
{
    if (page >= chip->pageCount)
        return -1;
    return eeprom_memory_read(chip, access, static_cast<unsigned int>(page) * OW_PAGE_SIZE, OW_PAGE_SIZE, buffer);
}
