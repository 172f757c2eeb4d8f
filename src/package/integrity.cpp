#include "package/integrity.h"

#include "package/crc32c.h"
#include "package/varint.h"

#include <cstring>
#include <new>

namespace {

// The markers of versions 1, 2 and 3, in that order.
constexpr uint32_t markers[] = {integrity_marker_v1, integrity_marker_v2, integrity_marker_v3};

int version_of(uint32_t marker) {
    for (int version = 1; version <= 3; ++version) {
        if (marker == markers[version - 1]) return version;
    }
    return 0;
}

// A marker with a bit or three flipped: the package was protected, and its
// first record is damaged where no checksum can see it. No packer writes such
// a value in a classic package, whose opaque fields are 0.
bool near_a_marker(uint32_t value) {
    for (const uint32_t marker : markers) {
        unsigned differing = 0;
        for (uint32_t bits = value ^ marker; bits != 0; bits &= bits - 1) ++differing;
        if (differing <= 3) return true;
    }
    return false;
}

// True when opaque_1 and opaque_3 both take 5 bytes, as versions 2 and 3 write
// them (opaque_1 whatever its value, the first record's opaque_3, the
// package's length, likewise), so that a record's length is known before
// them; classic packers write 0 in one byte.
bool written_as_protected(const T_deserialization& record) {
    uint32_t at = 0;
    uint32_t value;
    uint32_t widths[4];
    for (uint32_t& width : widths) {
        const uint32_t start = at;
        if (!decode_varint_at(record.data, record.size, at, value)) return false;
        width = at - start;
    }
    return widths[1] == 5 && widths[3] == 5;
}

}  // namespace

uint32_t record_checksum(int version, const T_deserialization& record, const record_header& header,
                         uint32_t previous) {
    if (version == 1) return crc32c(record.data + record.pos, header.piece_length);
    // Past the record's length and opaque_1, which read well before: everything else.
    uint32_t at = 0;
    uint32_t skipped;
    decode_varint_at(record.data, record.size, at, skipped);
    decode_varint_at(record.data, record.size, at, skipped);
    return crc32c(record.data + at, record.size - at, version == 3 ? previous : 0);
}

integrity_fault integrity_check::check_first(const T_deserialization& record, const record_header& header,
                                             uint64_t on_disk) {
    protected_version = version_of(header.opaque_2);
    if (protected_version == 0) {
        const bool damaged = near_a_marker(header.opaque_2) || written_as_protected(record);
        return damaged ? integrity_fault::damaged_marker : integrity_fault::none;
    }
    marker = header.opaque_2;
    declared = header.opaque_3;
    chain = 0;  // the first record continues from 0
    found = on_disk;
    // Checked before any target is created: a download cut short or extended is refused whole.
    return static_cast<uint32_t>(on_disk) == declared ? integrity_fault::none : integrity_fault::wrong_length;
}

integrity_fault integrity_check::check_record(const T_deserialization& record, const record_header& header,
                                              bool continues, uint64_t index) {
    if (protected_version == 0) return integrity_fault::none;
    if (header.opaque_2 != marker) return integrity_fault::no_marker;
    if (index > 0 && header.opaque_3 != static_cast<uint32_t>(index)) return integrity_fault::wrong_index;
    const integrity_fault fault = header_fault(record, header, continues);
    if (fault != integrity_fault::none) return fault;
    checksum = record_checksum(protected_version, record, header, chain);
    if (checksum != header.opaque_1) return integrity_fault::wrong_checksum;
    chain = checksum;
    return follow_target(header, continues) ? integrity_fault::none : integrity_fault::out_of_memory;
}

integrity_fault integrity_check::check_end(uint64_t consumed, load_status what) {
    if (protected_version == 0) return integrity_fault::none;
    if (what != load_status::nothing_left) return integrity_fault::stray_bytes;
    // The file may have shrunk or grown since its first record was read: only its declared end is an end.
    found = consumed;
    return static_cast<uint32_t>(consumed) == declared ? integrity_fault::none : integrity_fault::wrong_length;
}

integrity_fault integrity_check::header_fault(const T_deserialization& record, const record_header& header,
                                              bool continues) const {
    const uint64_t end = static_cast<uint64_t>(header.piece_offset) + header.piece_length;
    if (record.pos + static_cast<uint64_t>(header.piece_length) != record.size) return integrity_fault::padded;
    if (continues && std::strcmp(header.entry_name.get(), target_name.get()) != 0) return integrity_fault::renamed;
    if (continues && header.file_size != target_size) return integrity_fault::resized;
    if (header.piece_offset != (continues ? target_written : 0)) return integrity_fault::misplaced;
    if (completes_target(header) ? end != header.file_size : end >= header.file_size) return integrity_fault::overshoots;
    return integrity_fault::none;
}

// Remembers what the next records of the target must agree with. False when
// memory for the name runs out.
bool integrity_check::follow_target(const record_header& header, bool continues) {
    target_written = static_cast<uint64_t>(header.piece_offset) + header.piece_length;
    if (continues) return true;
    target_size = header.file_size;
    const size_t length = std::strlen(header.entry_name.get());
    target_name.reset(new (std::nothrow) char[length + 1]);
    if (target_name) std::memcpy(target_name.get(), header.entry_name.get(), length + 1);
    return target_name != nullptr;
}
