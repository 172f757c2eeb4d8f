// Runs a program of the tests and collects what it printed.
#pragma once

#include <string>
#include <vector>

struct process_result {
    int exit_code = -1;  // -1 when the program did not start or was killed
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs `arguments` (the program first, looked up in PATH) with `environment`
// entries ("NAME=value") added to this process's own, in `folder` when one is
// given, with standard input from /dev/null, and waits for it.
process_result run_process(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment = {}, const std::string& folder = "");
