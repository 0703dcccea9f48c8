#include "sim/host/preload/interpose.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace preload {

bool g_in_board = false;

void test_error(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // What the tool printed so far helps to see where it went wrong; the
    // tool is never inside stdio when it touches the window.
    std::fflush(stdout);
    // Then straight out, without the exit handlers: this may run in the trap
    // handler, or with the board half way through a step.
    const std::string line = std::string("idstamp board preload: ") + text + "\n";
    if (write(2, line.data(), line.size()) < 0) {
        // nothing more to say
    }
    _exit(kTestError);
}

} // namespace preload
