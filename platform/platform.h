// The machine seam: everything the tool needs of the machine goes through
// these calls and nothing else. Two back-ends implement them: the board's
// (thin pass-throughs to the C library and volatile loads and stores) and the
// simulated board's.
#ifndef IDSTAMP_PLATFORM_H
#define IDSTAMP_PLATFORM_H

#include <sched.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

// Register access in the style of PowerPC Linux code: big-endian, exactly the
// given width, every call a fresh access that the compiler never caches.
uint8_t in_8(const volatile uint8_t *addr);
uint16_t in_be16(const volatile uint16_t *addr);
uint32_t in_be32(const volatile uint32_t *addr);
void out_be32(volatile uint32_t *addr, uint32_t value);

// The physical-memory device: open(2), mmap(2) and close(2) with the same
// arguments, results and errno.
int platform_mem_open(const char *path, int flags);
void *platform_mem_map(void *hint, size_t length, int prot, int flags, int fd, off_t offset);
int platform_mem_close(int fd);

// sleep(3): whole seconds.
unsigned int platform_sleep(unsigned int seconds);

// sched_get_priority_max(2) and sched_setscheduler(2).
int platform_sched_get_priority_max(int policy);
int platform_sched_setscheduler(pid_t pid, int policy, const struct sched_param *param);

// openlog(3) and syslog(3).
void platform_openlog(const char *ident, int option, int facility);
void platform_syslog(int priority, const char *format, ...) __attribute__((format(printf, 2, 3)));

#endif
