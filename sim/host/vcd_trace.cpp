#include "sim/host/vcd_trace.h"

#include <cinttypes>

#include "sim/host/output_paths.h"

namespace sim {
namespace detail {

namespace {
// Identifier codes of the three wires, in Wire order.
const char kCode[3] = {'!', '"', '#'};

// GTKWave opens a trace with an empty wave pane; its save file lists the
// three wires, so they show at once.
void write_gtkw(const std::string &path, const std::string &vcd_path)
{
    if (!is_made_or_regular(path))
        return;
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return;
    std::fprintf(file, "[dumpfile] \"%s\"\n[timestart] 0\n[treeopen] board.\n@28\nboard.owr\nboard.master\nboard.chip\n",
                 vcd_path.c_str());
    std::fclose(file);
}

} // namespace

bool VcdTrace::open(const std::string &path, bool owr_level, bool held)
{
    close(0);
    held_ = held;
    blocks_.clear();
    // Held blocks are made and their pages touched now, before the tool
    // runs: a first touch of fresh memory inside a slot costs microseconds
    // (more in a virtual machine), which the bus would see as preemption.
    for (size_t i = 0; held && i < kHeldAhead; ++i) {
        blocks_.emplace_back(kBlock, '\0');
        blocks_.back().clear();
    }
    next_block_ = 0;
    // A trace into a device or a FIFO gets no save file beside it.
    save_file_ = is_made_or_regular(path);
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr)
        return false;
    path_ = path;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    std::fputs("$version idstamp-sim $end\n"
                "$timescale 1 ns $end\n"
                "$scope module board $end\n"
                "$var wire 1 ! owr $end\n"
                "$var wire 1 \" master $end\n"
                "$var wire 1 # chip $end\n"
                "$upscope $end\n"
                "$enddefinitions $end\n",
                file_);
    std::fprintf(file_, "#0\n$dumpvars\n%c!\n0\"\n0#\n$end\n", owr_level ? '1' : '0');
    last_time_ = 0;
    return true;
}

void VcdTrace::emit(const char *text, size_t length)
{
    if (!held_) {
        std::fwrite(text, 1, length, file_);
        return;
    }
    if (blocks_[next_block_].size() + length > kBlock && ++next_block_ == blocks_.size()) {
        blocks_.emplace_back(); // past what was made ahead: rare, and costs a slot
        blocks_.back().reserve(kBlock);
    }
    blocks_[next_block_].append(text, length);
}

void VcdTrace::write_change(uint64_t at_ns, Wire wire, bool value)
{
    char text[32];
    size_t length = 0;
    if (at_ns != last_time_) {
        length = static_cast<size_t>(std::snprintf(text, sizeof text, "#%" PRIu64 "\n", at_ns));
        last_time_ = at_ns;
    }
    text[length++] = value ? '1' : '0';
    text[length++] = kCode[wire];
    text[length++] = '\n';
    emit(text, length);
}

void VcdTrace::close(uint64_t at_ns)
{
    if (file_ == nullptr)
        return;
    for (const std::string &block : blocks_)
        std::fwrite(block.data(), 1, block.size(), file_);
    blocks_.clear();
    // Viewers draw the last values up to here; keep it after the last change.
    std::fprintf(file_, "#%" PRIu64 "\n", at_ns > last_time_ ? at_ns : last_time_ + 1);
    close_output(file_, path_);
    file_ = nullptr;
    if (save_file_)
        write_gtkw(gtkw_path(path_), path_);
}

} // namespace detail
} // namespace sim
