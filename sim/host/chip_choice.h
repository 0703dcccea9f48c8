// The chip an image holds, and the chips named in messages about images,
// from the chip list.
#ifndef IDSTAMP_SIM_HOST_CHIP_CHOICE_H
#define IDSTAMP_SIM_HOST_CHIP_CHOICE_H

#include <cstddef>
#include <string>

#include "sim/config.h"

namespace sim {
namespace detail {

// The chip whose memory is this many bytes. False: none.
bool chip_holding(size_t bytes, Chip &chip);

// "a DS2431 image is 144 bytes, a DS28EC20 image 2624 and a DS2433 image 512"
std::string image_sizes();

// "DS2431 (144 bytes)", "DS28EC20"
std::string chip_title(Chip chip, bool with_size = false);

} // namespace detail
} // namespace sim

#endif
