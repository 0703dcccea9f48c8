// One run holds its image from set-up to exit, as one chip sits on one bus.
// The lock is on "<image>.lock", a file beside the image that is never removed
// or replaced: every save renames a new file over the image, so a lock on the
// image's own inode would be gone after the first save, and a lock file that
// was removed could be recreated and locked by two runs at once. The image is
// the file at the end of any symbolic links, so runs through a link and runs
// through its target share one lock.
#include "sim/host/image_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

namespace sim {
namespace detail {

namespace {

int g_lock_fd = -1;
std::string g_locked_path;

std::string line(const std::string &path, const std::string &what)
{
    return "idstamp-sim: " + path + ": " + what;
}

const char *kind_of(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

// Why no file can be made beside the image, from the errno of the call that
// tried. A directory that is there, and that the user may write, yet refuses a
// new name (/proc answers ENOENT, /sys EACCES, even to root) is said to be so:
// "No such file or directory" alone reads as if the directory were missing.
std::string cannot_save(const std::string &path, int cause)
{
    const std::string directory = directory_of(path);
    std::string reason = std::strerror(cause);
    struct stat info {};
    if ((cause == ENOENT || cause == EACCES) && ::stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode)
        && ::access(directory.c_str(), W_OK) == 0)
        reason = "its file system takes no new files (creating one fails: " + reason + ")";
    return line(path, "the image can't be saved in " + directory + ": " + reason);
}

// The image must be a regular file that can be replaced. Its permission bits
// decide "read-only", for root as for anyone: root may write anything, but an
// image made read-only is one somebody wants kept as it is.
bool check_image(const std::string &path, std::string &error)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int cause = errno;
        if (cause == ENOENT)
            return true; // a new chip
        error = cause == ENOTDIR ? cannot_save(path, cause) : line(path, std::strerror(cause));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = line(path, std::string("the image is ") + kind_of(info.st_mode) + ", not a regular file");
        return false;
    }
    if ((info.st_mode & 0222) == 0) {
        error = line(path, "the image is read-only (make it writable, or copy it, to run on it)");
        return false;
    }
    if (::access(path.c_str(), W_OK) != 0) {
        const int cause = errno;
        error = line(path, std::string("the image is read-only: ") + std::strerror(cause));
        return false;
    }
    return true;
}

// A new file beside the image, made and removed again: what every save does.
bool can_create_beside(const std::string &path, std::string &error)
{
    std::string probe = path + ".tmp.XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        error = cannot_save(path, errno);
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

// Every temporary file of this image is made and renamed or removed by a run
// that holds the lock; one that is there when the lock is taken belongs to a
// run that was killed. Only regular files with exactly mkstemp's names go:
// anything else of a similar name was put there by somebody else.
void remove_stray_temporaries(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
    DIR *directory = ::opendir(directory_of(path).c_str());
    if (directory == nullptr)
        return;
    while (const dirent *entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        bool made_by_mkstemp = true;
        for (size_t i = prefix.size(); i < name.size(); ++i)
            made_by_mkstemp = made_by_mkstemp && std::isalnum(static_cast<unsigned char>(name[i])) != 0;
        struct stat info {};
        if (made_by_mkstemp && ::fstatat(::dirfd(directory), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode))
            ::unlinkat(::dirfd(directory), name.c_str(), 0);
    }
    ::closedir(directory);
}

} // namespace

std::string follow_links(std::string path)
{
    for (int links = 0; links < 40; ++links) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0)
            return path;
        target[n] = '\0';
        const std::string directory = directory_of(path);
        if (target[0] == '/' || directory == ".")
            path = target;
        else
            path = directory + (directory == "/" ? "" : "/") + target;
    }
    return path;
}

std::string directory_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool claim_image(const std::string &path, std::string &error)
{
    if (!check_image(path, error))
        return false;
    if (g_lock_fd >= 0 && g_locked_path == path)
        return can_create_beside(path, error);
    if (g_lock_fd >= 0) {
        ::close(g_lock_fd);
        g_lock_fd = -1;
    }
    const std::string lock_path = path + ".lock";
    // Non-blocking open: a FIFO in the lock file's place must not hang the run.
    const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        // A lock file that is there (or a link that is) failed to open itself.
        const int cause = errno;
        struct stat there {}, target {};
        if (::lstat(lock_path.c_str(), &there) != 0)
            error = cannot_save(path, cause);
        else if (::stat(lock_path.c_str(), &target) == 0 && !S_ISREG(target.st_mode))
            error = line(lock_path, "the image's lock file is not a regular file");
        else
            error = line(lock_path, std::string("can't open the image's lock file: ") + std::strerror(cause));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = line(lock_path, "the image's lock file is not a regular file");
        ::close(fd);
        return false;
    }
    int locked;
    do
        locked = ::flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int cause = errno;
        error = line(lock_path, std::string("can't lock the image: ") + std::strerror(cause));
        ::close(fd);
        return false;
    }
    g_lock_fd = fd;
    g_locked_path = path;
    remove_stray_temporaries(path);
    // Checked again under the lock: the run before may have changed the file.
    return check_image(path, error) && can_create_beside(path, error);
}

} // namespace detail
} // namespace sim
