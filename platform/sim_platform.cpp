// Simulated back-end of the machine seam: every call goes to the simulated
// board. Registers are addressed by their offset in the mapped window; the
// window itself is never touched directly, so a stray dereference faults.
#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sim/seam.h"

namespace {

uint32_t window_offset(const volatile void *addr, unsigned width)
{
    const uint8_t *base = sim::window();
    const auto *p = reinterpret_cast<const volatile uint8_t *>(addr);
    const auto *b = reinterpret_cast<const volatile uint8_t *>(base);
    if (base == nullptr || p < b || p + width > b + sim::kWindowSize) {
        std::fprintf(stderr, "idstamp-sim: register access at %p outside the mapped window\n",
                     const_cast<const void *>(static_cast<const volatile void *>(addr)));
        std::abort();
    }
    return static_cast<uint32_t>(p - b);
}

} // namespace

uint8_t in_8(const volatile uint8_t *addr)
{
    return sim::reg_read8(window_offset(addr, 1));
}

uint16_t in_be16(const volatile uint16_t *addr)
{
    return sim::reg_read16(window_offset(addr, 2));
}

uint32_t in_be32(const volatile uint32_t *addr)
{
    return sim::reg_read32(window_offset(addr, 4));
}

void out_be32(volatile uint32_t *addr, uint32_t value)
{
    sim::reg_write32(window_offset(addr, 4), value);
}

int platform_mem_open(const char *path, int flags)
{
    return sim::mem_open(path, flags);
}

void *platform_mem_map(void *hint, size_t length, int prot, int flags, int fd, off_t offset)
{
    return sim::mem_map(hint, length, prot, flags, fd, static_cast<int64_t>(offset));
}

int platform_mem_close(int fd)
{
    return sim::mem_close(fd);
}

unsigned int platform_sleep(unsigned int seconds)
{
    return sim::sleep_seconds(seconds);
}

int platform_sched_get_priority_max(int policy)
{
    return sim::sched_priority_max(policy);
}

int platform_sched_setscheduler(pid_t pid, int policy, const struct sched_param *param)
{
    return sim::sched_set(static_cast<int>(pid), policy, param != nullptr ? param->sched_priority : -1);
}

void platform_openlog(const char *ident, int option, int facility)
{
    sim::openlog(ident, option, facility);
}

void platform_syslog(int priority, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    sim::syslog(priority, text.data());
}
