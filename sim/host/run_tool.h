// idstamp-sim's run as a plain function, so that its main is one call: the
// board set up from IDSTAMP_SIM_*, the tool's main run on it, the board
// finished. No other declaration comes with it.
#ifndef IDSTAMP_SIM_HOST_RUN_TOOL_H
#define IDSTAMP_SIM_HOST_RUN_TOOL_H

namespace sim {

// A bad setting or image ends it with status 255 and one line on standard
// error before tool_main runs; otherwise it gives tool_main's status, or
// kImageNotSaved (sim/run.h) when the image lacks the chip's last changes.
int run_tool(int argc, char **argv, int (*tool_main)(int, char **));

} // namespace sim

#endif
