// How fast the board simulates: a software master writes one DS2431 page the
// way the tool does (four scratchpad cycles with 10010 us programming waits)
// and reads it back; prints virtual time, wall time and their ratio. Then
// what the board itself costs a register access on the host's clock: the
// time a master loses to the simulation on every access, beside the cost of
// reading the host's clock alone.
#include <time.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "harness/software_master.h"
#include "sim/config.h"
#include "sim/run.h"
#include "sim/seam.h"
#include "sim/test_probes.h"

namespace {

constexpr int kReads = 2000000;

// Nanoseconds per call of f, over kReads calls.
template <typename F>
double ns_per_call(F f)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i)
        f();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / kReads;
}

void host_clock_cost()
{
    sim::Config config;
    config.clock = sim::Clock::host;
    sim::start(config);
    volatile uint32_t sink = 0;
    const double counter = ns_per_call([&] { sink = sink + sim::reg_read32(0x61C); });
    const double port = ns_per_call([&] { sink = sink + sim::reg_read32(0x1464); });
    timespec t{};
    const double clock = ns_per_call([&] {
        clock_gettime(CLOCK_MONOTONIC, &t);
        sink = sink + static_cast<uint32_t>(t.tv_nsec);
    });
    sim::finish();
    std::printf("host clock: counter read %.1f ns, port read %.1f ns, clock_gettime alone %.1f ns"
                " (board's own share of an access: %.1f ns)\n",
                counter, port, clock, counter - clock);
}

} // namespace

int main()
{
    sim::Config config;
    sim::start(config);
    simtest::Master master;
    master.open();

    const auto wall_start = std::chrono::steady_clock::now();
    const uint64_t virtual_start = sim::now_ns();
    std::vector<uint8_t> page(32);
    for (size_t i = 0; i < page.size(); ++i)
        page[i] = static_cast<uint8_t>(0x30 + i);
    int failures = 0;
    for (uint16_t row = 0; row < 4; ++row) {
        const std::vector<uint8_t> data(page.begin() + row * 8, page.begin() + row * 8 + 8);
        const int confirmation = master.write_row(static_cast<uint16_t>(row * 8), data);
        master.command({0xCC, 0xAA});
        const std::vector<uint8_t> check = master.read_bytes(3);
        if ((confirmation != 0xAA && confirmation != 0x55) || (check[2] & 0x80) == 0)
            ++failures;
    }
    if (master.read_memory(0, 32) != page)
        ++failures;
    master.close();
    const auto wall = std::chrono::steady_clock::now() - wall_start;

    sim::finish();
    const double virtual_ms = static_cast<double>(sim::now_ns() - virtual_start) / 1e6;
    const double wall_ms = std::chrono::duration<double, std::milli>(wall).count();
    const sim::Stats &stats = sim::stats();
    std::printf("page write and read: %s\n", failures == 0 ? "ok" : "FAILED");
    std::printf("register accesses: %" PRIu64 "\n", stats.register_accesses);
    std::printf("timing violations: %" PRIu64 "\n", stats.violations);
    std::printf("virtual time: %.3f ms\n", virtual_ms);
    std::printf("wall time: %.3f ms\n", wall_ms);
    std::printf("wall time per access: %.1f ns\n", wall_ms * 1e6 / static_cast<double>(stats.register_accesses));
    std::printf("virtual/wall: %.1f\n", virtual_ms / wall_ms);
    host_clock_cost();
    return failures == 0 ? 0 : 1;
}
