// Test support: boots the product on a fresh simulated board, the way the run
// sequence does (map the window, check the timer, bring the bus up), and
// captures what the product prints.
#ifndef IDSTAMP_TESTS_SIM_BOARD_H
#define IDSTAMP_TESTS_SIM_BOARD_H

#include <fcntl.h>
#include <sys/mman.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/wexloow.h"
#include "harness/product_state.h"
#include "platform/platform.h"
#include "signal/timer.h"
#include "sim/config.h"
#include "sim/run.h"
#include "sim/test_probes.h"

namespace simboard {

inline sim::Config config(sim::Chip chip, sim::Faults faults = {})
{
    sim::Config c;
    c.chip = chip;
    c.faults = faults;
    return c;
}

// Runs f with standard output captured; returns what it printed.
template <typename F>
std::string captured(F f)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Maps the window and checks the timer on a fresh board, the product's
// globals as a new process has them; does not touch the line.
inline unsigned char *map_window(const sim::Config &c)
{
    harness::reset_product_state();
    sim::start(c);
    const int fd = platform_mem_open("/dev/mem", O_RDWR | O_SYNC);
    auto *base = static_cast<unsigned char *>(
        platform_mem_map(nullptr, 0x200000, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0xE0000000));
    set_timer_access(base);
    return base;
}

// A board with the bus brought up and the family detected.
inline unsigned char *boot(const sim::Config &c)
{
    unsigned char *base = map_window(c);
    int rc = -1;
    captured([&] { rc = initialize_wexlo_onewire(base); });
    EXPECT_EQ(rc, 0) << "bring-up failed";
    return base;
}

inline std::vector<uint8_t> page_of(unsigned page)
{
    return std::vector<uint8_t>(sim::memory().begin() + page * 32, sim::memory().begin() + page * 32 + 32);
}

inline std::vector<uint8_t> pattern(uint8_t seed)
{
    std::vector<uint8_t> bytes(32);
    for (unsigned i = 0; i < 32; i++)
        bytes[i] = static_cast<uint8_t>(seed * 7 + i * 13);
    return bytes;
}

// The pin is idle (direction field 2) and, unless something else holds the
// line down, the line is high.
inline bool line_released(const ONE_WIRE_ACCESS &a, bool held_low = false)
{
    const bool idle = (in_be32(a.dirReg) & ~a.dirKeepMask) == a.dirIdleBits;
    return idle && (held_low || (in_be32(a.dataReg) & a.lineMask) != 0);
}

} // namespace simboard

#endif
