// Reads an update package one record at a time.
//
// A package is a plain sequence of records. Each starts with its own length
// (a varint of at most 4 bytes, counted in that length), followed by three
// opaque varints, the target's name and its NUL, the target's size, the
// piece's offset and length (varints), the piece's bytes, and padding.
#pragma once

#include "package/heap_string.h"

#include <cstdint>

// Smallest and largest record: the reader always takes 4 bytes ahead, and
// 4 varint bytes hold at most 2^28 - 1.
constexpr uint32_t smallest_record_length = 4;
constexpr uint32_t largest_record_length = 268435455;

// Records longer than this are checked against what the file has left before
// their buffer is allocated.
constexpr uint32_t unchecked_record_bytes = 64 * 1024;

class T_deserialization {
public:
    // The current record's bytes, owned; null before the first record. Valid
    // until the next load_record or the reader's end.
    unsigned char* data = nullptr;
    // The current record's length: the number of bytes in `data`.
    uint32_t size = 0;
    // Read position inside `data`, between 0 and `size`.
    uint32_t pos = 0;

    T_deserialization() = default;
    ~T_deserialization();
    T_deserialization(const T_deserialization&) = delete;
    T_deserialization& operator=(const T_deserialization&) = delete;

    // Reads the next record from `package`, a file handle at a record
    // boundary, with two reads into one buffer of exactly the record's length.
    // True when a whole record is now in `data`, with `pos` at 0. False at the
    // end of the file and for every malformed or cut record alike, and when
    // the record claims more bytes than the file has left or cannot be
    // allocated; after a false, only destruction may follow.
    bool load_record(int package);

    // Decodes the varint at `pos` and moves past it. False when the record
    // ends inside it or its value does not fit in 32 bits.
    bool next_varint(uint32_t& value);

    // Copies the NUL-terminated string at `pos` into a new heap string, which
    // the caller owns, and moves past its NUL. False when no NUL comes before
    // the record's end, or the copy cannot be allocated.
    bool next_string(heap_string& text);

private:
    void release();
};
