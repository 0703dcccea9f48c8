// The reset of the product's process-wide state: its list holds every
// writable global the product's libraries define, and a reset puts each one
// back to its start-up bytes.
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "frontend/idstamp.h"
#include "harness/product_state.h"
#include "harness/sim_process.h"
#include "signal/onewiresignal.h"

namespace {

std::string trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "unit/name" of each writable data object that nm lists in a library.
std::set<std::string> writable_objects(const std::string &library)
{
    char dir_template[] = "/tmp/idstamp-nm-XXXXXX";
    harness::SimRun run;
    run.program = IDSTAMP_NM;
    run.args = {"-C", "--defined-only", "--format=sysv", library};
    run.dir = mkdtemp(dir_template);
    const harness::SimResult r = harness::run_sim(run);
    std::filesystem::remove_all(run.dir);
    EXPECT_EQ(r.code(), 0) << r.err;
    std::set<std::string> objects;
    std::string unit;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        // "Symbols from libidstamp_board.a[mac_record.cpp.o]:"
        const size_t open = line.find('['), close = line.find(".o]:");
        if (line.rfind("Symbols from ", 0) == 0 && open != std::string::npos && close != std::string::npos) {
            unit = line.substr(open + 1, close - open - 1);
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '|');)
            fields.push_back(trimmed(cell));
        // The address sanitizer's own objects (its ODR indicators) are not
        // the product's.
        if (fields.size() < 7 || fields[3] != "OBJECT" || fields[0].rfind("__asan", 0) == 0
            || fields[0].rfind("__odr_asan", 0) == 0)
            continue;
        const std::string &section = fields[6];
        const bool writable = (section.rfind(".data", 0) == 0 && section.rfind(".data.rel.ro", 0) != 0)
                              || section.rfind(".bss", 0) == 0 || section.rfind(".sdata", 0) == 0
                              || section.rfind(".sbss", 0) == 0 || section.rfind(".tdata", 0) == 0
                              || section.rfind(".tbss", 0) == 0;
        if (writable)
            objects.insert(unit + "/" + fields[0]);
    }
    return objects;
}

TEST(ProductState, ResetListsEveryWritableGlobalOfTheProduct)
{
    std::set<std::string> defined;
    std::istringstream libraries(IDSTAMP_PRODUCT_LIBRARIES);
    for (std::string library; libraries >> library;) {
        const std::set<std::string> objects = writable_objects(library);
        EXPECT_FALSE(objects.empty()) << library << ": nm found no writable data";
        defined.insert(objects.begin(), objects.end());
    }
    std::set<std::string> listed;
    for (const harness::ProductGlobal &g : harness::product_globals())
        listed.insert(std::string(g.unit) + "/" + g.name);
    for (const std::string &global : defined)
        EXPECT_EQ(listed.count(global), 1u) << global << " is process-wide state that the reset leaves alone";
    for (const std::string &global : listed)
        EXPECT_EQ(defined.count(global), 1u) << global << " is in the reset's list but no library defines it";
}

TEST(ProductState, ResetPutsBackEveryGlobal)
{
    // Every product source is linked into this program whole.
    for (const harness::ProductGlobal &g : harness::product_globals()) {
        const harness::GlobalBytes &bytes = harness::product_global(g);
        ASSERT_NE(bytes.at, nullptr) << g.unit << "/" << g.name << " not found in this program";
        ASSERT_GT(bytes.size, 0u) << g.name;
        for (size_t i = 0; i < bytes.size; i++)
            bytes.at[i] = static_cast<unsigned char>(~bytes.initial[i]);
    }
    harness::reset_product_state();
    for (const harness::ProductGlobal &g : harness::product_globals()) {
        const harness::GlobalBytes &bytes = harness::product_global(g);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes.at), bytes.size), bytes.initial) << g.name;
    }
    // The bytes found are the variables themselves.
    EXPECT_EQ(memDriver, -1);
    EXPECT_EQ(sleepTime, 0u);
    EXPECT_EQ(owDisturbedSlots, 0u);
    EXPECT_EQ(ds2431Timing.resetLow, 500u);
}

} // namespace
