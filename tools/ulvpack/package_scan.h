// Reads a whole package the way the updater does, with the updater's own
// reader and checks, and says what the updater would do with it and why.
#pragma once

#include "package/target_names.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct scanned_target {
    std::string name;  // entry_name of its first record, code page 1252
    const root_prefix* prefix = nullptr;
    uint32_t file_size = 0;
    uint64_t written = 0;  // bytes its pieces hold so far
    uint32_t pieces = 0;
    uint32_t first_record = 0;  // counted from 1
    uint64_t first_offset = 0;  // byte offset of its first record
    bool complete = false;
};

struct scan_finding {
    bool error = false;    // the updater refuses the package; else a warning
    uint32_t record = 0;   // counted from 1; 0 for the package as a whole
    uint64_t offset = 0;   // byte offset of that record
    std::string text;      // English, names in UTF-8
};

struct package_scan {
    std::vector<scanned_target> targets;
    std::vector<scan_finding> findings;  // at most one error, always the last finding
    uint32_t records = 0;                // records loaded
    uint64_t package_size = 0;
    bool would_apply = false;            // the updater would install every target and delete the package
};

// Receives each piece in record order, after its target's counts are updated
// (so `pieces` is 1 on a target's first piece and `complete` is set on its
// last). Returning false stops the scan.
using piece_handler = std::function<bool(const scanned_target& target, const unsigned char* bytes, uint32_t length)>;

// `unreadable`: the system failed to read the package or to hold one of its
// records; its last finding says which, and the package itself may be sound.
enum class scan_outcome { scanned, not_opened, unreadable, stopped };

// Scans the package at `path` (as given on the command line).
scan_outcome scan_package(const std::string& path, package_scan& scan, const piece_handler& on_piece = {});

// The name in UTF-8 and in double quotes, for messages.
std::string quoted_name(const std::string& name_1252);
