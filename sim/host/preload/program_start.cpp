// The board around the program's main, as idstamp-sim's main has it: set up
// from IDSTAMP_SIM_* before main runs, ended after it returns. The program's
// start code hands main to the C library, which the preload takes over.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/host/preload/interpose.h"
#include "sim/host/preload/patched_sites.h"
#include "sim/host/preload/register_trap.h"
#include "sim/run.h"
#include "sim/test_probes.h"

namespace {

using preload::InBoard;

void finish_board()
{
    std::fflush(stdout); // the tool's output comes before anything the board prints
    const InBoard in_board;
    sim::finish();
    // The board counts calls the tool must never make; here they fail the run.
    if (sim::stats().misuses != 0) {
        for (const std::string &m : sim::misuse_log())
            std::fprintf(stderr, "idstamp board preload: misuse: %s\n", m.c_str());
        std::fflush(stderr);
        _exit(preload::kTestError);
    }
    // An image that could not be saved ends the run with sim::kImageNotSaved,
    // as in idstamp-sim, whatever the program returned.
    if (const int status = sim::exit_status(0); status != 0) {
        std::fflush(stderr);
        _exit(status);
    }
}

void start_board()
{
    const InBoard in_board;
    std::string error;
    if (!sim::start_from_env(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        _exit(255);
    }

    // Every access traps when IDSTAMP_BOARD_TRAP is "every"; by default
    // ("first") only the first at each site does (patch_site).
    if (const char *trap = std::getenv("IDSTAMP_BOARD_TRAP")) {
        if (std::strcmp(trap, "every") == 0)
            preload::keep_every_access_trapping();
        else if (std::strcmp(trap, "first") != 0)
            preload::test_error("IDSTAMP_BOARD_TRAP: \"%s\" is neither \"first\" nor \"every\"", trap);
    }
    preload::catch_register_traps();
}

// What the PowerPC start code hands the C library: the program's main among it.
struct StartupInfo {
    void *sda_base;
    int (*main)(int, char **, char **, void *);
    int (*init)(int, char **, char **, void *);
    void (*fini)();
};

int (*g_program_main)(int, char **, char **, void *) = nullptr;

// The program's main with the board around it, as idstamp-sim's main has it.
// Every initialiser has run by now, so the board's end, registered here, runs
// before any static object is destroyed, whatever order the libraries'
// initialisers took.
int board_main(int argc, char **argv, char **envp, void *auxv)
{
    start_board();
    std::atexit(finish_board);
    return g_program_main(argc, argv, envp, auxv);
}

} // namespace

// The board starts when the program's main is called and ends when it exits.
extern "C" int __libc_start_main(int argc, char **argv, char **envp, void *auxv, void (*rtld_fini)(),
                                 StartupInfo *startup, char **stack_on_entry)
{
    using Start = int (*)(int, char **, char **, void *, void (*)(), StartupInfo *, char **);
    if (startup == nullptr || startup->main == nullptr)
        preload::test_error("the program's start code gave no main");
    static StartupInfo wrapped;
    wrapped = *startup;
    g_program_main = startup->main;
    wrapped.main = board_main;
    return preload::real<Start>("__libc_start_main")(argc, argv, envp, auxv, rtld_fini, &wrapped, stack_on_entry);
}
