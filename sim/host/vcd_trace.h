// Value change dump of the 1-Wire line: the level, and who pulls it low.
#ifndef IDSTAMP_SIM_HOST_VCD_TRACE_H
#define IDSTAMP_SIM_HOST_VCD_TRACE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sim {
namespace detail {

class VcdTrace {
public:
    enum Wire { owr = 0, master = 1, chip = 2 };

    VcdTrace() = default;
    VcdTrace(const VcdTrace &) = delete;
    VcdTrace &operator=(const VcdTrace &) = delete;
    ~VcdTrace() { close(0); }

    // Writes the header and the values at time 0; false if the file can't be
    // made. Closing also writes a GTKWave save file beside it, the name with
    // .gtkw for .vcd (or added), unless the trace is no regular file.
    // held: the changes are kept in memory and written when it closes, so
    // that no write to the file falls inside a time slot (the host's clock).
    bool open(const std::string &path, bool owr_level, bool held = false);
    bool is_open() const { return file_ != nullptr; }
    void change(uint64_t at_ns, Wire wire, bool value)
    {
        if (file_ != nullptr)
            write_change(at_ns, wire, value);
    }
    // Final timestamp after the last change, then closes the file.
    void close(uint64_t at_ns);

private:
    void write_change(uint64_t at_ns, Wire wire, bool value);
    void emit(const char *text, size_t length);

    // Held changes, in blocks that are never moved once filled.
    static constexpr size_t kBlock = 1 << 20;
    static constexpr size_t kHeldAhead = 4; // a -m run's trace is some 50 KB
    bool held_ = false;
    std::vector<std::string> blocks_;
    size_t next_block_ = 0; // the block being filled

    std::FILE *file_ = nullptr;
    std::string path_;
    uint64_t last_time_ = 0;
    bool save_file_ = false;
};

} // namespace detail
} // namespace sim

#endif
