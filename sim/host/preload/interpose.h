// What every interposed call of the preload needs: whether the board itself
// is making the call, the C library's own function under the name, and the
// end of a run the test rejects.
#ifndef IDSTAMP_SIM_HOST_PRELOAD_INTERPOSE_H
#define IDSTAMP_SIM_HOST_PRELOAD_INTERPOSE_H

#include <dlfcn.h>

namespace preload {

// Exit status of a run the test itself rejects: far from the tool's 0 and 255.
constexpr int kTestError = 99;

// Set while the board runs: calls it makes itself (its reservation of the
// window, the host's log) go to the C library unchecked.
extern bool g_in_board;

struct InBoard {
    bool was = g_in_board;
    InBoard() { g_in_board = true; }
    ~InBoard() { g_in_board = was; }
};

// Ends the run with kTestError and the reason on standard error, at once:
// it may run in the trap handler, or with the board half way through a step.
[[noreturn]] void test_error(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The C library's own `name`, which the preload's definition hides.
template <typename F> F real(const char *name)
{
    void *symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        test_error("no %s in the C library", name);
    return reinterpret_cast<F>(symbol);
}

} // namespace preload

#endif
