// Prints the simulated board's settings or faults table as Markdown, from the
// tables the board reads them with, between the marks that
// docs/simulated-board.md has around them (Docs.SimTablesMatchTheCode checks
// that the document's tables are these).
// Usage: idstamp_sim_tables settings|faults
#include <cstdio>
#include <string>
#include <vector>

#include "sim/host/fault_table.h"
#include "sim/host/settings_table.h"

namespace {

// A table row; a '|' in a cell would end it.
void print_row(const std::vector<std::string> &cells)
{
    std::string line = "|";
    for (const std::string &cell : cells) {
        line += " ";
        for (const char c : cell)
            line += c == '|' ? std::string("\\|") : std::string(1, c);
        line += " |";
    }
    std::printf("%s\n", line.c_str());
}

void print_settings()
{
    print_row({"Variable", "Default", "Values", "Meaning"});
    std::printf("|---|---|---|---|\n");
    for (const sim::detail::Setting &s : sim::detail::settings())
        print_row({"`" + std::string(s.name) + "`", s.default_text,
                   s.values.text + (s.host_clock_only ? "; only on the host's clock" : ""), s.meaning});
}

void print_faults()
{
    print_row({"Fault", "Value", "What happens"});
    std::printf("|---|---|---|\n");
    for (const sim::detail::Fault &f : sim::detail::fault_table())
        print_row({"`" + std::string(f.name) + (f.form != nullptr ? "=" + std::string(f.form) : "") + "`",
                   f.form != nullptr ? f.range : "no value", f.meaning});
}

} // namespace

int main(int argc, char **argv)
{
    const std::string table = argc == 2 ? argv[1] : "";
    if (table != "settings" && table != "faults") {
        std::fprintf(stderr, "usage: idstamp_sim_tables settings|faults\n");
        return 2;
    }
    std::printf("<!-- %s table: printed by idstamp_sim_tables %s -->\n", table.c_str(), table.c_str());
    if (table == "settings")
        print_settings();
    else
        print_faults();
    std::printf("<!-- end of %s table -->\n", table.c_str());
    return 0;
}
