// The codec fuzzer's machine: no simulated board and no 1-Wire bus. The
// record modules reach a page only through the chip layer's calls, so this
// file stands in for eeprom/onewire.cpp with a store of pages, and for the
// machine seam (platform/) with plain memory, a counter that moves on every
// read, and a log kept in memory.
#include "fuzz/codec_machine.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "eeprom/onewire.h"
#include "platform/platform.h"
#include "signal/timer.h"

namespace codec {

PageStore store;
std::vector<std::string> logLines;
int memOpens;
int memCloses;

namespace {

// The register window: only the timer block and the port are ever touched.
constexpr size_t kWindow = 0x2000;
uint8_t window[kWindow];
uint32_t counter;

uint8_t *cell(const volatile void *addr)
{
    uint8_t *p = const_cast<uint8_t *>(static_cast<const volatile uint8_t *>(addr));
    if (p < window || p >= window + kWindow)
        fail("register access outside the window the machine handed out");
    return p;
}

void put16(size_t offset, uint16_t value)
{
    window[offset] = static_cast<uint8_t>(value >> 8);
    window[offset + 1] = static_cast<uint8_t>(value);
}

} // namespace

void reset_machine()
{
    std::memset(window, 0, sizeof window);
    // The timer as the board's boot code leaves it: one 32-bit counter at 1 MHz.
    window[GTM_BLOCK2_OFFSET + GTM_CFR_OFFSET] = GTM_CFR_EXPECTED;
    put16(GTM_BLOCK2_OFFSET + GTM_MODE2_OFFSET, GTM_MODE2_EXPECTED);
    put16(GTM_BLOCK2_OFFSET + GTM_PRESC1_OFFSET, GTM_PRESC1_EXPECTED);
    put16(GTM_BLOCK2_OFFSET + GTM_PRESC2_OFFSET, GTM_PRESC2_EXPECTED);
    counter = 0;
    logLines.clear();
    memOpens = memCloses = 0;
}

} // namespace codec

using codec::store;

// ---- the chip layer, as a store of pages ----

int onewire_read_rom(ONE_WIRE_ACCESS *, OW_ROM *rom)
{
    // The first read (bring-up's) always answers, so the family is known.
    if (store.romReads++ > 0 && store.romReportFails)
        return -1;
    std::memcpy(rom, store.rom, sizeof *rom);
    return 0;
}

static bool known_family(const ONE_WIRE_ACCESS *access)
{
    return access->familyCode == OW_FAMILY_DS2431 || access->familyCode == OW_FAMILY_DS28EC20;
}

int onewire_read_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer)
{
    if (!known_family(access) || page >= store.pages)
        return -1;
    if (store.readFailures == codec::kAlways || store.readFailures > 0) {
        if (store.readFailures != codec::kAlways)
            store.readFailures--;
        return -1;
    }
    std::memcpy(buffer, store.memory + page * OW_PAGE_SIZE, OW_PAGE_SIZE);
    store.lastReadFlipped = store.flippedReads > 0;
    // A read that got through with one bit wrong, as a noisy line gives it.
    if (store.flippedReads > 0) {
        store.flippedReads--;
        buffer[store.flippedReads % OW_PAGE_SIZE] ^= static_cast<unsigned char>(1u << (store.flippedReads % 8));
        if (store.flippedCount < static_cast<int>(sizeof store.flipped / sizeof store.flipped[0])) {
            codec::PageStore::FlippedRead &kept = store.flipped[store.flippedCount++];
            kept.page = page;
            std::memcpy(kept.bytes, buffer, OW_PAGE_SIZE);
        }
    }
    return 0;
}

int onewire_write_page(ONE_WIRE_ACCESS *access, unsigned char page, unsigned char *buffer)
{
    if (!known_family(access) || page >= store.pages)
        return -1;
    if (store.writeFailures == codec::kAlways || store.writeFailures > 0) {
        if (store.writeFailures != codec::kAlways)
            store.writeFailures--;
        return -1;
    }
    std::memcpy(store.memory + page * OW_PAGE_SIZE, buffer, OW_PAGE_SIZE);
    store.written[page] = true;
    return 0;
}

const char *onewire_chip_family(ONE_WIRE_ACCESS *access)
{
    switch (access->familyCode) {
    case OW_FAMILY_DS2431:
        return "DS2431";
    case OW_FAMILY_DS28EC20:
        return "DS28EC20";
    default:
        return "UNKNOWN";
    }
}

// ---- the machine seam ----

uint8_t in_8(const volatile uint8_t *addr)
{
    return *codec::cell(addr);
}

uint16_t in_be16(const volatile uint16_t *addr)
{
    const uint8_t *p = codec::cell(addr);
    codec::cell(p + 1);
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t in_be32(const volatile uint32_t *addr)
{
    const uint8_t *p = codec::cell(addr);
    codec::cell(p + 3);
    if (p == codec::window + GTM_BLOCK2_OFFSET + GTM_COUNT_OFFSET) {
        // Every read of the counter finds a little time gone by.
        codec::counter += 25;
        return codec::counter;
    }
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void out_be32(volatile uint32_t *addr, uint32_t value)
{
    uint8_t *p = codec::cell(addr);
    codec::cell(p + 3);
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

int platform_mem_open(const char *, int)
{
    codec::memOpens++;
    return 3;
}

void *platform_mem_map(void *, size_t, int, int, int, off_t)
{
    return codec::window;
}

int platform_mem_close(int)
{
    codec::memCloses++;
    return 0;
}

unsigned int platform_sleep(unsigned int)
{
    return 0;
}

int platform_sched_get_priority_max(int)
{
    return 99;
}

int platform_sched_setscheduler(pid_t, int, const struct sched_param *)
{
    return 0;
}

void platform_openlog(const char *, int, int) {}

void platform_syslog(int priority, const char *format, ...)
{
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    codec::logLines.push_back(std::to_string(priority) + " " + line);
}
