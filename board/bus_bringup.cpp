// Bring-up of the board's 1-Wire pin and identification of the chip on it.
#include <stdio.h>

#include "board/wexloow.h"
#include "eeprom/onewire.h"
#include "platform/platform.h"
#include "signal/timer.h"

ONE_WIRE_ACCESS eepromAccess;

enum {
    kBringUpTries = 20,
    kBringUpStepUs = 100, // wait before try k: k times this
    kRomReportTries = 7,
};

int initialize_ow_family_code(void)
{
    if (eepromAccess.familyCode != 0)
        return 0;
    OW_ROM rom;
    if (onewire_read_rom(&eepromAccess, &rom) != 0)
        return -1;
    // A family byte of 0 leaves the cache empty: the next call reads again.
    eepromAccess.familyCode = rom.family;
    return 0;
}

int initialize_wexlo_onewire(unsigned char *base)
{
    eepromAccess.dataReg = reinterpret_cast<volatile uint32_t *>(base + WEXLO_OW_DATA_OFFSET);
    eepromAccess.dirReg = reinterpret_cast<volatile uint32_t *>(base + WEXLO_OW_DIR_OFFSET);
    eepromAccess.lineMask = WEXLO_OW_LINE_MASK;
    eepromAccess.dirKeepMask = WEXLO_OW_DIR_KEEP_MASK;
    eepromAccess.dirOpenBits = WEXLO_OW_DIR_OPEN_BITS;
    eepromAccess.dirIdleBits = WEXLO_OW_DIR_IDLE_BITS;

    // Release the line, then idle the pin; the port's other pins keep their bits.
    out_be32(eepromAccess.dataReg, in_be32(eepromAccess.dataReg) | eepromAccess.lineMask);
    ow_close(&eepromAccess);

    int result = -1;
    for (unsigned int k = 1; k <= kBringUpTries && result < 0; k++) {
        wait_usec_timer(k * kBringUpStepUs);
        result = initialize_ow_family_code();
    }
    if (result >= 0)
        return 0;
    puts("ERROR: could not read ROM page\r");
    return -1;
}

int read_owrom(void)
{
    for (int attempt = 0; attempt < kRomReportTries; attempt++) {
        OW_ROM rom;
        if (onewire_read_rom(&eepromAccess, &rom) != 0)
            continue;
        // The name comes from the cached family code, not from this read.
        printf("\nONE WIRE part information for chip %s:\n", onewire_chip_family(&eepromAccess));
        printf("8-bit Family code...: %x\n", rom.family);
        printf("48-bit Serial Number: %02x %02x %02x %02x %02x %02x\n", rom.serial[5], rom.serial[4],
               rom.serial[3], rom.serial[2], rom.serial[1], rom.serial[0]);
        printf("8-bit CRC Code......: %02x\n\n", rom.crc);
        return 0;
    }
    return -1;
}
