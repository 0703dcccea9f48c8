// Output files never overwrite the image, and their failed writes are said.
#include "sim/host/output_paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

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

std::string gtkw_path(const std::string &trace_path)
{
    const std::string ext = ".vcd";
    if (trace_path.size() > ext.size() && trace_path.compare(trace_path.size() - ext.size(), ext.size(), ext) == 0)
        return trace_path.substr(0, trace_path.size() - ext.size()) + ".gtkw";
    return trace_path + ".gtkw";
}

bool is_made_or_regular(const std::string &path)
{
    struct stat info {};
    return ::stat(follow_links(path).c_str(), &info) != 0 || S_ISREG(info.st_mode);
}

namespace {

// Where a path puts its file: its directory resolved, and its name.
std::string place(const std::string &given)
{
    const std::string path = follow_links(given);
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char *directory = ::realpath(directory_of(path).c_str(), nullptr);
    if (directory == nullptr)
        return path;
    const std::string where = std::string(directory) + "/" + name;
    std::free(directory);
    return where;
}

// "<image>.tmp." and six letters or digits, as the saves make them.
bool is_temporary_of(const std::string &path, const std::string &image)
{
    const std::string at = place(path), prefix = place(image) + ".tmp.";
    if (at.size() != prefix.size() + 6 || at.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(at.begin() + static_cast<long>(prefix.size()), at.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

} // namespace

bool check_output_paths(const Config &config, std::string &error)
{
    struct File {
        const char *variable;
        std::string what; // "" for the setting's own file
        std::string path;
    };
    if (is_standard_error(config.trace_path)) {
        error = "idstamp-sim: IDSTAMP_SIM_TRACE: \"" + config.trace_path
                + "\" is standard error, which a trace can't share; name a file";
        return false;
    }
    if (is_standard_error(config.gaps_path)) {
        error = "idstamp-sim: IDSTAMP_SIM_GAPS: \"" + config.gaps_path
                + "\" is standard error, which a profile can't share; name a file";
        return false;
    }
    std::vector<File> outputs;
    if (!config.gaps_path.empty())
        outputs.push_back({"IDSTAMP_SIM_GAPS", "", config.gaps_path});
    if (!config.trace_path.empty()) {
        outputs.push_back({"IDSTAMP_SIM_TRACE", "", config.trace_path});
        if (is_made_or_regular(config.trace_path))
            outputs.push_back({"IDSTAMP_SIM_TRACE", "its GTKWave save file ", gtkw_path(config.trace_path)});
    }
    if (!config.report_path.empty() && !is_standard_error(config.report_path))
        outputs.push_back({"IDSTAMP_SIM_REPORT", "", config.report_path});
    if (!config.syslog_path.empty() && !is_standard_error(config.syslog_path))
        outputs.push_back({"IDSTAMP_SIM_SYSLOG", "", config.syslog_path});

    for (size_t i = 0; i < outputs.size(); ++i) {
        const File &output = outputs[i];
        std::string clash;
        if (!config.image_path.empty()) {
            if (same_file(output.path, config.image_path))
                clash = "the image " + config.image_path;
            else if (same_file(output.path, config.image_path + ".lock"))
                clash = "the image's lock file " + config.image_path + ".lock";
            else if (is_temporary_of(output.path, config.image_path))
                clash = "a temporary file of the image " + config.image_path;
        }
        // Two outputs may share a device or a FIFO (/dev/null), not a file.
        for (size_t j = 0; j < i && clash.empty(); ++j) {
            if (is_made_or_regular(output.path) && same_file(output.path, outputs[j].path))
                clash = (outputs[j].what.empty() ? std::string("the file of ") : std::string("the GTKWave save file of "))
                        + outputs[j].variable;
        }
        if (!clash.empty()) {
            error = std::string("idstamp-sim: ") + output.variable + ": " + output.what + output.path + " is " + clash;
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
