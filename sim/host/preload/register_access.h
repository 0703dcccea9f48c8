// What a trapped PowerPC instruction does to the register window: which kind
// of access, how wide, and which registers give the address and the data.
#ifndef IDSTAMP_SIM_HOST_PRELOAD_REGISTER_ACCESS_H
#define IDSTAMP_SIM_HOST_PRELOAD_REGISTER_ACCESS_H

#include <cstdint>
#include <string>

struct RegisterAccess {
    bool store = false;   // stw and its forms; otherwise a zero-extending load
    unsigned width = 0;   // bytes: 1, 2 or 4
    unsigned rt = 0;      // loaded into, or stored from
    unsigned ra = 0;      // base; 0 means the value 0, not r0
    bool indexed = false; // address ra + rb, else ra + displacement
    unsigned rb = 0;
    int32_t displacement = 0;
    bool update = false;  // ra receives the address afterwards
};

// Decodes the loads and stores a register accessor may use on the window:
// lbz, lhz, lwz and stw with their indexed, update and indexed-update forms.
// Anything else, among them the byte-reversed loads and stores (the window is
// big-endian) and stores narrower than a word (the port is written whole),
// is refused with the reason.
bool decode_register_access(uint32_t instruction, RegisterAccess &access, std::string &refusal);

// The effective address, given the general registers.
uint32_t effective_address(const RegisterAccess &access, const uint32_t *gpr);

#endif
