// Register access sites patched into branches to stubs (site_patch.h) after
// their first trap, so that later accesses there cost a call, not a signal.
#ifndef IDSTAMP_SIM_HOST_PRELOAD_PATCHED_SITES_H
#define IDSTAMP_SIM_HOST_PRELOAD_PATCHED_SITES_H

#include <cstdint>

#include "sim/host/preload/register_access.h"

namespace preload {

// Turns the site at `nip`, whose access just trapped, into a branch to a stub
// of its own. A site that cannot be patched keeps trapping, which is slower
// and otherwise the same.
void patch_site(const RegisterAccess &access, uint32_t nip);

// From now on no site is patched: every access traps (IDSTAMP_BOARD_TRAP=every).
void keep_every_access_trapping();

} // namespace preload

#endif
