// Encodes package records: the writing side of the package reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The varint bytes of `value`: 7 bits a byte, least significant group first.
std::string encode_varint(uint32_t value);

// The same in exactly 5 bytes, groups of zero bits kept: a field whose value
// is known only once its record's length must be known already.
std::string encode_varint_5(uint32_t value);

struct record_fields {
    uint32_t opaque_1 = 0;
    bool opaque_1_in_5_bytes = false;  // encode_varint_5 rather than encode_varint
    uint32_t opaque_2 = 0;
    uint32_t opaque_3 = 0;
    bool opaque_3_in_5_bytes = false;
    std::string_view entry_name;  // code page 1252, no NUL inside
    uint32_t file_size = 0;
    uint32_t piece_offset = 0;
    std::string_view payload;
};

// Appends the header of a record whose payload, `piece_length` bytes, the
// caller appends right after; `fields.payload` is not used. The record length
// counts its own bytes. Returns false when the record would be longer than a
// record can be.
bool append_record_header(const record_fields& fields, uint32_t piece_length, std::string& out);

// A whole record, header and payload.
bool encode_record(const record_fields& fields, std::string& out);

// Seals a record of a protected package: puts in the header's opaque_1,
// which must be written in 5 bytes, the CRC-32C of everything after it, the
// rest of the header and then the piece of `length` bytes, continued from
// `previous`: in version 3 the checksum that the record before carries (0 for
// the first record), in version 2 always 0. Returns the checksum it put in.
uint32_t seal_record(std::string& header, const unsigned char* piece, uint32_t length, uint32_t previous = 0);
