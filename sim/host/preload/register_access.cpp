#include "sim/host/preload/register_access.h"

#include <cstdio>

namespace {

struct Form {
    unsigned code; // primary opcode, or extended opcode under primary 31
    bool store;
    unsigned width;
    bool update;
};

// D-form: primary opcode, rt, ra, 16-bit signed displacement.
constexpr Form kDForms[] = {
    {34, false, 1, false}, {35, false, 1, true},  // lbz, lbzu
    {40, false, 2, false}, {41, false, 2, true},  // lhz, lhzu
    {32, false, 4, false}, {33, false, 4, true},  // lwz, lwzu
    {36, true, 4, false},  {37, true, 4, true},   // stw, stwu
};

// X-form under primary opcode 31: rt, ra, rb, extended opcode.
constexpr Form kXForms[] = {
    {87, false, 1, false},  {119, false, 1, true},  // lbzx, lbzux
    {279, false, 2, false}, {311, false, 2, true},  // lhzx, lhzux
    {23, false, 4, false},  {55, false, 4, true},   // lwzx, lwzux
    {151, true, 4, false},  {183, true, 4, true},   // stwx, stwux
};

std::string named(const char *what, uint32_t instruction)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s (instruction 0x%08x)", what, static_cast<unsigned>(instruction));
    return text;
}

} // namespace

bool decode_register_access(uint32_t instruction, RegisterAccess &access, std::string &refusal)
{
    const unsigned primary = instruction >> 26;
    access = RegisterAccess{};
    access.rt = (instruction >> 21) & 31u;
    access.ra = (instruction >> 16) & 31u;
    if (primary == 31) {
        const unsigned extended = (instruction >> 1) & 0x3FFu;
        switch (extended) {
        case 534: case 790: refusal = named("byte-reversed load of a big-endian register", instruction); return false;
        case 662: case 918: refusal = named("byte-reversed store to a big-endian register", instruction); return false;
        case 215: case 247: case 407: case 439:
            refusal = named("store narrower than the 32-bit register", instruction);
            return false;
        default: break;
        }
        for (const Form &f : kXForms) {
            if (f.code == extended) {
                access.store = f.store;
                access.width = f.width;
                access.update = f.update;
                access.indexed = true;
                access.rb = (instruction >> 11) & 31u;
                break;
            }
        }
    } else {
        if (primary == 38 || primary == 39 || primary == 44 || primary == 45) {
            refusal = named("store narrower than the 32-bit register", instruction);
            return false;
        }
        for (const Form &f : kDForms) {
            if (f.code == primary) {
                access.store = f.store;
                access.width = f.width;
                access.update = f.update;
                access.displacement = static_cast<int16_t>(instruction & 0xFFFFu);
                break;
            }
        }
    }
    if (access.width == 0) {
        refusal = named("not a register load or store", instruction);
        return false;
    }
    if (access.update && (access.ra == 0 || (!access.store && access.ra == access.rt))) {
        refusal = named("invalid update form", instruction);
        return false;
    }
    return true;
}

uint32_t effective_address(const RegisterAccess &access, const uint32_t *gpr)
{
    const uint32_t base = access.ra != 0 ? gpr[access.ra] : 0;
    return base + (access.indexed ? gpr[access.rb] : static_cast<uint32_t>(access.displacement));
}
