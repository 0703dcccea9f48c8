// The chips of sim/chip_list.h, and a chip powering up.
#include "sim/model/chips/chip.h"

#include <algorithm>
#include <iterator>

#include "sim/crc.h"

namespace sim {
namespace detail {

#define IDSTAMP_CHIP(name) extern const ChipModel name##_model;
#include "sim/chip_list.h"
#undef IDSTAMP_CHIP

namespace {

// In Chip's order: the list makes both.
const ChipModel *const kChips[] = {
#define IDSTAMP_CHIP(name) &name##_model,
#include "sim/chip_list.h"
#undef IDSTAMP_CHIP
};

// Serial number of a chip started without one, in bus order.
constexpr uint8_t kDefaultSerial[6] = {0x9C, 0x3E, 0x6B, 0x0D, 0x00, 0x00};

} // namespace

const ChipModel &chip_model(Chip chip)
{
    return *kChips[static_cast<size_t>(chip)];
}

size_t chip_count()
{
    return std::size(kChips);
}

const ChipModel &chip_at(size_t index)
{
    return *kChips[index];
}

Chip chip_kind(const ChipModel &model)
{
    const auto found = std::find(std::begin(kChips), std::end(kChips), &model);
    return static_cast<Chip>(found - std::begin(kChips));
}

void power_up(ChipDevice &chip, const Config &config)
{
    const ChipModel &model = chip_model(config.chip);
    chip.model = &model;
    chip.memory = config.memory;
    chip.memory.resize(model.memory_size, 0xFF);

    if (config.rom.size() == 8) {
        std::copy(config.rom.begin(), config.rom.end(), chip.rom.begin());
    } else {
        if (config.rom.size() == 7) {
            std::copy(config.rom.begin(), config.rom.end(), chip.rom.begin());
        } else {
            chip.rom[0] = model.family;
            std::copy(std::begin(kDefaultSerial), std::end(kDefaultSerial), chip.rom.begin() + 1);
        }
        chip.rom[7] = crc8(chip.rom.data(), 7);
    }

    // Nothing valid in the scratchpad yet.
    chip.e = model.pad_size - 1;
    chip.pad.fill(0xFF);
    chip.pf = true;

    const Faults &f = config.faults;
    chip.power_loss = f.power_loss;
    chip.power_gone = f.power_loss == 0;
    chip.rom_crc_left = f.rom_crc;
    chip.rom_good_left = f.rom_crc_after;
    chip.read_flip_left = f.read_flip;
    chip.copy_fail_left = f.copy_fail;
    chip.short_fill_left = f.short_fill;
    chip.whole_fill_left = f.short_fill_after;
}

} // namespace detail
} // namespace sim
