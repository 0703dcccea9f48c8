// Inside the scratchpad EEPROM behaviour: the byte level (commands) that the
// bit level (scratchpad_eeprom.cpp) hands whole bytes to.
#ifndef IDSTAMP_SIM_MODEL_CHIPS_SCRATCHPAD_EEPROM_H
#define IDSTAMP_SIM_MODEL_CHIPS_SCRATCHPAD_EEPROM_H

#include "sim/model/chips/chip.h"

namespace sim {
namespace detail {

// eeprom_commands.cpp
Next byte_received(ChipDevice &chip, uint8_t value);
uint8_t next_tx_byte(ChipDevice &chip);
Next tx_byte_done(ChipDevice &chip);
uint8_t es_byte(const ChipDevice &chip);

// scratchpad_eeprom.cpp
Next start_sending(ChipDevice &chip, Phase next);
Next fall_asleep(ChipDevice &chip);

// Counts down a fault that hits the first N occasions.
inline bool take(unsigned &left)
{
    if (left == 0)
        return false;
    --left;
    return true;
}

} // namespace detail
} // namespace sim

#endif
