// A patched site: the branch reaches only so far, and a stub run for real
// under the emulator carries out its access with the caller none the wiser.
#include "sim/host/preload/site_patch.h"

#include <sys/mman.h>

#include <cstring>

#include <gtest/gtest.h>

namespace {

TEST(SitePatch, BranchReachesThirtyTwoMegabytesEitherWay)
{
    struct Case {
        uint32_t from, to;
        bool reaches;
        uint32_t word;
    } const cases[] = {
        {0x10000000, 0x10000004, true, 0x48000004},
        {0x10000000, 0x0FFFFFFC, true, 0x4BFFFFFC},
        {0x10000000, 0x11FFFFFC, true, 0x49FFFFFC}, // the farthest forward
        {0x10000000, 0x0E000000, true, 0x4A000000}, // the farthest back
        {0x10000000, 0x12000000, false, 0},
        {0x10000000, 0x0DFFFFFC, false, 0},
        {0x10000000, 0x10000002, false, 0},         // not on a word
        {0xFFFFFFF0, 0x00000010, true, 0x48000020}, // across the top of the address space
    };
    for (const auto &c : cases) {
        uint32_t word = 0;
        EXPECT_EQ(site_patch::relative_branch(c.from, c.to, word), c.reaches) << std::hex << c.from << " " << c.to;
        if (c.reaches) {
            EXPECT_EQ(word, c.word) << std::hex << c.from << " " << c.to;
        }
    }
    uint32_t words[site_patch::kStubWords];
    EXPECT_FALSE(site_patch::build_stub(0x10000000, 0x14000000, 0, 0, words)) << "a stub too far from its site";
}

#if defined(__powerpc__) && !defined(__powerpc64__)

uint32_t g_seen[site_patch::kSavedRegisters];
const void *g_site;

void handler(uint32_t *regs, const void *site)
{
    std::memcpy(g_seen, regs, sizeof g_seen);
    g_site = site;
    regs[3] = regs[3] * 3 + 1; // the load's result
}

// Code of its own: `lwz r3,0(r3); blr`, the load then patched into a branch
// to a stub a page on, as the board preload patches a register accessor.
TEST(SitePatch, StubCarriesOutTheAccessAndGoesOnAfterTheSite)
{
    void *memory = mmap(nullptr, 8192, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto *code = static_cast<uint32_t *>(memory);
    uint32_t *stub = code + 1024;
    const auto at = [](const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); };
    static const int site_tag = 0;
    uint32_t words[site_patch::kStubWords];
    ASSERT_TRUE(site_patch::build_stub(at(stub), at(code + 1), at(reinterpret_cast<void *>(&handler)), at(&site_tag),
                                       words));
    std::memcpy(stub, words, sizeof words);
    ASSERT_TRUE(site_patch::relative_branch(at(code), at(stub), code[0]));
    code[1] = 0x4E800020; // blr
    __builtin___clear_cache(static_cast<char *>(memory), static_cast<char *>(memory) + 8192);

    auto *accessor = reinterpret_cast<uint32_t (*)(uint32_t)>(memory);
    uint32_t sum = 0, expected = 0;
    for (uint32_t i = 0; i < 100; i++) {
        sum += accessor(0x1000 + i);
        expected += (0x1000 + i) * 3 + 1;
        EXPECT_EQ(g_seen[3], 0x1000 + i);
        EXPECT_EQ(g_site, &site_tag);
    }
    EXPECT_EQ(sum, expected) << "a register the caller kept across the call was lost";
    // r1 as the caller's code saw it: just above the handler's frames, on
    // the stack; LR the return into this test, not into the stub.
    const uint32_t here = at(__builtin_frame_address(0));
    EXPECT_GT(g_seen[1], here - 4096);
    EXPECT_LE(g_seen[1], here);
    EXPECT_TRUE(g_seen[32] < at(stub) || g_seen[32] >= at(stub + site_patch::kStubWords));
    munmap(memory, 8192);
}

#endif

} // namespace
