#include "package/record_encoder.h"

#include "package/crc32c.h"
#include "package/reader.h"

std::string encode_varint(uint32_t value) {
    std::string bytes;
    while (value >= 0x80) {
        bytes += static_cast<char>(0x80 | (value & 0x7F));
        value >>= 7;
    }
    bytes += static_cast<char>(value);
    return bytes;
}

std::string encode_varint_5(uint32_t value) {
    std::string bytes;
    for (int group = 0; group < 4; ++group) {
        bytes += static_cast<char>(0x80 | (value & 0x7F));
        value >>= 7;
    }
    bytes += static_cast<char>(value);
    return bytes;
}

bool append_record_header(const record_fields& fields, uint32_t piece_length, std::string& out) {
    std::string rest = (fields.opaque_1_in_5_bytes ? encode_varint_5(fields.opaque_1) : encode_varint(fields.opaque_1)) +
                       encode_varint(fields.opaque_2) +
                       (fields.opaque_3_in_5_bytes ? encode_varint_5(fields.opaque_3) : encode_varint(fields.opaque_3));
    rest += fields.entry_name;
    rest += '\0';
    rest += encode_varint(fields.file_size) + encode_varint(fields.piece_offset) + encode_varint(piece_length);

    // The length counts its own bytes: take the first count of length bytes
    // that encodes a total of exactly that many more.
    const uint64_t body = rest.size() + static_cast<uint64_t>(piece_length);
    if (body >= largest_record_length) return false;
    for (uint64_t length_bytes = 1; length_bytes <= 4; ++length_bytes) {
        const std::string length = encode_varint(static_cast<uint32_t>(body + length_bytes));
        if (length.size() == length_bytes) {
            out += length;
            out += rest;
            return true;
        }
    }
    return false;
}

uint32_t seal_record(std::string& header, const unsigned char* piece, uint32_t length, uint32_t previous) {
    size_t opaque_1 = 0;
    while (static_cast<unsigned char>(header[opaque_1]) >= 0x80) ++opaque_1;  // past the record's length
    ++opaque_1;
    const size_t covered = opaque_1 + 5;
    const auto* rest = reinterpret_cast<const unsigned char*>(header.data()) + covered;
    const uint32_t checksum = crc32c(piece, length, crc32c(rest, header.size() - covered, previous));
    header.replace(opaque_1, 5, encode_varint_5(checksum));
    return checksum;
}

bool encode_record(const record_fields& fields, std::string& out) {
    if (fields.payload.size() > largest_record_length) return false;
    if (!append_record_header(fields, static_cast<uint32_t>(fields.payload.size()), out)) return false;
    out += fields.payload;
    return true;
}
