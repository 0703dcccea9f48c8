// The chip's memory on disk: the whole memory, byte for byte, nothing else.
#ifndef IDSTAMP_SIM_HOST_IMAGE_FILE_H
#define IDSTAMP_SIM_HOST_IMAGE_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace sim {
namespace detail {

enum class ImageLoad { loaded, missing, failed };

// Reads an image; a file of the wrong size fails with the sizes in error.
ImageLoad load_image(const std::string &path, std::vector<uint8_t> &memory, std::string &error);

// Writes a temporary file of its own beside path in full, then renames it over
// path: readers see the old image or the new one, never a part.
bool save_image(const std::string &path, const std::vector<uint8_t> &memory, std::string &error);

} // namespace detail
} // namespace sim

#endif
