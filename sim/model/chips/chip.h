// A chip on the line: what it is (ChipModel, data from its data sheet) and
// what it holds (ChipDevice). The chip's side of the line (chip_side.cpp)
// handles resets, presence pulses and slot timing the same for every chip,
// and calls the chip only through ChipOps: a reset, a bit written, a bit to
// send, programming done. Nothing outside sim/model/chips/ knows one chip
// from another.
#ifndef IDSTAMP_SIM_MODEL_CHIPS_CHIP_H
#define IDSTAMP_SIM_MODEL_CHIPS_CHIP_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/config.h"
#include "sim/test_probes.h"

namespace sim {
namespace detail {

struct ChipDevice;

// What the chip does with the line from the next slot on.
enum class Next : uint8_t {
    listen,  // takes bits from write slots
    send,    // answers read slots
    sleep,   // quiet until the next reset
    program, // programs its memory, ignoring the line, then programming_done
};

struct ChipOps {
    // A reset pulse ended. False: the chip is gone and gives no presence.
    bool (*reset)(ChipDevice &chip);
    // The bit of a write slot (or of a read slot the chip does not answer).
    Next (*bit_written)(ChipDevice &chip, bool one);
    // The bit the chip answers a read slot with: false holds the line low.
    bool (*bit_to_send)(ChipDevice &chip, Next &next);
    // The programming time after Next::program is over.
    Next (*programming_done)(ChipDevice &chip);
    // The line did something that is neither a bit nor a reset: the chip
    // drops the byte in progress and waits for a reset.
    void (*lost)(ChipDevice &chip);
};

// Which scratchpad bytes Copy Scratchpad programs.
enum class CopyRule : uint8_t {
    whole_row,     // the scratchpad's whole row, whatever E says
    written_bytes, // from the target's offset through E
};

// What a chip's own file adds to the scratchpad EEPROM behaviour every chip
// here shares. Each may be null.
enum class ChipEvent : uint8_t { read_memory, target_address };
struct ChipRules {
    // A Read Memory command, or a Write Scratchpad's whole target address.
    void (*event)(ChipDevice &chip, ChipEvent event);
    // What programming value at address leaves there (protection bytes).
    uint8_t (*written_byte)(const ChipDevice &chip, uint32_t address, uint8_t value);
    // Whether the chip copies this scratchpad, once the checks every chip
    // makes (authorization, PF, the target in memory) have passed.
    bool (*copy_allowed)(const ChipDevice &chip);
};

constexpr uint32_t kNoFold = UINT32_MAX;

struct ChipModel {
    const char *name;  // as IDSTAMP_SIM_CHIP takes it
    const char *title; // as messages name it
    uint8_t family;    // the ROM's first byte
    uint32_t memory_size;
    uint32_t pad_size;
    uint8_t e_mask;         // the bits of E in the E/S byte
    uint16_t address_mask;  // target address bits the chip keeps
    // Read Memory from a target above read_fold_above starts at the target
    // ANDed with read_fold_mask; kNoFold: it reads 1s past the end.
    uint32_t read_fold_above;
    uint32_t read_fold_mask;
    CopyRule copy;
    ChipRules rules;
    const ChipOps *ops;
};

// Where the chip is in a transaction, byte by byte.
enum class Phase : uint8_t {
    rom_command,
    match_rom,
    read_rom,
    memory_command,
    read_memory_address,
    read_memory_data,
    write_scratchpad_address,
    write_scratchpad_data,
    send_buffer,     // bytes prepared in tx_buf, then 1s
    copy_authorization,
    copy_confirm,    // alternating 0 and 1 after a good copy
    ones,
};

struct ChipDevice {
    const ChipModel *model = nullptr;
    std::vector<uint8_t> memory;
    std::array<uint8_t, 8> rom{};

    // The byte in progress.
    uint8_t rx_byte = 0;
    unsigned rx_bits = 0;
    uint8_t tx_byte = 0;
    unsigned tx_bits = 0;

    // Byte level.
    Phase phase = Phase::rom_command;
    uint8_t command = 0;
    unsigned tx_index = 0;
    uint64_t transaction = 0;
    unsigned byte_count = 0;
    uint8_t addr_lo = 0;
    uint32_t read_addr = 0;
    bool flip_next = false;
    std::array<uint8_t, 40> tx_buf{};
    unsigned tx_len = 0;
    unsigned tx_pos = 0;
    uint16_t crc = 0;
    std::array<uint8_t, 3> auth{};
    bool rom_matched = false;
    bool power_gone = false;
    TxTamper tamper;

    // Scratchpad and its registers.
    std::array<uint8_t, 32> pad{};
    uint16_t ta = 0;
    unsigned pad_start = 0;
    unsigned pad_next = 0;
    unsigned e = 0;
    bool aa = false;
    bool pf = true;
    uint32_t own = 0; // state a chip's own rules keep (their file says what)

    // Fault counters left in this run.
    unsigned rom_crc_left = 0;
    unsigned rom_good_left = 0; // good Read ROM before the bad ones begin
    unsigned read_flip_left = 0;
    unsigned copy_fail_left = 0;
    unsigned short_fill_left = 0;
    unsigned whole_fill_left = 0; // whole fills before the short ones begin
    bool fill_cut = false;        // this fill stops at half the scratchpad
    long power_loss = -1;         // copies until the chip is gone (-1: never)

    // Counted for the report.
    uint64_t bytes = 0;  // whole bytes received or sent
    uint64_t copies = 0; // copies that programmed memory
};

// The chips of sim/chip_list.h.
const ChipModel &chip_model(Chip chip);
size_t chip_count();
const ChipModel &chip_at(size_t index);
Chip chip_kind(const ChipModel &model);

// Powers the chip up as config says: its memory (blank or given, filled up
// with 0xFF), its ROM, its faults armed.
void power_up(ChipDevice &chip, const Config &config);

// The scratchpad EEPROMs' behaviour, shared by every chip here.
extern const ChipOps kScratchpadEeprom;

} // namespace detail
} // namespace sim

#endif
