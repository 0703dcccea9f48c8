// A decoded register access carried out: on the simulated board when it
// touches the register window, with the access's exact width.
#ifndef IDSTAMP_SIM_HOST_PRELOAD_WINDOW_ACCESS_H
#define IDSTAMP_SIM_HOST_PRELOAD_WINDOW_ACCESS_H

#include <cstdint>

#include "sim/host/preload/register_access.h"

namespace preload {

// Carries out `access` with the general registers `gpr`: on the board when it
// touches the window, else as the plain access it is (only a patched site can
// meet ordinary memory). A load sets gpr[rt]; an update form sets gpr[ra].
void carry_out(const RegisterAccess &access, uint32_t *gpr);

} // namespace preload

#endif
