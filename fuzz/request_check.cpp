#include <string>

#include "board/simple_strtoul.h"
#include "fuzz/codec_checks.h"
#include "fuzz/codec_machine.h"
#include "fuzz/output_parser.h"

namespace codec {

namespace {

// Where a text of the request points: into one of the arguments, at its start.
void check_request_text(const char *text, uint8_t given, char **argv, int argc)
{
    if (!given) {
        if (text != nullptr)
            fail("a text for an option not given");
        return;
    }
    for (int i = 2; i < argc; i++) {
        if (text == argv[i])
            return;
    }
    // -c has no text; a given option with a text takes its argument.
    if (text != nullptr)
        fail("a request text that is no argument");
}

} // namespace

void check_request(const IDSTAMP_WORK &work, char **argv, int argc, int parsed)
{
    if (parsed != 1 && parsed != 0 && parsed != -1)
        fail("idstamp_parse returned " + std::to_string(parsed));
    if (argc <= 2 && parsed != 0)
        fail("no options, yet not the usage");
    if (parsed == 0 && !printed("Usage: idstamp"))
        fail("status 0 without options and no usage printed");
    if (parsed != 1)
        return;
    if (sleepTime < 1 || sleepTime > 3)
        fail("a back-off outside 1 to 3 seconds");
    check_request_text(work.macAddr, work.macGiven, argv, argc);
    check_request_text(work.ip1Addr, work.ip1Given, argv, argc);
    check_request_text(work.net1Addr, work.net1Given, argv, argc);
    check_request_text(work.gw1Addr, work.gw1Given, argv, argc);
    check_request_text(work.ip2Addr, work.ip2Given, argv, argc);
    check_request_text(work.net2Addr, work.net2Given, argv, argc);
    check_request_text(work.gw2Addr, work.gw2Given, argv, argc);
    check_request_text(work.stringText, work.stringWriteGiven, argv, argc);
    if (work.pageDumpGiven) {
        // Its argument is the one after the last "-c".
        for (int i = argc - 2; i >= 2; i--) {
            if (argv[i][0] == '-' && argv[i][1] == 'c') {
                if (work.pageNumber != simple_strtoul(argv[i + 1], nullptr, 10))
                    fail("-c's page number is not its argument's");
                break;
            }
        }
    }
}

} // namespace codec
