#include "sim/host/chip_choice.h"

#include <vector>

#include "sim/model/chips/chip.h"

namespace sim {
namespace detail {

namespace {

// Items joined by ", " and the last by joiner: "a, b or c".
std::string joined(const std::vector<std::string> &items, const char *joiner)
{
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i != 0)
            text += i + 1 == items.size() ? joiner : ", ";
        text += items[i];
    }
    return text;
}

} // namespace

bool chip_holding(size_t bytes, Chip &chip)
{
    for (size_t i = 0; i < chip_count(); ++i) {
        if (bytes == chip_at(i).memory_size) {
            chip = chip_kind(chip_at(i));
            return true;
        }
    }
    return false;
}

std::string image_sizes()
{
    std::vector<std::string> sizes;
    for (size_t i = 0; i < chip_count(); ++i) {
        const ChipModel &model = chip_at(i);
        const std::string size = std::to_string(model.memory_size);
        sizes.push_back(std::string("a ") + model.title + " image " + (i == 0 ? "is " + size + " bytes" : size));
    }
    return joined(sizes, " and ");
}

std::string chip_title(Chip chip, bool with_size)
{
    const ChipModel &model = chip_model(chip);
    std::string title = model.title;
    if (with_size)
        title += " (" + std::to_string(model.memory_size) + " bytes)";
    return title;
}

} // namespace detail
} // namespace sim
