// Claiming the image for one run: a path that can't hold an image is refused
// before the tool runs, and a second run on the same image waits for the first.
#ifndef IDSTAMP_SIM_HOST_IMAGE_LOCK_H
#define IDSTAMP_SIM_HOST_IMAGE_LOCK_H

#include <string>

namespace sim {
namespace detail {

// The file a path names once the symbolic links of its last part are
// followed, spelt from the path ("current.eeprom" linking to
// "store/board1.eeprom" gives "store/board1.eeprom"). A link to a file still to
// be made gives where it would be made. A path that is no link comes back as
// it is; links that go round in a loop give one of them (opening it then fails
// with ELOOP).
std::string follow_links(std::string path);

// Refuses an image that is not a regular file, is read-only, or lives where a
// new image can't be created; then waits for the exclusive lock on
// "<path>.lock", keeps it until the process ends (or the next claim of another
// path), and removes the temporary files "<path>.tmp.XXXXXX" that runs killed
// during a save left behind. The path is the image itself, not a link to it.
// False with one line for standard error.
bool claim_image(const std::string &path, std::string &error);

// The directory a path is in: "." for a bare name.
std::string directory_of(const std::string &path);

} // namespace detail
} // namespace sim

#endif
