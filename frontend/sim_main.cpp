// idstamp-sim: the unchanged tool on the simulated board. The board is set up
// from IDSTAMP_SIM_* variables before the tool runs; the tool's arguments and
// exit status are its own, but for a run whose image could not be saved.
#include <cstdio>
#include <string>

#include "frontend/idstamp.h"
#include "sim/sim.h"

int main(int argc, char **argv)
{
    sim::Config config;
    std::string error;
    if (!sim::config_from_env(config, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 255;
    }
    sim::start(config);
    const int rc = idstamp_main(argc, argv);
    std::fflush(stdout);
    sim::finish();
    return sim::exit_status(rc);
}
