// idstamp-sim: the unchanged tool on the simulated board. The board is set up
// from IDSTAMP_SIM_* variables before the tool runs; the tool's arguments and
// exit status are its own, but for a bad setting (255) and a run whose image
// could not be saved.
#include "frontend/idstamp.h"
#include "sim/host/run_tool.h"

int main(int argc, char **argv)
{
    return sim::run_tool(argc, argv, idstamp_main);
}
