// A scenario: one run of idstamp-sim described as data (tests/scenarios/*.scn).
#ifndef IDSTAMP_TESTS_SCENARIO_RUNNER_SCENARIO_FILE_H
#define IDSTAMP_TESTS_SCENARIO_RUNNER_SCENARIO_FILE_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct Scenario {
    std::string description;
    std::vector<std::string> args;
    std::string chip = "ds2431";
    std::string faults, rom, seed;
    // Virtual time of a register access, for scenarios whose slots sit at a
    // limit: the board binary's default differs from idstamp-sim's.
    std::string access_ns;
    bool has_image = false;                                 // an image file exists before the run
    std::map<unsigned, std::vector<uint8_t>> initial_bytes; // address -> bytes
    int exit_status = 0;
    std::vector<std::string> report_lines; // each must appear in the report
    std::optional<std::string> stdout_text;
    std::optional<std::vector<std::string>> syslog_lines;
    std::map<unsigned, std::vector<uint8_t>> expected_pages; // page -> 32 bytes
    bool image_missing_after = false;
    // Sweep over seeds: each run ends in status 0 with exactly the intended
    // image, or in status 255.
    unsigned seed_first = 0, seed_last = 0;
};

// Parses a scenario file; on error returns false with the reason.
bool parse_scenario(const std::string &path, Scenario &scenario, std::string &error);

size_t chip_memory_size(const std::string &chip);

#endif
