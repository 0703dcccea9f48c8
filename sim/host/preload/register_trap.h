// The register trap: the window handed out is inaccessible, so a register
// load or store raises SIGSEGV; the handler decodes the instruction, carries
// it out on the board with its exact width, steps past it and patches the
// site (patched_sites.h).
#ifndef IDSTAMP_SIM_HOST_PRELOAD_REGISTER_TRAP_H
#define IDSTAMP_SIM_HOST_PRELOAD_REGISTER_TRAP_H

namespace preload {

// Installs the handler; a fault outside the window ends the run as a test error.
void catch_register_traps();

} // namespace preload

#endif
