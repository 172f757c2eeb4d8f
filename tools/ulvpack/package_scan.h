// Reads a whole package the way the updater does, with the updater's own walk
// and name rule, and says as it goes what the updater would do with it and
// why. Nothing is kept per target but its name, in the tree of names
// (package/name_tree.h): a few bytes beyond its last component, whatever the
// package holds besides.
#pragma once

#include "package/package_walk.h"
#include "package/target_names.h"

#include <cstdint>
#include <functional>
#include <string>

struct scanned_target {
    std::string name;  // entry_name of its first record
    const root_prefix* prefix = nullptr;
    uint32_t file_size = 0;
    uint64_t written = 0;  // bytes its pieces hold so far
    uint32_t pieces = 0;
    uint64_t first_record = 0;  // counted from 1
    uint64_t first_offset = 0;  // byte offset of its first record
    bool complete = false;
};

struct scan_finding {
    bool error = false;    // the updater refuses the package; else a warning
    uint64_t record = 0;   // counted from 1; 0 for the package as a whole
    uint64_t offset = 0;   // byte offset of that record
    std::string text;      // English, names in UTF-8 with control characters escaped
};

// Receives each piece in record order, after its target's counts are updated
// (so `pieces` is 1 on a target's first piece and `complete` is set on its
// last). Returning false stops the scan.
using piece_handler = std::function<bool(const scanned_target& target, const unsigned char* bytes, uint32_t length)>;

// What a scan says as it goes; each may be left empty.
struct scan_handlers {
    std::function<void(const scan_finding&)> on_finding;   // every warning, and the package's fault that ends the scan
    std::function<void(const scanned_target&)> on_target;  // each target once: complete, or as far as it got
    piece_handler on_piece;
};

struct scan_result {
    uint64_t targets = 0;       // targets begun
    uint64_t bytes = 0;         // bytes their pieces hold
    uint64_t records = 0;       // records loaded
    uint64_t package_size = 0;
    bool would_apply = false;   // the updater would install every target and delete the package
    int integrity_version = 0;  // 1, 2 or 3 when its records carry the integrity fields, else 0
    bool marker_damaged = false;  // ... 0 because the first record's marker is damaged
    bool refused = false;       // the updater would refuse it: `refusal` says why
    bool name_clash = false;    // ... because of what Windows makes of a name (a folder, or the same file as
                                // another name): the POSIX port, whose file names differ, may still install it
    scan_finding refusal;
};

// `unreadable`: the system failed to read the package or to hold one of its
// records or its names; `refusal` says which, and the package itself may be sound.
enum class scan_outcome { scanned, not_opened, unreadable, stopped };

// Scans the package at `path`, a path as given on the command line (UTF-8 on
// POSIX, any bytes the system takes). When it cannot be opened, `why` says why.
scan_outcome scan_package(const std::string& path, const scan_handlers& handlers, scan_result& result,
                          std::string& why);

// Scans the package open at `package` from its position (its first byte),
// noting each record's checksum in `checks.note`, or refusing a record that
// differs from what `checks.expect` noted (package_walk.h): a package read
// twice through one open file is then read the second time as the first.
scan_outcome scan_open_package(int package, const scan_handlers& handlers, scan_result& result,
                               const walk_options& checks);

// The UTF-8 text with its control characters (C0, DEL, C1) written as \xNN:
// a name from a package must not reach a terminal as commands.
std::string printable_text(const std::string& utf8);

// The same in double quotes, for messages; a name longer than 256
// characters is shown by its start, followed by "...".
std::string quoted_name(const std::string& name);
