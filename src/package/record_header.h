// The header fields of a package record, in the order they are stored.
#pragma once

#include "package/heap_string.h"
#include "package/reader.h"

#include <cstdint>

struct record_header {
    uint32_t record_length = 0;
    uint32_t opaque_1 = 0;  // stored by the packer, not used by the updater
    uint32_t opaque_2 = 0;
    uint32_t opaque_3 = 0;
    heap_string entry_name;  // root prefix and path below it, in UTF-8 (stored in code page 1252)
    uint32_t file_size = 0;     // size of the whole target
    uint32_t piece_offset = 0;  // serves only to tell when the target is complete
    uint32_t piece_length = 0;  // payload bytes, stored right after this field
};

// Reads the header of the record loaded in `reader`, from its first byte,
// leaving `pos` on the payload. False when a field cannot be read; then
// `unread_field`, when given, names the first field that could not.
bool read_record_header(T_deserialization& reader, record_header& header, const char** unread_field = nullptr);

// True when the payload lies wholly inside the record (after read_record_header).
bool payload_within_record(const T_deserialization& reader, const record_header& header);

// True when this record is the last of its target: its piece reaches the
// target's size (in unsigned 32-bit arithmetic, as stored packages expect).
bool completes_target(const record_header& header);
