// The header fields of a package record, in the order they are stored.
#pragma once

#include "package/heap_string.h"
#include "package/reader.h"

#include <cstdint>

struct record_header {
    uint32_t record_length = 0;
    uint32_t opaque_1 = 0;  // 0 in classic packages; a checksum in protected ones (integrity.h)
    uint32_t opaque_2 = 0;  // ... the integrity marker
    uint32_t opaque_3 = 0;  // ... the package's length, or the record's index
    heap_string entry_name;  // root prefix and path below it, in UTF-8 (stored in code page 1252)
    uint32_t file_size = 0;     // size of the whole target
    uint32_t piece_offset = 0;  // tells when the target is complete (and where, in a protected package)
    uint32_t piece_length = 0;  // payload bytes, stored right after this field
};

// Why a header could not be read: the first field that could not, and
// whether memory ran out for it rather than the record ending inside it.
struct header_problem {
    const char* field = nullptr;
    bool out_of_memory = false;
};

// Reads the header of the record loaded in `reader`, from its first byte,
// leaving `pos` on the payload. False when a field cannot be read; then
// `problem`, when given, says which and why.
bool read_record_header(T_deserialization& reader, record_header& header, header_problem* problem = nullptr);

// True when the payload lies wholly inside the record (after read_record_header).
bool payload_within_record(const T_deserialization& reader, const record_header& header);

// True when this record is the last of its target: its piece reaches the
// target's size (in unsigned 32-bit arithmetic, as stored packages expect).
bool completes_target(const record_header& header);
