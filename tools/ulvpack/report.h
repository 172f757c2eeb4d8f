// Shared by list, verify and extract: scanning a package named on the command
// line and reporting what the scan found.
#pragma once

#include "package_scan.h"

#include <string>

// Scans `path`; when it cannot be opened or read, says so and returns false.
bool scan_or_complain(const char* command, const std::string& path, const scan_handlers& handlers,
                      scan_result& result);

// The same for the package at `path` open at `package`, from its position,
// with `checks` (scan_open_package).
bool scan_or_complain(const char* command, const std::string& path, int package, const scan_handlers& handlers,
                      scan_result& result, const walk_options& checks);

// Prints "ulvpack COMMAND: MESSAGE" on standard error. Messages carry paths
// and names from the command line, the disk and packages: their control
// characters are escaped, so that none reaches the terminal as a command.
void say(const char* command, const std::string& message);

// Prints a warning or the error, with its record and byte offset.
void print_finding(const scan_finding& finding);

// "record N at byte M: TEXT", or TEXT for the package as a whole.
std::string finding_text(const scan_finding& finding);

// "install directory", "Windows directory" or "system directory".
const char* root_description(const root_prefix& prefix);
