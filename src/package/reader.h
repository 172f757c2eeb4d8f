// Reads an update package one record at a time.
//
// A package is a plain sequence of records. Each starts with its own length
// (a varint of at most 4 bytes, counted in that length), followed by three
// opaque varints, the target's name and its NUL, the target's size, the
// piece's offset and length (varints), the piece's bytes, and padding.
#pragma once

#include "package/heap_string.h"
#include "platform/platform.h"

#include <cstdint>

// Smallest and largest record: the reader always takes 4 bytes ahead, and
// 4 varint bytes hold at most 2^28 - 1.
constexpr uint32_t smallest_record_length = 4;
constexpr uint32_t largest_record_length = 268435455;

// Records longer than this are checked against what the file has left before
// their buffer is allocated.
constexpr uint32_t unchecked_record_bytes = 64 * 1024;

// What came of loading a record. Between `nothing_left` and `cut_short`, the
// package's bytes hold no whole record there: after a completed target they
// are stray bytes, and the package has ended. The last two are failures of
// the system, which say nothing about the package.
enum class load_status {
    loaded,
    nothing_left,    // the package ends there
    short_tail,      // 1 to 3 bytes: too few for a record
    unended_length,  // the length does not end within the first 4 bytes
    length_below_4,
    cut_short,       // the record claims more bytes than the package holds
    read_error,      // the system reported an error reading the package
    out_of_memory,   // the record's buffer could not be allocated
};

// Where the bytes a reader takes from a package go besides its records: a
// digest and a copy (a file handle), each when given. A package's signature
// is checked in the same reading as its records, over the very bytes that
// are then installed from the copy.
struct byte_tee {
    sha256_state* digest = nullptr;
    int copy = -1;
    bool digest_failed = false;  // the system failed to digest bytes
    bool copy_failed = false;    // ... or to write them to the copy
};

// Gives `count` bytes to the tee. False when the digest or the copy fails,
// which the tee then notes.
bool tee_bytes(byte_tee* tee, const void* bytes, uint32_t count);

// True for the failures that come from the system, not from the package.
constexpr bool is_system_failure(load_status status) {
    return status == load_status::read_error || status == load_status::out_of_memory;
}

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
    // True when a whole record is now in `data`, with `pos` at 0. False
    // otherwise, and then `why`, when given, says what was found instead; a
    // record that claims more bytes than the file has left is refused before
    // anything is allocated. After a false, only destruction may follow.
    // Every byte read from the package, whole record or not, goes to `tee`
    // when one is given.
    bool load_record(int package, load_status* why = nullptr, byte_tee* tee = nullptr);

    // Decodes the varint at `pos` and moves past it, keeping its low 32 bits.
    // False when the record ends inside it.
    bool next_varint(uint32_t& value);

    // Copies the NUL-terminated string at `pos` into a new heap string, which
    // the caller owns, and moves past its NUL. False when no NUL comes before
    // the record's end, or the copy cannot be allocated: then
    // `out_of_memory`, when given, says which.
    bool next_string(heap_string& text, bool* out_of_memory = nullptr);

private:
    load_status load(int package, byte_tee* tee);
    void release();
};
