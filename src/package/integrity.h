// The integrity fields of protected packages, and the checks they allow.
//
// A package whose first record carries an integrity marker in opaque_2 is
// protected: every record carries the same marker, the first record's
// opaque_3 holds the length of the whole package (modulo 2^32) and every
// later record's opaque_3 its own index, counted from 0. opaque_1 holds a
// CRC-32C: in version 1 of the piece only, in version 2 of every byte of the
// record after opaque_1 itself (marker, index or length, name, sizes, offset,
// piece length, piece), so that a damaged name shows too. Version 3 covers
// the same bytes, but continues the CRC-32C from the opaque_1 of the record
// before (from 0 in the first record): each checksum then depends on every
// record before it, and a download resumed after the server replaced the
// file, records of one release followed by those of another of the same
// layout and length, shows where they meet. Older updaters read these
// fields and ignore them: a protected package installs everywhere.
//
// A protected package is packed exactly: no padding after a piece, the
// records of a target naming it alike with the same size, their pieces one
// after another, the last one ending exactly at that size, and nothing after
// the last target. A damaged header then shows even where a checksum cannot.
#pragma once

#include "package/heap_string.h"
#include "package/reader.h"
#include "package/record_header.h"

#include <cstdint>

// The markers: the bytes "ULV1", "ULV2" and "ULV3" read as a little-endian
// number, values that no packer writes by chance.
constexpr uint32_t integrity_marker_v1 = 0x31564C55;
constexpr uint32_t integrity_marker_v2 = 0x32564C55;
constexpr uint32_t integrity_marker_v3 = 0x33564C55;

enum class integrity_fault {
    none,
    wrong_length,    // the package is not as long as its first record says
    damaged_marker,  // the first record has no marker, but is written as a protected one
    no_marker,       // a later record does not carry the first record's marker
    wrong_index,     // a record does not carry its own index
    padded,          // bytes follow the piece inside the record
    renamed,         // a record continues its target under another name
    resized,         // ... with another size
    misplaced,       // a piece does not start where the target's earlier pieces end
    overshoots,      // a piece does not end where the target's size says
    wrong_checksum,  // opaque_1 does not match what it covers
    stray_bytes,     // bytes after the last target that are no record
    out_of_memory,   // the first record's name could not be kept to compare the others with
};

// The checks of one pass over a package, record after record. Each call
// returns the first fault it finds, or none; after a fault, nothing more is
// checked. A classic package (no marker in its first record) passes them all.
class integrity_check {
public:
    // The first record, `on_disk` being the length of the package as its file
    // holds it: decides whether the package is protected and checks the
    // length it declares. A first record that carries no marker but looks
    // written as a protected one (a value a few bits away from a marker, or
    // opaque_1 and opaque_3 both in 5 bytes, as protected packages write
    // them and classic ones never do) is a damaged protected package.
    integrity_fault check_first(const T_deserialization& record, const record_header& header, uint64_t on_disk);

    // Every loaded record (the first one too, after check_first), its header
    // read and its payload inside it; `continues` says that it continues a
    // target begun by an earlier record. `index` counts records from 0.
    integrity_fault check_record(const T_deserialization& record, const record_header& header, bool continues,
                                 uint64_t index);

    // Where the package ended at a target boundary: after `consumed` bytes of
    // whole records, with `found` there instead of a record.
    integrity_fault check_end(uint64_t consumed, load_status found);

    // 0 for a classic package (or before its first record), else 1, 2 or 3.
    int version() const { return protected_version; }

    // For messages: the length the first record declares, the length found
    // (on the disk at the first record, or consumed at the end), and the
    // checksum computed for the last record.
    uint32_t declared_length() const { return declared; }
    uint64_t found_length() const { return found; }
    uint32_t found_checksum() const { return checksum; }

private:
    integrity_fault header_fault(const T_deserialization& record, const record_header& header, bool continues) const;
    bool follow_target(const record_header& header, bool continues);

    int protected_version = 0;
    uint32_t marker = 0;
    uint32_t declared = 0;
    uint64_t found = 0;
    uint32_t checksum = 0;
    uint32_t chain = 0;  // version 3: the checksum of the last record checked, which the next one continues
    heap_string target_name;  // of the current target, as its first record gave it
    uint32_t target_size = 0;
    uint64_t target_written = 0;  // bytes of its pieces so far
};

// The CRC-32C that opaque_1 holds in a sound record of a package of this
// version (1, 2 or 3), the record's header read with `pos` on its payload;
// in version 3, continued from `previous`, the checksum that the record
// before carries (0 for the first record). Versions 1 and 2 ignore it.
uint32_t record_checksum(int version, const T_deserialization& record, const record_header& header,
                         uint32_t previous = 0);
