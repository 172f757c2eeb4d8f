#include "support/package_bytes.h"

#include "record_encoder.h"

#include "package/crc32c.h"
#include "package/integrity.h"

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

std::string protected_package(const std::vector<std::pair<std::string, std::string>>& targets, int version) {
    std::vector<std::string> headers;
    uint64_t length = 0;
    for (int pass = 0; pass < 2; ++pass) {  // the first pass finds the length that the first record declares
        headers.clear();
        for (size_t index = 0; index < targets.size(); ++index) {
            const auto& [name, content] = targets[index];
            record_fields fields;
            fields.entry_name = name;
            fields.file_size = static_cast<uint32_t>(content.size());
            fields.opaque_1_in_5_bytes = true;
            fields.opaque_2 = version == 2 ? integrity_marker_v2 : integrity_marker_v1;
            if (version == 1) fields.opaque_1 = crc32c(reinterpret_cast<const unsigned char*>(content.data()), content.size());
            fields.opaque_3 = static_cast<uint32_t>(index == 0 ? length : index);
            fields.opaque_3_in_5_bytes = index == 0;
            std::string header;
            append_record_header(fields, fields.file_size, header);
            if (version == 2) seal_record(header, reinterpret_cast<const unsigned char*>(content.data()), fields.file_size);
            headers.push_back(header);
        }
        length = 0;
        for (size_t index = 0; index < targets.size(); ++index) length += headers[index].size() + targets[index].second.size();
    }
    std::string package;
    for (size_t index = 0; index < targets.size(); ++index) package += headers[index] + targets[index].second;
    return package;
}

std::string whole(const std::string& name, const std::string& content) {
    return piece(name, static_cast<uint32_t>(content.size()), 0, content);
}
