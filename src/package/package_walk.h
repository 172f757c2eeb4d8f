// One pass over the records of a package, saying what each one means: where
// a target begins and ends, its pieces in record order, and how the package
// ends. The updater installs from it; the package tool lists, verifies and
// extracts from it, so that both always read a package the same way.
#pragma once

#include "package/heap_string.h"
#include "package/integrity.h"
#include "package/reader.h"
#include "package/record_header.h"
#include "package/target_names.h"
#include "package/target_roots.h"

#include <cstdint>

enum class walk_event {
    target_begins,      // a target's first record; its name passed the name rule
    piece,              // the current record's piece: piece_bytes(), header.piece_length bytes
    target_completes,   // the current record completed its target
    package_ended,      // no whole record follows a completed target: the package is complete
    package_malformed,  // `fault` says why
    read_failed,        // the system failed to read the package or to hold a record (`last_load` says
                        // which), or memory for a name or a path ran out (`last_load` is `loaded`)
};

enum class walk_fault {
    none,
    no_record,            // not one whole record (`last_load` says what was found)
    ends_inside_target,   // no whole record while a target is incomplete (`last_load`)
    unreadable_header,    // `unread_field` names the field
    payload_past_record,  // the piece reaches past the record's end
    refused_name,         // `refused` says why
    broken_integrity,     // a protected package's integrity fields show damage: `broken` says which
};

// Which event the next call starts from; only next_walk_event uses it.
enum class walk_step { load, piece, after_piece, finished };

struct package_walk {
    package_walk(int package, const target_roots* roots) : package(package), roots(roots) {}

    int package;                 // a handle at the package's first byte
    const target_roots* roots;   // null: names are checked, not mapped
    sha256_state* digest = nullptr;  // when set, receives every byte read from the package
    T_deserialization reader;
    record_header header;        // of the current record
    heap_string target_path;     // at target_begins, when roots were given: the target's path
    uint32_t records = 0;        // records loaded so far
    uint64_t record_offset = 0;  // byte offset of the current record, or of the bytes that were not one
    bool target_open = false;
    integrity_check integrity;   // known to be protected, or not, once the first record is read
    load_status last_load = load_status::loaded;
    walk_fault fault = walk_fault::none;
    const char* unread_field = nullptr;
    name_fault refused = name_fault::none;
    integrity_fault broken = integrity_fault::none;
    walk_event last_event = walk_event::package_malformed;
    walk_step step = walk_step::load;
};

// The next event. After one of the last three, every further call gives it again.
walk_event next_walk_event(package_walk& walk);

// The bytes of the current piece, valid until the next call of next_walk_event.
const unsigned char* piece_bytes(const package_walk& walk);
