// A run as the programs start it (idstamp-sim, and the board binary through
// the preload): the settings first, then the image claimed and read, then
// the board started.
#include <cstdio>
#include <string>

#include "sim/host/chip_choice.h"
#include "sim/host/image_file.h"
#include "sim/host/image_lock.h"
#include "sim/host/run_tool.h"
#include "sim/run.h"

namespace sim {

bool take_image(Config &config, std::string &error)
{
    config.memory.clear();
    if (config.image_path.empty())
        return true;
    if (!detail::claim_image(config.image_path, error))
        return false;
    switch (detail::load_image(config.image_path, config.memory, error)) {
    case detail::ImageLoad::failed:
        return false;
    case detail::ImageLoad::loaded: {
        // Without IDSTAMP_SIM_CHIP the image's size is the chip; with it, an
        // image of the other chip is refused rather than run as it is.
        Chip held = config.chip;
        detail::chip_holding(config.memory.size(), held);
        if (!config.chip_setting.empty() && held != config.chip) {
            error = "idstamp-sim: " + config.image_path + ": the image holds a " + detail::chip_title(held, true)
                    + ", not a " + detail::chip_title(config.chip) + " (IDSTAMP_SIM_CHIP=" + config.chip_setting + ")";
            return false;
        }
        config.chip = held;
        break;
    }
    case detail::ImageLoad::missing:
        break;
    }
    return true;
}

bool config_from_env(Config &config, std::string &error)
{
    return settings_from_env(config, error) && take_image(config, error);
}

bool start_from_env(std::string &error)
{
    Config config;
    if (!config_from_env(config, error))
        return false;
    start(config);
    return true;
}

int run_tool(int argc, char **argv, int (*tool_main)(int, char **))
{
    std::string error;
    if (!start_from_env(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 255;
    }
    const int rc = tool_main(argc, argv);
    std::fflush(stdout);
    finish();
    return exit_status(rc);
}

} // namespace sim
