// What a first reading of a package found in each of its records, so that a
// second reading can tell a record that changed in between: four bytes a
// record, a CRC-32C of all of it, or for a protected package (version 2 or
// later) the checksum the record carries, which covers all of it and which
// the first reading checked. A signed update instead keys each record's
// checksum with a secret drawn for the run: where a writer could get past the
// lock (a program on the file server itself), it could match a CRC by
// choosing four bytes, but never a keyed one it cannot compute.
#pragma once

#include "package/siphash.h"

#include <cstdint>
#include <vector>

struct record_checksums {
    std::vector<uint32_t> of_record;  // by index, from the first record
    bool whole = false;               // every record was read: none may follow the last
    bool keyed = false;               // each checksum is keyed with `key`
    unsigned char key[siphash_key_size] = {};
};

// The keyed checksum of a record's `size` bytes.
uint32_t keyed_checksum(const record_checksums& checksums, const unsigned char* record, uint32_t size);

// Notes the checksum of the next record. False when memory runs out.
bool note_checksum(record_checksums& checksums, uint32_t checksum);

// True when record `index` may be what a second reading found with
// `checksum`: what the first reading noted for it, or, past what it read of
// a package it did not read whole, anything.
bool matches_first_reading(const record_checksums& checksums, uint64_t index, uint32_t checksum);

// True when a second reading that ended after `records` records read all
// that the first one did.
bool read_as_far(const record_checksums& checksums, uint64_t records);
