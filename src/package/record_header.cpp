#include "package/record_header.h"

bool read_record_header(T_deserialization& reader, record_header& header) {
    reader.pos = 0;
    return reader.next_varint(header.record_length) && reader.next_varint(header.opaque_1) &&
           reader.next_varint(header.opaque_2) && reader.next_varint(header.opaque_3) &&
           reader.next_string(header.entry_name) && reader.next_varint(header.file_size) &&
           reader.next_varint(header.piece_offset) && reader.next_varint(header.piece_length);
}

bool payload_within_record(const T_deserialization& reader, const record_header& header) {
    return header.piece_length <= reader.size - reader.pos;
}

bool completes_target(const record_header& header) {
    return static_cast<uint32_t>(header.piece_offset + header.piece_length) >= header.file_size;
}
