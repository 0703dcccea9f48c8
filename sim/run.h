// A run of the simulated board: its set-up read from IDSTAMP_SIM_* and its
// image claimed, started, finished, and the process's exit status after it.
#ifndef IDSTAMP_SIM_RUN_H
#define IDSTAMP_SIM_RUN_H

#include <string>

#include "sim/config.h"

namespace sim {

// Reads IDSTAMP_SIM_* into config: the settings alone, with the image's path
// followed through its links and the output paths checked against it; the
// image itself is not touched. On an error returns false with a message for
// standard error.
bool settings_from_env(Config &config, std::string &error);

// Claims config.image_path for this run (a place that can't hold an image is
// refused; a second run on it waits for the first) and reads an existing
// image into config.memory, its size deciding config.chip. An empty path is a
// blank chip. False with a message for standard error.
bool take_image(Config &config, std::string &error);

// settings_from_env, then take_image.
bool config_from_env(Config &config, std::string &error);

// config_from_env, then start(): how idstamp-sim and the board binary's
// preload begin a run. False with a message for standard error, the board
// not started.
bool start_from_env(std::string &error);

// A fresh board with the given set-up; time starts again.
void start(const Config &config);

// Ends the run: final trace timestamp, report. Safe to call more than once.
void finish();

// Exit status of idstamp-sim, and of the board binary on the simulated board,
// when the chip's memory changed and its image could not be saved: never the
// tool's own 0 or 255 (EX_IOERR of sysexits.h).
constexpr int kImageNotSaved = 74;

// Whether the image holds the chip's memory as it is: false after a save that
// failed, until a later one succeeds; true without an image.
bool image_saved();

// The process's exit status once the tool returned tool_status and the run
// finished: tool_status, or kImageNotSaved with a line on standard error when
// the image lacks the chip's last changes.
int exit_status(int tool_status);

// Whether a board is running. Any other entry point used before start()
// starts a default board (Config{}: blank DS2431, nothing saved or traced).
bool started();

} // namespace sim

#endif
