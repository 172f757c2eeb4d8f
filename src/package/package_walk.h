// One pass over the records of a package, saying what each one means: where
// a target begins and ends, its pieces in record order, and how the package
// ends. The updater installs from it; the package tool lists, verifies and
// extracts from it, so that both always read a package the same way.
#pragma once

#include "package/heap_string.h"
#include "package/reader.h"
#include "package/record_header.h"
#include "package/target_names.h"
#include "package/target_roots.h"

#include <cstdint>

// A package whose first record carries this in opaque_2 is protected: every
// record carries it, with the CRC-32C of its piece in opaque_1 and its index
// (from 0) in opaque_3, except the first, whose opaque_3 holds the length of
// the whole package modulo 2^32. The bytes "ULV1" read as a little-endian
// number: version 1 of these fields, a value no packer writes by chance.
constexpr uint32_t integrity_marker = 0x31564C55;

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
    wrong_length,         // protected: the package is not as long as its first record says (`package_length`)
    no_marker,            // protected: a later record does not carry the marker
    wrong_index,          // protected: a record does not carry its own index
    wrong_checksum,       // protected: a piece does not match its CRC-32C (`checksum`)
    inexact_record,       // protected: padding after the piece, or fields that disagree with the target's
                          // earlier records (`inexact` says which)
    stray_bytes,          // protected: bytes after the last target that are no record
};

// What a record of a protected package got wrong besides its checksum. Such a
// package is packed without padding, its pieces one after another, each
// further record naming the same target of the same size, the last one
// ending exactly at that size: a damaged header then shows.
enum class inexact { none, padded, renamed, resized, misplaced, overshoots };

// Which event the next call starts from; only next_walk_event uses it.
enum class walk_step { load, piece, after_piece, finished };

struct package_walk {
    package_walk(int package, const target_roots* roots) : package(package), roots(roots) {}

    int package;                 // a handle at the package's first byte
    const target_roots* roots;   // null: names are checked, not mapped
    T_deserialization reader;
    record_header header;        // of the current record
    heap_string target_path;     // at target_begins, when roots were given: the target's path
    uint32_t records = 0;        // records loaded so far
    uint64_t record_offset = 0;  // byte offset of the current record, or of the bytes that were not one
    bool target_open = false;
    bool protected_package = false;  // known once the first record is read
    uint64_t package_length = 0;     // of a protected package, as found on the disk
    uint32_t checksum = 0;           // of the current piece, when a protected package's does not match
    inexact inexact_field = inexact::none;
    heap_string target_name;         // of a protected package's current target, as its first record gave it
    uint32_t target_size = 0;
    uint64_t target_written = 0;     // bytes of its pieces so far
    load_status last_load = load_status::loaded;
    walk_fault fault = walk_fault::none;
    const char* unread_field = nullptr;
    name_fault refused = name_fault::none;
    walk_event last_event = walk_event::package_malformed;
    walk_step step = walk_step::load;
};

// The next event. After one of the last three, every further call gives it again.
walk_event next_walk_event(package_walk& walk);

// The bytes of the current piece, valid until the next call of next_walk_event.
const unsigned char* piece_bytes(const package_walk& walk);
