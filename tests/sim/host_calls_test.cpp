// The system calls as the simulated board answers them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>
#include <tuple>

#include "sim/config.h"
#include "sim/run.h"
#include "sim/seam.h"
#include "sim/test_probes.h"

namespace {

constexpr int kOpenFlags = O_RDWR | O_SYNC;

void *map_window(int fd, size_t length = 0x200000, int64_t offset = 0xE0000000)
{
    return sim::mem_map(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
}

TEST(DevMem, OpenMapCloseAsTheBoardsKernelAnswers)
{
    sim::start(sim::Config{});
    errno = 0;
    EXPECT_EQ(sim::mem_open("/dev/kmem", kOpenFlags), -1);
    EXPECT_EQ(errno, ENOENT);
    const int fd = sim::mem_open("/dev/mem", kOpenFlags);
    ASSERT_GE(fd, 0);
    for (const auto &[length, offset, with] : {std::tuple<size_t, int64_t, int>{0x100000, 0xE0000000, fd},
                                               {0x200000, 0xF0000000, fd}, {0x200000, 0xE0000000, fd + 1}}) {
        errno = 0;
        EXPECT_EQ(map_window(with, length, offset), MAP_FAILED);
        EXPECT_EQ(errno, EINVAL);
    }
    void *base = map_window(fd);
    ASSERT_NE(base, MAP_FAILED);
    EXPECT_EQ(base, sim::window());
    EXPECT_EQ(sim::mem_close(fd), 0);
    EXPECT_EQ(sim::stats().misuses, 0u);
    errno = 0;
    EXPECT_EQ(sim::mem_close(fd), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(sim::stats().devmem_closes, 1u);
    EXPECT_EQ(sim::stats().misuses, 1u);
}

TEST(DevMemDeathTest, WindowCannotBeDereferenced)
{
    EXPECT_DEATH(
        {
            sim::start(sim::Config{});
            auto *base = static_cast<volatile uint8_t *>(map_window(sim::mem_open("/dev/mem", kOpenFlags)));
            (void)base[0x61C];
        },
        "");
}

TEST(Faults, HostCallFaultsFailWithTheirErrno)
{
    struct Case {
        const char *name;
        void (*set)(sim::Faults &);
        bool (*call)();
        int error;
    };
    const Case cases[] = {
        {"devmem-eacces", [](sim::Faults &f) { f.devmem_eacces = true; },
         [] { return sim::mem_open("/dev/mem", kOpenFlags) >= 0; }, EACCES},
        {"mmap-fail", [](sim::Faults &f) { f.mmap_fail = true; },
         [] { return map_window(sim::mem_open("/dev/mem", kOpenFlags)) != MAP_FAILED; }, EPERM},
        {"sched-eperm", [](sim::Faults &f) { f.sched_eperm = true; },
         [] { return sim::sched_set(0, SCHED_RR, sim::sched_priority_max(SCHED_RR)) == 0; }, EPERM},
    };
    for (const Case &c : cases) {
        for (const bool faulty : {false, true}) {
            sim::Config config;
            if (faulty)
                c.set(config.faults);
            sim::start(config);
            errno = 0;
            EXPECT_EQ(c.call(), !faulty) << c.name;
            EXPECT_EQ(errno, faulty ? c.error : 0) << c.name;
        }
    }
    ASSERT_EQ(sim::sched_calls().size(), 1u);
    EXPECT_EQ(sim::sched_calls()[0].priority, 99);
}

} // namespace
