#include "sim/host/preload/site_patch.h"

namespace site_patch {

namespace {

// The stub's frame: back chain and the callee's LR word, then the general
// registers, LR, CR, CTR and XER, the volatile floating-point registers and
// the FPSCR. A multiple of 16, as the ABI keeps the stack.
constexpr int kGpr = 16;
constexpr int kSpecial = kGpr + 32 * 4; // LR, CR, CTR, XER
constexpr int kFpr = kSpecial + 4 * 4;  // f0 to f13
constexpr int kFpscr = kFpr + 14 * 8;
constexpr int kFrame = (kFpscr + 8 + 15) / 16 * 16;
static_assert(kSpecial == kGpr + 4 * 32 && kSavedRegisters == 36, "regs: 32 GPRs, then LR, CR, CTR, XER");

constexpr uint32_t d_form(unsigned primary, unsigned rt, unsigned ra, int value)
{
    return (primary << 26) | (rt << 21) | (ra << 16) | (static_cast<uint32_t>(value) & 0xFFFFu);
}

// mfspr/mtspr split the register number into two five-bit halves, swapped.
constexpr uint32_t spr_move(bool to, unsigned spr, unsigned r)
{
    return (31u << 26) | (r << 21) | (((spr & 31u) << 5 | spr >> 5) << 11) | ((to ? 467u : 339u) << 1);
}

constexpr unsigned kLr = 8, kCtr = 9, kXer = 1;
constexpr uint32_t stw(unsigned rs, int d) { return d_form(36, rs, 1, d); }
constexpr uint32_t lwz(unsigned rt, int d) { return d_form(32, rt, 1, d); }
constexpr uint32_t stfd(unsigned fs, int d) { return d_form(54, fs, 1, d); }
constexpr uint32_t lfd(unsigned ft, int d) { return d_form(50, ft, 1, d); }
constexpr uint32_t addi(unsigned rt, unsigned ra, int v) { return d_form(14, rt, ra, v); }
constexpr uint32_t lis(unsigned rt, uint32_t value) { return d_form(15, rt, 0, static_cast<int>(value >> 16)); }
constexpr uint32_t ori(unsigned ra, uint32_t value) { return d_form(24, ra, ra, static_cast<int>(value & 0xFFFFu)); }
constexpr uint32_t kMfcr = 0x7C000026;   // mfcr r0
constexpr uint32_t kMtcrf = 0x7C0FF120;  // mtcrf 0xff, r0
constexpr uint32_t kBctrl = 0x4E800421;
constexpr uint32_t kMffs = 0xFC00048E;   // mffs f0
constexpr uint32_t kMtfsf = 0xFDFE058E;  // mtfsf 0xff, f0

} // namespace

bool relative_branch(uint32_t from, uint32_t to, uint32_t &word)
{
    const auto distance = static_cast<int32_t>(to - from);
    if (distance < -0x2000000 || distance > 0x1FFFFFC || (distance & 3) != 0)
        return false;
    word = (18u << 26) | (static_cast<uint32_t>(distance) & 0x03FFFFFCu);
    return true;
}

bool build_stub(uint32_t stub, uint32_t resume, uint32_t handler, uint32_t site, uint32_t (&words)[kStubWords])
{
    size_t n = 0;
    auto put = [&](uint32_t word) { words[n++] = word; };

    put(d_form(37, 1, 1, -kFrame)); // stwu r1, -frame(r1)
    put(stw(0, kGpr));
    put(d_form(47, 2, 1, kGpr + 8)); // stmw r2: r2 to r31
    put(addi(0, 1, kFrame));         // r1 as the code saw it
    put(stw(0, kGpr + 4));
    put(spr_move(false, kLr, 0));
    put(stw(0, kSpecial));
    put(kMfcr);
    put(stw(0, kSpecial + 4));
    put(spr_move(false, kCtr, 0));
    put(stw(0, kSpecial + 8));
    put(spr_move(false, kXer, 0));
    put(stw(0, kSpecial + 12));
    for (unsigned f = 0; f < 14; f++)
        put(stfd(f, kFpr + 8 * static_cast<int>(f)));
    put(kMffs);
    put(stfd(0, kFpscr));

    put(addi(3, 1, kGpr));
    put(lis(4, site));
    put(ori(4, site));
    put(lis(12, handler));
    put(ori(12, handler));
    put(spr_move(true, kCtr, 12));
    put(kBctrl);

    put(lfd(0, kFpscr));
    put(kMtfsf);
    for (unsigned f = 0; f < 14; f++)
        put(lfd(f, kFpr + 8 * static_cast<int>(f)));
    put(lwz(0, kSpecial + 12));
    put(spr_move(true, kXer, 0));
    put(lwz(0, kSpecial + 8));
    put(spr_move(true, kCtr, 0));
    put(lwz(0, kSpecial + 4));
    put(kMtcrf);
    put(lwz(0, kSpecial));
    put(spr_move(true, kLr, 0));
    put(lwz(0, kGpr));
    put(d_form(46, 2, 1, kGpr + 8)); // lmw r2: r2 to r31
    put(addi(1, 1, kFrame));
    uint32_t back = 0;
    if (!relative_branch(stub + static_cast<uint32_t>(4 * n), resume, back))
        return false;
    put(back);
    while (n < kStubWords)
        put(0); // never reached: the branch back comes first
    return true;
}

} // namespace site_patch
