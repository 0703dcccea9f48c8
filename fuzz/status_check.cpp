#include <cstring>
#include <string>

#include "board/wexloow.h"
#include "eeprom/onewire.h"
#include "fuzz/codec_checks.h"
#include "fuzz/codec_machine.h"
#include "fuzz/codec_pages.h"
#include "fuzz/output_parser.h"
#include "fuzz/reference_crc.h"

namespace codec {

void check_status(const IDSTAMP_WORK &work, const uint8_t *page1Before, const uint8_t *page2Before, int status)
{
    if (memOpens != memCloses)
        fail("/dev/mem opened " + std::to_string(memOpens) + " times, closed " + std::to_string(memCloses));
    if (status != 0 && status != -1)
        fail("idstamp_run returned " + std::to_string(status));
    if (status == 0) {
        if (work.macGiven && !store.written[0])
            fail("status 0 but the MAC page was not written");
        if (any_ipv4(work) && !store.written[1])
            fail("status 0 but the IPv4 page was not written");
        if (work.macPageGiven && !printed("MAC address read ("))
            fail("status 0 but -p printed no MAC address");
        if (work.ipPageGiven && !printed("IPv4 PAGE info ("))
            fail("status 0 but -q printed no IPv4 record");
        if (work.stringReadGiven && !printed("Read string: \"", stringFrom, reportsEnd))
            fail("status 0 but -r printed no string");
        return;
    }
    const bool answers = (store.rom[0] == OW_FAMILY_DS2431 || store.rom[0] == OW_FAMILY_DS28EC20)
                         && store.readFailures != kAlways && store.writeFailures != kAlways;
    bool pagesGood = !(work.macPageGiven && !record_sealed(0)) && !(work.ipPageGiven && !record_sealed(1))
                     && !(work.stringReadGiven && !sealed(page2Before, 30))
                     && !(any_ipv4(work) && !all_ipv4(work) && !sealed(page1Before, 26))
                     && !(work.stringWriteGiven && std::strlen(work.stringText) > WEXLO_STRING_MAX);
    if (answers && pagesGood)
        fail("a run on good pages and a chip that answers gave up");
}

} // namespace codec
