// Hardware back-end of the machine seam, built for the board's processor only:
// volatile loads and stores of exactly the register's width, and the C
// library's calls as they are. The board is big-endian, so a plain load of a
// big-endian register needs no swapping.
#include "platform/platform.h"

#include <fcntl.h>
#include <stdarg.h>
#include <sys/mman.h>
#include <syslog.h>
#include <unistd.h>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_BIG_ENDIAN__
#error "the hardware back-end is for the big-endian board only"
#endif

uint8_t in_8(const volatile uint8_t *addr)
{
    return *addr;
}

uint16_t in_be16(const volatile uint16_t *addr)
{
    return *addr;
}

uint32_t in_be32(const volatile uint32_t *addr)
{
    return *addr;
}

void out_be32(volatile uint32_t *addr, uint32_t value)
{
    *addr = value;
}

int platform_mem_open(const char *path, int flags)
{
    return open(path, flags);
}

void *platform_mem_map(void *hint, size_t length, int prot, int flags, int fd, off_t offset)
{
    return mmap(hint, length, prot, flags, fd, offset);
}

int platform_mem_close(int fd)
{
    return close(fd);
}

unsigned int platform_sleep(unsigned int seconds)
{
    return sleep(seconds);
}

int platform_sched_get_priority_max(int policy)
{
    return sched_get_priority_max(policy);
}

int platform_sched_setscheduler(pid_t pid, int policy, const struct sched_param *param)
{
    return sched_setscheduler(pid, policy, param);
}

void platform_openlog(const char *ident, int option, int facility)
{
    openlog(ident, option, facility);
}

void platform_syslog(int priority, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}
