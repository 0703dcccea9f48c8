// The physical-memory device's C library calls, interposed: open of
// /dev/mem, mmap of its descriptors and their close go to the board, their
// arguments checked to be exactly the board's (device, flags, window); any
// other argument ends the run as a test error. Every other call passes
// through to the C library.
#include <fcntl.h>
#include <sys/mman.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <set>

#include "sim/host/preload/interpose.h"
#include "sim/seam.h"

using preload::g_in_board;
using preload::InBoard;
using preload::real;
using preload::test_error;

namespace {

std::set<int> g_devmem_fds; // every descriptor the board handed out for /dev/mem

bool is_devmem_fd(int fd)
{
    return g_devmem_fds.count(fd) != 0;
}

int open_checked(const char *real_name, const char *path, int flags, va_list args)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        mode = va_arg(args, mode_t);
    if (g_in_board || path == nullptr || std::strcmp(path, "/dev/mem") != 0)
        return real<int (*)(const char *, int, ...)>(real_name)(path, flags, mode);
    if (flags != (O_RDWR | O_SYNC))
        test_error("%s(\"/dev/mem\", 0x%x): the flags must be O_RDWR | O_SYNC (0x%x)", real_name,
                   static_cast<unsigned>(flags), static_cast<unsigned>(O_RDWR | O_SYNC));
    const InBoard in_board;
    const int fd = sim::mem_open(path, flags);
    if (fd >= 0)
        g_devmem_fds.insert(fd);
    return fd;
}

void *map_checked(void *hint, size_t length, int prot, int flags, int fd, int64_t offset)
{
    if (hint != nullptr || length != sim::kWindowSize || prot != (PROT_READ | PROT_WRITE) || flags != MAP_SHARED
        || offset != static_cast<int64_t>(sim::kWindowPhys))
        test_error("mmap(%p, 0x%zx, 0x%x, 0x%x, %d, 0x%llx) of /dev/mem: expected (nil, 0x%llx, PROT_READ | "
                   "PROT_WRITE, MAP_SHARED, fd, 0x%llx)",
                   hint, length, static_cast<unsigned>(prot), static_cast<unsigned>(flags), fd,
                   static_cast<unsigned long long>(offset), static_cast<unsigned long long>(sim::kWindowSize),
                   static_cast<unsigned long long>(sim::kWindowPhys));
    const InBoard in_board;
    return sim::mem_map(hint, length, prot, flags, fd, offset);
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = open_checked("open", path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = open_checked("open64", path, flags, args);
    va_end(args);
    return fd;
}

void *mmap(void *hint, size_t length, int prot, int flags, int fd, off_t offset) noexcept
{
    if (g_in_board || !is_devmem_fd(fd))
        return real<void *(*)(void *, size_t, int, int, int, off_t)>("mmap")(hint, length, prot, flags, fd, offset);
    return map_checked(hint, length, prot, flags, fd, offset);
}

void *mmap64(void *hint, size_t length, int prot, int flags, int fd, off64_t offset) noexcept
{
    if (g_in_board || !is_devmem_fd(fd))
        return real<void *(*)(void *, size_t, int, int, int, off64_t)>("mmap64")(hint, length, prot, flags, fd,
                                                                                 offset);
    return map_checked(hint, length, prot, flags, fd, offset);
}

int close(int fd)
{
    if (g_in_board || !is_devmem_fd(fd))
        return real<int (*)(int)>("close")(fd);
    const InBoard in_board;
    return sim::mem_close(fd);
}

} // extern "C"
