#include "package/record_header.h"

#include "platform/text_codec.h"

#include <cstring>
#include <new>

namespace {

// The name as the package stores it, in code page 1252, and then in the
// program's own UTF-8: converted here, where it enters.
bool next_name(T_deserialization& reader, heap_string& name, bool& out_of_memory) {
    heap_string stored;
    if (!reader.next_string(stored, &out_of_memory)) return false;
    const std::string_view text(stored.get());
    heap_string utf8(new (std::nothrow) char[utf8_size_from_1252(text) + 1]);
    out_of_memory = !utf8;
    if (!utf8) return false;
    *write_utf8_from_1252(text, utf8.get()) = '\0';
    name = std::move(utf8);
    return true;
}

}  // namespace

bool read_record_header(T_deserialization& reader, record_header& header, header_problem* problem) {
    reader.pos = 0;
    bool out_of_memory = false;
    // In stored order; the first field that fails ends the reading.
    const char* failed = !reader.next_varint(header.record_length)       ? "record_length"
                       : !reader.next_varint(header.opaque_1)            ? "opaque_1"
                       : !reader.next_varint(header.opaque_2)            ? "opaque_2"
                       : !reader.next_varint(header.opaque_3)            ? "opaque_3"
                       : !next_name(reader, header.entry_name, out_of_memory) ? "entry_name"
                       : !reader.next_varint(header.file_size)           ? "file_size"
                       : !reader.next_varint(header.piece_offset)        ? "piece_offset"
                       : !reader.next_varint(header.piece_length)        ? "piece_length"
                       : nullptr;
    if (problem != nullptr) *problem = header_problem{failed, out_of_memory};
    return failed == nullptr;
}

bool payload_within_record(const T_deserialization& reader, const record_header& header) {
    return header.piece_length <= reader.size - reader.pos;
}

bool completes_target(const record_header& header) {
    return static_cast<uint32_t>(header.piece_offset + header.piece_length) >= header.file_size;
}
