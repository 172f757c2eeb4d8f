#include "support/package_bytes.h"

#include "package/record_encoder.h"

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

namespace {

constexpr uint32_t markers[] = {integrity_marker_v1, integrity_marker_v2, integrity_marker_v3};

// One sealed record: its integrity fields (`declared`, the package's length,
// for the first), its checksum over what it covers, continuing `chain` in
// version 3 and becoming it, its padding inside it.
std::string sealed(const protected_piece& p, int version, size_t index, uint64_t declared, uint32_t& chain) {
    record_fields fields;
    fields.entry_name = p.name;
    fields.file_size = p.file_size;
    fields.piece_offset = p.offset;
    fields.opaque_1_in_5_bytes = true;
    fields.opaque_2 = p.marker != 0 ? p.marker : markers[version - 1];
    fields.opaque_3 = static_cast<uint32_t>(index == 0 ? declared : p.index >= 0 ? p.index : index);
    fields.opaque_3_in_5_bytes = index == 0;
    const std::string piece = p.payload + p.padding;
    const auto* bytes = reinterpret_cast<const unsigned char*>(piece.data());
    if (version == 1) fields.opaque_1 = crc32c(bytes, p.payload.size());
    std::string header;
    if (!append_record_header(fields, static_cast<uint32_t>(piece.size()), header) || piece.size() >= 128) {
        throw std::logic_error("record too large for a test");
    }
    header.back() = static_cast<char>(p.payload.size());  // piece_length, one byte: the padding is no piece
    if (version >= 2) chain = seal_record(header, bytes, static_cast<uint32_t>(piece.size()), version == 3 ? chain : 0);
    return header + piece;
}

}  // namespace

std::string protected_records(const std::vector<protected_piece>& pieces, int version, const std::string& tail) {
    uint64_t length = tail.size();
    uint32_t chain = 0;
    for (size_t index = 0; index < pieces.size(); ++index) length += sealed(pieces[index], version, index, 0, chain).size();
    std::string package;
    chain = 0;
    for (size_t index = 0; index < pieces.size(); ++index) package += sealed(pieces[index], version, index, length, chain);
    return package + tail;
}

std::string protected_package(const std::vector<std::pair<std::string, std::string>>& targets, int version) {
    std::vector<protected_piece> pieces;
    for (const auto& [name, content] : targets) {
        pieces.push_back({name, static_cast<uint32_t>(content.size()), 0, content, "", -1, 0});
    }
    return protected_records(pieces, version);
}

std::string whole(const std::string& name, const std::string& content) {
    return piece(name, static_cast<uint32_t>(content.size()), 0, content);
}
