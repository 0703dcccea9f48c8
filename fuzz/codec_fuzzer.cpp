// The tool's texts and records without the bus: the command line into the
// request, the number texts, MAC and IPv4 texts into pages, and pages back
// into what -p, -q, -r and -c print, on a store of pages (codec_machine.cpp).
//
// The input (codec_input.h) sets the store up and gives the argument vector.
// Checks (codec_checks.h, number_oracle.h): a page the tool wrote is sealed,
// prints back as what it holds and is written again byte for byte from the
// printed text; a page whose check value is wrong is never printed as good; a
// run on good pages and a chip that answers ends with 0; every number text
// stops inside its text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/idstamp.h"
#include "fuzz/codec_checks.h"
#include "fuzz/codec_input.h"
#include "fuzz/codec_machine.h"
#include "fuzz/codec_pages.h"
#include "fuzz/number_oracle.h"
#include "fuzz/output_parser.h"
#include "fuzz/stdout_capture.h"
#include "harness/product_state.h"

namespace codec {

void fail(const std::string &what)
{
    collect_output();
    std::fprintf(stderr, "codec_fuzzer: %s\n--- output\n%s\n--- log\n", what.c_str(), output.c_str());
    for (const std::string &line : logLines)
        std::fprintf(stderr, "%s\n", line.c_str());
    std::abort();
}

} // namespace codec

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The tool's standard output goes to a file in memory the checks read.
    codec::capture_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    codec::Input input = codec::take_input(data, size);
    for (const std::string &argument : input.arguments)
        codec::check_number_text(argument);

    // The tool keeps pointers into its argument vector, as into a real one.
    std::string program = "idstamp";
    std::vector<char *> argv{program.data()};
    for (std::string &argument : input.arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size() - 1);

    uint8_t page1Before[codec::kPage], page2Before[codec::kPage];
    std::memcpy(page1Before, codec::page_of(1), codec::kPage);
    std::memcpy(page2Before, codec::page_of(2), codec::kPage);

    // A fresh machine, and the product's process-wide state as a new process
    // has it.
    codec::reset_machine();
    harness::reset_product_state();
    codec::start_output();
    IDSTAMP_WORK work;
    const int parsed = idstamp_parse(argc, argv.data(), &work);
    codec::collect_output();
    codec::forget_reports();
    codec::check_request(work, argv.data(), argc, parsed);
    if (parsed != 1)
        return 0;

    const int status = idstamp_run(&work);
    codec::collect_output();
    codec::find_reports(work, page2Before);
    codec::check_prints(work, page2Before);
    codec::check_status(work, page1Before, page2Before, status);
    codec::check_writes(work, page1Before, status);
    return 0;
}
