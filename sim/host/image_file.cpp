#include "sim/host/image_file.h"

#include "sim/host/chip_choice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace detail {

namespace {

std::string failure(const std::string &path, int error_number)
{
    return "idstamp-sim: " + path + ": " + std::strerror(error_number);
}

} // namespace

ImageLoad load_image(const std::string &path, std::vector<uint8_t> &memory, std::string &error)
{
    // Non-blocking: a FIFO put in the image's place is refused, not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return ImageLoad::missing;
        error = failure(path, errno);
        return ImageLoad::failed;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "idstamp-sim: " + path + ": not a regular file";
        ::close(fd);
        return ImageLoad::failed;
    }
    const auto size = static_cast<size_t>(info.st_size);
    Chip chip{};
    if (!chip_holding(size, chip)) {
        error = "idstamp-sim: " + path + ": image is " + std::to_string(size) + " bytes; " + image_sizes();
        ::close(fd);
        return ImageLoad::failed;
    }
    memory.assign(size, 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, memory.data() + done, size - done);
        if (n <= 0) {
            error = n < 0 ? failure(path, errno) : "idstamp-sim: " + path + ": image changed while read";
            ::close(fd);
            return ImageLoad::failed;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return ImageLoad::loaded;
}

bool save_image(const std::string &path, const std::vector<uint8_t> &memory, std::string &error)
{
    // A name of this run's own: a run killed half-way leaves a stray file
    // that no later run opens.
    std::string temporary = path + ".tmp.XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = failure(path + ".tmp.XXXXXX", errno);
        return false;
    }
    // The new image keeps the old one's permissions; a first image gets 0644
    // less the umask, as a plain create would.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0644 & ~mask;
    }
    size_t done = 0;
    while (done < memory.size()) {
        const ssize_t n = ::write(fd, memory.data() + done, memory.size() - done);
        if (n < 0) {
            error = failure(temporary, errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    const bool written = ::fchmod(fd, mode) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = failure(path, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace detail
} // namespace sim
