// Unsets every IDSTAMP_SIM_* variable, known or not (an unknown one would be
// refused), so a test starts from the board's defaults.
#ifndef IDSTAMP_TESTS_SIM_CLEAR_SETTINGS_H
#define IDSTAMP_TESTS_SIM_CLEAR_SETTINGS_H

#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

inline void clear_sim_settings()
{
    std::vector<std::string> names;
    for (char **e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("IDSTAMP_SIM_", 0) == 0)
            names.push_back(std::string(*e).substr(0, std::string(*e).find('=')));
    for (const std::string &name : names)
        unsetenv(name.c_str());
}

#endif
