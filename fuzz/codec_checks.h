// What the codec fuzzer checks after each run: a page the tool wrote is
// sealed, prints back as what it holds and is written again byte for byte
// from the printed text; a page whose check value is wrong is never printed
// as good; a run on good pages and a chip that answers ends with 0. Each
// check fails the run (codec::fail) on a broken promise.
#ifndef IDSTAMP_FUZZ_CODEC_CHECKS_H
#define IDSTAMP_FUZZ_CODEC_CHECKS_H

#include <cstdint>

#include "frontend/idstamp.h"

namespace codec {

// What the parse made of the arguments, against them.
void check_request(const IDSTAMP_WORK &work, char **argv, int argc, int parsed);

// What -p, -q, -r and -c printed, against the pages they read.
void check_prints(const IDSTAMP_WORK &work, const uint8_t *page2Before);

// A run on a chip that answers, with every page it must read sealed, does
// everything asked: status 0.
void check_status(const IDSTAMP_WORK &work, const uint8_t *page1Before, const uint8_t *page2Before, int status);

// What the writes left in the pages, and that the tool reads them back and
// writes them again byte for byte.
void check_writes(const IDSTAMP_WORK &work, const uint8_t *page1Before, int status);

inline bool all_ipv4(const IDSTAMP_WORK &w)
{
    return w.ip1Given && w.net1Given && w.gw1Given && w.ip2Given && w.net2Given && w.gw2Given;
}

inline bool any_ipv4(const IDSTAMP_WORK &w)
{
    return w.ip1Given || w.net1Given || w.gw1Given || w.ip2Given || w.net2Given || w.gw2Given;
}

} // namespace codec

#endif
