#include "fuzz/fuzz_board.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "harness/product_state.h"
#include "sim/crc.h"
#include "sim/run.h"
#include "sim/test_probes.h"

namespace fuzz {

namespace {

constexpr size_t kPage = 32;

// Fault kinds of header byte 0, bits 4-7; kinds below kFirstFault run a
// fault-free board.
enum FaultKind : unsigned {
    kFirstFault = 7,
    kRomFamily = 7,   // the ROM's family byte is the count (mostly unknown families)
    kReadFlip = 8,    // read-flip=count
    kCopyFail = 9,    // copy-fail=count
    kRomCrc = 10,     // rom-crc=count & 31 after count >> 5 good reads
    kPowerLoss = 11,  // power-loss=count & 15
    kJitter = 12,     // jitter=(1 + count & 15) / 10000 of 1-40 us
    kAbsent = 13,     // no chip
    kTimerBad = 14,   // the timer check fails on register count & 3 of 0x600, 0x612, 0x638, 0x63A
    kHostCall = 15,   // count % 3: /dev/mem refused, mapping refused, line stuck low
};

// The sample records a header may ask for.
const uint8_t kMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
// Slot 1 then slot 2, each address, gateway, netmask as the page holds them.
const uint8_t kIpv4[24] = {192, 168, 1, 10, 192, 168, 1, 1, 255, 255, 255, 0,
                           10,  0,   0, 2,  10,  0,   0, 1, 255, 0,   0,   0};
const char kString[] = "Wexlo rocks";

// Sets the fault of kind `kind` (header byte 0, bits 4-7) with its count, or,
// for the kinds below kFirstFault, the fault-free board's counter start.
void set_fault(Board &board, unsigned kind, unsigned count);

} // namespace

void seal(uint8_t *page, size_t covered)
{
    const uint16_t check = static_cast<uint16_t>(~sim::crc16(page, covered));
    page[covered] = static_cast<uint8_t>(check >> 8);
    page[covered + 1] = static_cast<uint8_t>(check & 0xFF);
}

bool sealed(const uint8_t *page, size_t covered)
{
    const uint16_t check = static_cast<uint16_t>(~sim::crc16(page, covered));
    return page[covered] == (check >> 8) && page[covered + 1] == (check & 0xFF);
}

std::vector<uint8_t> sample_image(sim::Chip chip, unsigned record_mask)
{
    std::vector<uint8_t> image(chip == sim::Chip::ds28ec20 ? 2624 : 144, 0xFF);
    // A header record: format 1, its length, the data, sealed.
    auto put_record = [&](unsigned page_number, uint8_t length, const uint8_t *data, size_t size) {
        uint8_t *page = &image[page_number * kPage];
        page[0] = 1;
        page[1] = length;
        std::memcpy(page + 2, data, size);
        seal(page, 2 + size);
    };
    if (record_mask & 1)
        put_record(0, 10, kMac, sizeof kMac);
    if (record_mask & 2)
        put_record(1, 28, kIpv4, sizeof kIpv4);
    if (record_mask & 4) {
        uint8_t *page = &image[2 * kPage];
        std::memset(page, 0, 30);
        std::memcpy(page, kString, sizeof kString - 1);
        seal(page, 30);
    }
    return image;
}

Board board_from_header(const uint8_t *&data, size_t &size)
{
    uint8_t header[2] = {0, 0};
    for (uint8_t &byte : header) {
        if (size > 0) {
            byte = *data++;
            --size;
        }
    }
    Board board;
    sim::Config &c = board.config;
    c.chip = (header[0] & 1) ? sim::Chip::ds28ec20 : sim::Chip::ds2431;
    c.memory = sample_image(c.chip, (header[0] >> 1) & 7);
    const unsigned count = header[1];
    set_fault(board, header[0] >> 4, count);
    return board;
}

namespace {

void set_fault(Board &board, unsigned kind, unsigned count)
{
    sim::Config &c = board.config;
    sim::Faults &f = c.faults;
    switch (kind) {
    case kRomFamily:
        c.rom = {static_cast<uint8_t>(count), 0x9C, 0x3E, 0x6B, 0x0D, 0x00, 0x00};
        break;
    case kReadFlip:
        f.read_flip = count;
        break;
    case kCopyFail:
        f.copy_fail = count;
        break;
    case kRomCrc:
        f.rom_crc = count & 31;
        f.rom_crc_after = count >> 5;
        break;
    case kPowerLoss:
        f.power_loss = count & 15;
        break;
    case kJitter:
        f.jitter_p = (1 + (count & 15)) / 10000.0;
        f.jitter_max_us = 40;
        f.seed = 1 + (count >> 4);
        board.timing_disturbed = true;
        break;
    case kAbsent:
        f.absent = true;
        break;
    case kTimerBad: {
        const uint32_t checked[] = {0x600, 0x612, 0x638, 0x63A};
        f.timer_bad = checked[count & 3];
        break;
    }
    case kHostCall:
        if (count % 3 == 0) {
            f.devmem_eacces = true;
        } else if (count % 3 == 1) {
            f.mmap_fail = true;
        } else {
            f.stuck_low = true;
            board.timing_disturbed = true;
        }
        break;
    default:
        // A fault-free board; the count starts the microsecond counter up to
        // a second before its wrap, so busy-waits run across it.
        c.start_counter_us = count == 0 ? 0 : 0u - count * 4096u;
        break;
    }
}

} // namespace

void start_run(const sim::Config &config)
{
    // A reproducer behaves the same alone and after other inputs: the run
    // sequence relies on the family cache being empty, and a process counts
    // its own disturbed slots and re-runs from zero.
    harness::reset_product_state();
    sim::start(config);
}

void silence_stdout()
{
    if (std::getenv("IDSTAMP_FUZZ_STDOUT") != nullptr)
        return;
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) {
        std::perror("fuzz: /dev/null");
        std::abort();
    }
    close(null);
}

void fail(const std::string &what)
{
    std::fflush(stdout);
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    for (const std::string &misuse : sim::misuse_log())
        std::fprintf(stderr, "fuzz:   misuse: %s\n", misuse.c_str());
    for (const std::string &line : sim::syslog_lines())
        std::fprintf(stderr, "fuzz:   syslog: %s\n", line.c_str());
    std::abort();
}

void check_board(const Board &board)
{
    const sim::Stats &stats = sim::stats();
    if (stats.misuses != 0)
        fail("the tool misused the machine seam");
    if (stats.devmem_opens != stats.devmem_closes)
        fail("/dev/mem opened " + std::to_string(stats.devmem_opens) + " times, closed "
             + std::to_string(stats.devmem_closes));
    if (!board.timing_disturbed && stats.violations != 0)
        fail(std::to_string(stats.violations) + " timing violations on an undisturbed line");
}

} // namespace fuzz
