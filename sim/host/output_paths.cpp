// Output files never overwrite the image, and their failed writes are said.
#include "sim/host/output_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sim/host/image_lock.h"

namespace sim {
namespace detail {

namespace {

// An existing file by its inode; a file still to be made by its resolved
// place (a dangling symbolic link leads to where it would be made).
std::string identity(const std::string &given)
{
    const std::string path = follow_links(given);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char *directory = ::realpath(directory_of(path).c_str(), nullptr);
    if (directory == nullptr)
        return "path " + path;
    const std::string place = "path " + std::string(directory) + "/" + name;
    std::free(directory);
    return place;
}

} // namespace

bool same_file(const std::string &a, const std::string &b)
{
    return identity(a) == identity(b);
}

bool is_standard_error(const std::string &path)
{
    return path == "-" || path == "/dev/stderr" || path == "/dev/fd/2" || path == "/proc/self/fd/2";
}

bool check_output_paths(const Config &config, std::string &error)
{
    if (config.image_path.empty())
        return true;
    const struct {
        const char *variable;
        std::string path;
    } outputs[] = {
        {"IDSTAMP_SIM_TRACE", config.trace_path},
        {"IDSTAMP_SIM_REPORT", config.report_path == "-" ? std::string() : config.report_path},
        {"IDSTAMP_SIM_SYSLOG", config.syslog_path == "-" ? std::string() : config.syslog_path},
    };
    for (const auto &output : outputs) {
        if (!output.path.empty() && same_file(output.path, config.image_path)) {
            error = std::string("idstamp-sim: ") + output.variable + ": " + output.path + " is the image "
                    + config.image_path;
            return false;
        }
    }
    return true;
}

bool close_output(std::FILE *file, const std::string &path)
{
    int failed = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    errno = 0;
    if (std::fclose(file) != 0 && failed == 0)
        failed = errno != 0 ? errno : EIO;
    if (failed != 0)
        std::fprintf(stderr, "idstamp-sim: %s: write failed: %s\n", path.c_str(), std::strerror(failed));
    return failed == 0;
}

} // namespace detail
} // namespace sim
