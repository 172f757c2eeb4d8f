#include "support/package_bytes.h"

#include "record_encoder.h"

#include <stdexcept>

std::string piece(const std::string& name, uint32_t file_size, uint32_t offset, const std::string& payload) {
    record_fields fields;
    fields.entry_name = name;
    fields.file_size = file_size;
    fields.piece_offset = offset;
    fields.payload = payload;
    std::string out;
    if (!encode_record(fields, out)) throw std::logic_error("record too large for a test");
    return out;
}

std::string every_byte_value(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

std::string whole(const std::string& name, const std::string& content) {
    return piece(name, static_cast<uint32_t>(content.size()), 0, content);
}
