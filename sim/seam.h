// The simulated board's side of the machine seam: the platform back-end
// (platform/sim_platform.cpp), and the board binary's preload
// (host/preload/), route every register access and every machine call of
// the tool here.
#ifndef IDSTAMP_SIM_SEAM_H
#define IDSTAMP_SIM_SEAM_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// Window the tool maps: physical start and length.
constexpr uint64_t kWindowPhys = 0xE0000000u;
constexpr uint64_t kWindowSize = 0x200000u;

// The I/O port as the board comes up: the other pins' data latches hold a
// recognisable pattern (the 1-Wire pin's latch bit 0x04000000 is clear), and
// every direction field but the 1-Wire pin's (0x00300000) is non-zero, so a
// read-modify-write that loses other pins' bits shows.
constexpr uint32_t kDataRegInit = 0x5A5A5A5Au;
constexpr uint32_t kDirRegInit = 0xA585A5A5u;

// The register window as mapped by the tool (null until mapped): a register's
// address less this is its offset in the window.
uint8_t *window();

// Register accesses at an offset in the window, each of exactly its width.
uint8_t reg_read8(uint32_t offset);
uint16_t reg_read16(uint32_t offset);
uint32_t reg_read32(uint32_t offset);
void reg_write32(uint32_t offset, uint32_t value);

// The machine calls, as the C library's of the same names.
int mem_open(const char *path, int flags);
void *mem_map(void *hint, size_t length, int prot, int flags, int fd, int64_t offset);
int mem_close(int fd);
unsigned sleep_seconds(unsigned seconds);
int sched_priority_max(int policy);
int sched_set(int pid, int policy, int priority);
void openlog(const char *ident, int option, int facility);
void syslog(int priority, const std::string &message);

} // namespace sim

#endif
