// Shared by list, verify and extract: scanning a package named on the command
// line and reporting what the scan found.
#pragma once

#include "package_scan.h"

#include <string>

// Scans `path`; when it cannot be opened or read, says so and returns false.
bool scan_or_complain(const char* command, const std::string& path, package_scan& scan,
                      const piece_handler& on_piece = {});

// Prints the scan's warnings and its error, each with its record and byte offset.
void print_findings(const package_scan& scan);

// The error that makes the updater refuse the package, or null.
const scan_finding* refusal(const package_scan& scan);

// The bytes that the pieces of all targets hold.
uint64_t total_bytes(const package_scan& scan);

// "install directory", "Windows directory" or "system directory".
const char* root_description(const root_prefix& prefix);
