// Runs Windows programs under Wine through the bench helper (bench.exe) and
// reads back what it saw: message boxes, exit code, elapsed time.
#pragma once

#include <string>
#include <vector>

struct seen_box {
    std::string caption;  // UTF-8
    std::string text;
    std::string buttons;  // control ids, comma-separated: "1" is OK alone
};

struct bench_run {
    std::vector<seen_box> boxes;
    int exit_code = -1;
    long elapsed_ms = -1;
    bool timed_out = false;
    unsigned console_code_page = 0;  // of the console given with bench_options::console_code_page, after the run
    long intrusion_write_error = -1;   // what the system answered bench_options' intrusion (0: allowed), -1: none
    long intrusion_delete_error = -1;
    std::string transcript;  // what the helper printed, for failure messages
};

// How many times slower than native the bench runs (software emulation):
// upper limits on time are multiplied by it, lower limits never.
constexpr long time_factor = ULV_WINE_TIME_FACTOR;

struct bench_options {
    std::string hold_path;  // Windows path held without sharing, empty for none
    long hold_ms = 0;
    long timeout_ms = 60000 * time_factor;
    std::string module;     // Windows path of the program, when the command line cannot tell it
    std::string locale;     // the host locale the programs run in, which gives Wine its system code page
    unsigned console_code_page = 0;  // a console of its own with this output code page, 0 for none
    std::vector<std::string> environment;  // "NAME=value" set for the program
    std::string intrude_when;  // once this Windows path exists, another program tries to write and delete...
    std::string intrude_on;    // ... this one, and the held file is let go
};

// Starts `command_line` (UTF-8), exactly as given, under the bench.
bench_run run_in_bench(const std::string& command_line, const bench_options& options = {});

// Runs a Windows console program under Wine directly, for its output; its
// command line is rebuilt by Wine from `arguments`.
struct process_result;
process_result run_under_wine(const std::vector<std::string>& arguments);

// The Unix path of the prefix's C: drive, and of the folder holding the
// Windows programs under test (C:\ulvbench).
std::string drive_c();
std::string programs_folder();
