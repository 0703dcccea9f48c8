// The trap decodes each load and store form a register accessor may compile
// to, and refuses what would be wrong on the big-endian window.
#include "sim/host/preload/register_access.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char *text;
    uint32_t instruction;
    bool store;
    unsigned width;
    uint32_t address; // with r3 = 0x1000, r4 = 0x20, r9 = 0x3000
    bool update;
    unsigned rt;
};

TEST(RegisterAccess, DecodesEveryForm)
{
    uint32_t gpr[32] = {};
    gpr[3] = 0x1000;
    gpr[4] = 0x20;
    gpr[9] = 0x3000;
    const Case cases[] = {
        {"lbz r3,0(r3)", 0x88630000, false, 1, 0x1000, false, 3},
        {"lhz r3,0(r3)", 0xA0630000, false, 2, 0x1000, false, 3},
        {"lwz r3,0(r3)", 0x80630000, false, 4, 0x1000, false, 3},
        {"stw r4,0(r3)", 0x90830000, true, 4, 0x1000, false, 4},
        {"lwz r5,-4(r9)", 0x80A9FFFC, false, 4, 0x2FFC, false, 5},
        {"lwzu r5,8(r9)", 0x84A90008, false, 4, 0x3008, true, 5},
        {"lbzu r5,1(r9)", 0x8CA90001, false, 1, 0x3001, true, 5},
        {"lhzu r5,2(r9)", 0xA4A90002, false, 2, 0x3002, true, 5},
        {"stwu r4,4(r9)", 0x94890004, true, 4, 0x3004, true, 4},
        {"lbzx r5,r9,r4", 0x7CA920AE, false, 1, 0x3020, false, 5},
        {"lhzx r5,r9,r4", 0x7CA9222E, false, 2, 0x3020, false, 5},
        {"lwzx r5,r9,r4", 0x7CA9202E, false, 4, 0x3020, false, 5},
        {"stwx r4,r9,r3", 0x7C89192E, true, 4, 0x4000, false, 4},
        {"lwzux r5,r9,r4", 0x7CA9206E, false, 4, 0x3020, true, 5},
        {"lbzux r5,r9,r4", 0x7CA920EE, false, 1, 0x3020, true, 5},
        {"lhzux r5,r9,r4", 0x7CA9226E, false, 2, 0x3020, true, 5},
        {"stwux r4,r9,r3", 0x7C89196E, true, 4, 0x4000, true, 4},
        {"lwz r5,16(0)", 0x80A00010, false, 4, 0x10, false, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        RegisterAccess a;
        std::string refusal;
        ASSERT_TRUE(decode_register_access(c.instruction, a, refusal)) << refusal;
        EXPECT_EQ(a.store, c.store);
        EXPECT_EQ(a.width, c.width);
        EXPECT_EQ(a.update, c.update);
        EXPECT_EQ(a.rt, c.rt);
        EXPECT_EQ(effective_address(a, gpr), c.address);
    }
}

TEST(RegisterAccess, RefusesWhatTheWindowMustNotSee)
{
    const struct {
        const char *text;
        uint32_t instruction;
        const char *reason;
    } cases[] = {
        {"lwbrx r3,0,r3", 0x7C601C2C, "byte-reversed load"},
        {"lhbrx r3,0,r3", 0x7C601E2C, "byte-reversed load"},
        {"stwbrx r4,0,r3", 0x7C801D2C, "byte-reversed store"},
        {"stb r4,0(r3)", 0x98830000, "narrower"},
        {"sth r4,0(r3)", 0xB0830000, "narrower"},
        {"stbx r4,r3,r9", 0x7C8349AE, "narrower"},
        {"lha r3,0(r3)", 0xA8630000, "not a register load"},
        {"lmw r29,0(r3)", 0xBBA30000, "not a register load"},
        {"lwzu r3,4(r3)", 0x84630004, "invalid update"},
        {"lwzu r3,4(0)", 0x84600004, "invalid update"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        RegisterAccess a;
        std::string refusal;
        EXPECT_FALSE(decode_register_access(c.instruction, a, refusal));
        EXPECT_NE(refusal.find(c.reason), std::string::npos) << refusal;
    }
}

} // namespace
