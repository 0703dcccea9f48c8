// The codec fuzzer's machine (codec_machine.cpp): a store of pages in place of
// the chip layer and plain memory in place of the machine seam, so that the
// command line, the number texts and the record codecs run without the bus.
#ifndef IDSTAMP_FUZZ_CODEC_MACHINE_H
#define IDSTAMP_FUZZ_CODEC_MACHINE_H

#include <cstdint>
#include <string>
#include <vector>

namespace codec {

constexpr int kAlways = -1;
constexpr unsigned kMaxPages = 80;

// The chip as the record modules see it through the chip layer.
struct PageStore {
    uint8_t rom[8];
    unsigned pages;                 // data pages: 4 on a DS2431, 80 on a DS28EC20
    uint8_t memory[kMaxPages * 32];
    bool written[kMaxPages];        // a page write got through
    int readFailures;               // the next page reads that fail, or kAlways
    int flippedReads;               // the next page reads that get one bit wrong
    bool lastReadFlipped;
    // The reads that got one bit wrong, as the tool received them.
    struct FlippedRead {
        unsigned page;
        uint8_t bytes[32];
    } flipped[3];
    int flippedCount;
    int writeFailures;              // the next page writes that fail, or kAlways
    bool romReportFails;            // every ROM read after bring-up's fails
    int romReads;
};

extern PageStore store;
// System log lines, "<priority> <message>".
extern std::vector<std::string> logLines;
extern int memOpens;
extern int memCloses;

// The window's timer set up as the board leaves it; the log emptied.
void reset_machine();

// Reports a broken promise with what the run printed and aborts, so the
// fuzzer keeps the input.
[[noreturn]] void fail(const std::string &what);

} // namespace codec

#endif
