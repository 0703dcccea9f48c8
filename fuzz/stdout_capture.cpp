#include "fuzz/stdout_capture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz/codec_machine.h"

namespace codec {

std::string output;

namespace {

int outputFd = -1;

} // namespace

void capture_stdout()
{
    outputFd = memfd_create("codec_fuzzer_stdout", 0);
    if (outputFd < 0 || dup2(outputFd, STDOUT_FILENO) < 0) {
        std::perror("codec_fuzzer: stdout");
        std::abort();
    }
}

void start_output()
{
    std::fflush(stdout);
    if (outputFd >= 0 && (ftruncate(outputFd, 0) != 0 || lseek(outputFd, 0, SEEK_SET) != 0))
        fail("cannot empty the output file");
}

void collect_output()
{
    std::fflush(stdout);
    output.clear();
    if (outputFd < 0)
        return;
    char chunk[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t got = pread(outputFd, chunk, sizeof chunk, at);
        if (got <= 0)
            break;
        output.append(chunk, static_cast<size_t>(got));
        at += got;
    }
}

} // namespace codec
