// Test support: the product's process-wide state put back to what a new
// process has, so that in-process runs (unit tests, fuzzers, benchmarks)
// start alike whatever ran before them.
//
// Some of that state has internal linkage (the record page images, the held
// failure lines, whether the log is open), and the product offers no way to
// reset it. So the reset works from the executable's own symbol table: at
// start-up it keeps the bytes each listed global has, and a reset copies them
// back. Product code is not changed for it.
#ifndef IDSTAMP_HARNESS_PRODUCT_STATE_H
#define IDSTAMP_HARNESS_PRODUCT_STATE_H

#include <cstddef>
#include <string>
#include <vector>

namespace harness {

// A writable global of the product: its source file's name and its name.
struct ProductGlobal {
    const char *unit;
    const char *name;
};

// Every writable global of frontend/, board/, eeprom/ and signal/ (a test
// compares the list with the libraries' symbols).
const std::vector<ProductGlobal> &product_globals();

// Where a listed global lies in this process; null when its source file
// was not linked in (then it has no state here).
struct GlobalBytes {
    unsigned char *at = nullptr;
    size_t size = 0;
    std::string initial; // its bytes at start-up
};
const GlobalBytes &product_global(const ProductGlobal &global);

// Every listed global of this process back to its start-up bytes.
void reset_product_state();

} // namespace harness

#endif
