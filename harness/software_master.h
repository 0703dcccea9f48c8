// A small software 1-Wire master for driving the simulated board without the
// tool (its tests and its benchmark): it drives the pin and busy-waits on the
// microsecond counter through the register accessors, with the tool's
// standard-speed timing unless a caller bends it. The tool has its own master.
#ifndef IDSTAMP_HARNESS_SOFTWARE_MASTER_H
#define IDSTAMP_HARNESS_SOFTWARE_MASTER_H

#include <cstdint>
#include <vector>

#include "sim/seam.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

struct Timing {
    uint32_t reset_low = 500, presence_wait = 60, presence_max = 240, after_presence = 100;
    uint32_t slot = 85, write1_low = 10, write0_low = 70, read_low = 6, read_delay = 2, read_window = 10;
};

class Master {
public:
    static constexpr uint32_t kData = 0x1464, kDir = 0x1468, kCounter = 0x61C, kLine = 0x04000000;
    Timing timing;

    uint32_t counter() { return sim::reg_read32(kCounter); }
    bool line_high() { return (sim::reg_read32(kData) & kLine) != 0; }
    void drive_low() { sim::reg_write32(kData, sim::reg_read32(kData) & ~kLine); }
    void release() { sim::reg_write32(kData, sim::reg_read32(kData) | kLine); }
    void open() { sim::reg_write32(kDir, (sim::reg_read32(kDir) & 0xFFCFFFFFu) | 0x00300000u); }
    void close() { sim::reg_write32(kDir, (sim::reg_read32(kDir) & 0xFFCFFFFFu) | 0x00200000u); }

    void wait_us(uint32_t us)
    {
        for (const uint32_t start = counter(); counter() - start <= us;) {
        }
    }

    // Waits for the level; false on time-out. A low is looked for before the
    // clock, a high after it, as the tool does.
    bool watch(bool high, uint32_t timeout_us)
    {
        for (const uint32_t start = counter();;) {
            if (!high && !line_high())
                return true;
            if (counter() - start > timeout_us)
                return false;
            if (high && line_high())
                return true;
        }
    }

    bool reset()
    {
        drive_low();
        wait_us(timing.reset_low);
        release();
        if (!watch(true, 5) || !watch(false, timing.presence_wait) || !watch(true, timing.presence_max))
            return false;
        wait_us(timing.after_presence);
        return true;
    }

    void write_bit(bool one)
    {
        const uint32_t low = one ? timing.write1_low : timing.write0_low;
        drive_low();
        wait_us(low);
        release();
        wait_us(timing.slot - low);
    }

    bool read_bit()
    {
        drive_low();
        const uint32_t start = counter();
        wait_us(timing.read_low);
        release();
        wait_us(timing.read_delay);
        const bool zero = watch(false, timing.read_window);
        const uint32_t elapsed = counter() - start;
        if (elapsed < timing.slot)
            wait_us(timing.slot - elapsed);
        return !zero;
    }

    void write_bytes(const Bytes &bytes)
    {
        for (const uint8_t value : bytes)
            for (int i = 0; i < 8; ++i)
                write_bit(((value >> i) & 1u) != 0);
    }

    Bytes read_bytes(size_t count)
    {
        Bytes bytes(count, 0);
        for (uint8_t &value : bytes)
            for (int i = 0; i < 8; ++i)
                value = static_cast<uint8_t>(value | (read_bit() ? 1u << i : 0u));
        return bytes;
    }

    uint8_t read_byte() { return read_bytes(1)[0]; }

    // Reset, then the bytes; false when no chip answered the reset.
    bool command(const Bytes &bytes)
    {
        if (!reset())
            return false;
        write_bytes(bytes);
        return true;
    }

    // The tool's scratchpad cycle: write, read back and check, copy, wait
    // 10010 us. Returns the confirmation byte, or -1 on a bad read-back.
    int write_row(uint16_t address, const Bytes &data)
    {
        const uint8_t ta1 = static_cast<uint8_t>(address), ta2 = static_cast<uint8_t>(address >> 8);
        Bytes write = {0xCC, 0x0F, ta1, ta2};
        write.insert(write.end(), data.begin(), data.end());
        command(write);
        command({0xCC, 0xAA});
        const Bytes head = read_bytes(3);
        if (head[0] != ta1 || head[1] != ta2 || (head[2] & 0xA0) != 0 || read_bytes(data.size()) != data)
            return -1;
        command({0xCC, 0x55, ta1, ta2, head[2]});
        wait_us(10010);
        return read_byte();
    }

    Bytes read_memory(uint16_t address, size_t count)
    {
        command({0xCC, 0xF0, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)});
        return read_bytes(count);
    }
};

} // namespace simtest

#endif
