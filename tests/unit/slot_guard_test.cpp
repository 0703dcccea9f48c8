// The slot guard, slot by slot on the simulated line: a slot stretched by a
// chosen time is trusted below its limit, reported disturbed from it on, and
// reported lost once the chip may have left the command; a reset that failed
// only because its watch was away is reported lost, a real failure is not.
#include "signal/onewiresignal.h"
#include "sim/config.h"
#include "sim/test_probes.h"
#include "sim_board.h"

#include <string>

namespace {

enum class Op { write1, write0, read, write_byte, read_byte };

// A board on which the first slot after the first reset (or, with at_us, the
// access at that time after the reset's fall) is late by us microseconds.
ONE_WIRE_ACCESS &board_with_stretch(uint32_t us, uint32_t at_us = 0, bool absent = false)
{
    sim::Faults faults;
    faults.absent = absent;
    faults.stretch_count = 1;
    faults.stretches[0] = sim::Stretch{1, 1, at_us != 0 ? 0u : 1u, us, at_us != 0, at_us};
    unsigned char *base = simboard::map_window(simboard::config(sim::Chip::ds2431, faults));
    eepromAccess.dataReg = reinterpret_cast<volatile uint32_t *>(base + 0x1464);
    eepromAccess.dirReg = reinterpret_cast<volatile uint32_t *>(base + 0x1468);
    eepromAccess.lineMask = 0x04000000u;
    eepromAccess.dirKeepMask = 0xFFCFFFFFu;
    eepromAccess.dirOpenBits = 0x00300000u;
    eepromAccess.dirIdleBits = 0x00200000u;
    out_be32(eepromAccess.dataReg, in_be32(eepromAccess.dataReg) | eepromAccess.lineMask);
    ow_open(&eepromAccess);
    return eepromAccess;
}

int run(Op op, ONE_WIRE_ACCESS &a, unsigned char *value)
{
    switch (op) {
    case Op::write1:
        return ow_write_one(&ds2431Timing, &a);
    case Op::write0:
        return ow_write_zero(&ds2431Timing, &a);
    case Op::read:
        return ow_read_bit(&ds2431Timing, &a, value);
    case Op::write_byte:
        return ow_write_byte(&a, &ds2431Timing, 0xFF);
    default:
        return ow_read_byte(&a, &ds2431Timing, value);
    }
}

struct SlotCase {
    const char *name;
    Op op;
    uint32_t stretch_us;
    int result;
    size_t slots; // master lows after the reset
};

// At 200 ns a register access, as idstamp-sim runs: a write-1 low measures 11
// counts undisturbed, a write-0 low 71, a read slot's first sample 10.
const SlotCase kSlots[] = {
    {"write-1 just inside", Op::write1, 3, 0, 1},
    {"write-1 just outside", Op::write1, 4, OW_DISTURBED, 1},
    {"write-1 just short of 120 us", Op::write1, 108, OW_DISTURBED, 1},
    {"write-1 that may have reached 120 us", Op::write1, 109, OW_LOST, 1},
    {"write-0 just inside", Op::write0, 48, 0, 1},
    {"write-0 just outside", Op::write0, 49, OW_LOST, 1},
    {"read just inside", Op::read, 4, 0, 1},
    {"read just outside", Op::read, 5, OW_DISTURBED, 1},
    {"read that may have reached 120 us", Op::read, 110, OW_LOST, 1},
    {"read just short of 120 us", Op::read, 109, OW_DISTURBED, 1},
    // A byte goes on through a disturbed slot, so the chip is not left
    // mid-byte, and stops at once when the chip may be lost.
    {"byte through a disturbed slot", Op::write_byte, 4, OW_DISTURBED, 8},
    {"byte stops at a lost slot", Op::write_byte, 110, OW_LOST, 1},
    {"read byte through a disturbed slot", Op::read_byte, 5, OW_DISTURBED, 8},
};

TEST(SlotGuard, EachSlotAgainstItsLimit)
{
    for (const SlotCase &c : kSlots) {
        SCOPED_TRACE(c.name);
        ONE_WIRE_ACCESS &a = board_with_stretch(c.stretch_us);
        ASSERT_EQ(ow_reset_presence_pulse(&ds2431Timing, &a), 0);
        sim::record_pulses();
        const unsigned int before = owDisturbedSlots;
        unsigned char value = 0x5A;
        EXPECT_EQ(run(c.op, a, &value), c.result);
        EXPECT_EQ(sim::pulses().size(), c.slots);
        EXPECT_EQ(owDisturbedSlots - before, c.result == 0 ? 0u : 1u);
        if (c.result != 0) {
            EXPECT_EQ(value, 0x5A) << "a disturbed read stores nothing";
        } else if (c.op == Op::read) {
            EXPECT_EQ(value, 1) << "the chip answered nothing: the idle line reads 1";
        }
    }
}

struct ResetCase {
    const char *name;
    bool absent;
    uint32_t stretch_us;
    int result;
};

// The presence watch of the first reset loses time 20 us after the rise.
const ResetCase kResets[] = {
    {"presence seen despite a short gap", false, 4, 0},
    {"watch timed out on the clock while away", false, 100, OW_LOST},
    {"presence hidden by the gap", false, 400, OW_LOST},
    {"no chip, readings 4 apart: the line's failure", true, 3, -1},
    {"no chip, readings 5 apart: maybe missed", true, 4, OW_LOST},
};

TEST(SlotGuard, ResetFailsOnlyOnWhatItSaw)
{
    for (const ResetCase &c : kResets) {
        SCOPED_TRACE(c.name);
        ONE_WIRE_ACCESS &a = board_with_stretch(c.stretch_us, 520, c.absent);
        const unsigned int before = owDisturbedSlots;
        EXPECT_EQ(ow_reset_presence_pulse(&ds2431Timing, &a), c.result);
        EXPECT_EQ(owDisturbedSlots - before, c.result == OW_LOST ? 1u : 0u);
    }
}

} // namespace
