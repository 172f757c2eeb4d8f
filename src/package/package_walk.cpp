#include "package/package_walk.h"

#include "package/crc32c.h"
#include "platform/platform.h"

#include <cstring>
#include <new>

namespace {

// next_string fails for want of memory too: then the name does end inside the record.
bool name_not_copied(const package_walk& walk) {
    const T_deserialization& reader = walk.reader;
    return std::strcmp(walk.unread_field, "entry_name") == 0 && reader.pos < reader.size &&
           std::memchr(reader.data + reader.pos, '\0', reader.size - reader.pos) != nullptr;
}

walk_event finish(package_walk& walk, walk_event event, walk_fault fault = walk_fault::none) {
    walk.fault = fault;
    walk.step = walk_step::finished;
    return event;
}

// Only the end of a whole target ends a package; whatever follows it is
// ignored, as stored packages expect. A failure of the system is never an end.
walk_event end_of_records(package_walk& walk) {
    if (is_system_failure(walk.last_load)) return finish(walk, walk_event::read_failed);
    if (walk.records == 0) return finish(walk, walk_event::package_malformed, walk_fault::no_record);
    if (walk.target_open) return finish(walk, walk_event::package_malformed, walk_fault::ends_inside_target);
    // A protected package is made without stray bytes: any are a fault.
    if (walk.protected_package && walk.last_load != load_status::nothing_left) {
        return finish(walk, walk_event::package_malformed, walk_fault::stray_bytes);
    }
    return finish(walk, walk_event::package_ended);
}

// What the record gets wrong against the records before it, if anything.
inexact find_inexact_field(const package_walk& walk) {
    const record_header& header = walk.header;
    const uint64_t end = static_cast<uint64_t>(header.piece_offset) + header.piece_length;
    if (walk.reader.pos + static_cast<uint64_t>(header.piece_length) != walk.reader.size) return inexact::padded;
    if (walk.target_open && std::strcmp(header.entry_name.get(), walk.target_name.get()) != 0) return inexact::renamed;
    if (walk.target_open && header.file_size != walk.target_size) return inexact::resized;
    if (header.piece_offset != (walk.target_open ? walk.target_written : 0)) return inexact::misplaced;
    if (completes_target(header) ? end != header.file_size : end >= header.file_size) return inexact::overshoots;
    return inexact::none;
}

// Remembers what the next records of the target must agree with. False when
// memory for the name runs out.
bool follow_target(package_walk& walk) {
    const record_header& header = walk.header;
    walk.target_written = static_cast<uint64_t>(header.piece_offset) + header.piece_length;
    if (walk.target_open) return true;
    walk.target_size = header.file_size;
    const size_t length = std::strlen(header.entry_name.get());
    walk.target_name.reset(new (std::nothrow) char[length + 1]);
    if (walk.target_name) std::memcpy(walk.target_name.get(), header.entry_name.get(), length + 1);
    return walk.target_name != nullptr;
}

// The checks of a protected package, on the record just read: true when it
// passes, else `end` is the event that ends the walk. The length is checked
// on the first record, before any target is created: a download cut short is
// refused whole.
bool integrity_holds(package_walk& walk, walk_event& end) {
    const record_header& header = walk.header;
    if (walk.records == 1) {
        walk.protected_package = header.opaque_2 == integrity_marker;
        if (!walk.protected_package) return true;
        const int64_t left = bytes_left(walk.package);
        if (left < 0) {
            end = finish(walk, walk_event::read_failed);
            return false;
        }
        walk.package_length = walk.reader.size + static_cast<uint64_t>(left);
    }
    if (!walk.protected_package) return true;
    walk_fault fault = walk_fault::none;
    if (walk.records == 1 && static_cast<uint32_t>(walk.package_length) != header.opaque_3) {
        fault = walk_fault::wrong_length;
    } else if (header.opaque_2 != integrity_marker) {
        fault = walk_fault::no_marker;
    } else if (walk.records > 1 && header.opaque_3 != static_cast<uint32_t>(walk.records - 1)) {
        fault = walk_fault::wrong_index;
    } else {
        walk.inexact_field = find_inexact_field(walk);
        walk.checksum = crc32c(piece_bytes(walk), header.piece_length);
        if (walk.inexact_field != inexact::none) {
            fault = walk_fault::inexact_record;
        } else if (walk.checksum != header.opaque_1) {
            fault = walk_fault::wrong_checksum;
        }
    }
    if (fault == walk_fault::none) {
        if (follow_target(walk)) return true;
        end = finish(walk, walk_event::read_failed);
        return false;
    }
    end = finish(walk, walk_event::package_malformed, fault);
    return false;
}

walk_event begin_target(package_walk& walk) {
    walk.refused = check_target_name(walk.header.entry_name.get());
    if (walk.refused != name_fault::none) return finish(walk, walk_event::package_malformed, walk_fault::refused_name);
    if (walk.roots != nullptr) {
        walk.target_path = map_name(*walk.roots, walk.header.entry_name.get());
        // The name passed the rule: only memory can be missing.
        if (!walk.target_path) return finish(walk, walk_event::read_failed);
    }
    walk.target_open = true;
    walk.step = walk_step::piece;
    return walk_event::target_begins;
}

walk_event load_next_record(package_walk& walk) {
    if (walk.records > 0) walk.record_offset += walk.reader.size;
    if (!walk.reader.load_record(walk.package, &walk.last_load)) return end_of_records(walk);
    ++walk.records;
    walk.header = record_header{};
    if (!read_record_header(walk.reader, walk.header, &walk.unread_field)) {
        if (name_not_copied(walk)) return finish(walk, walk_event::read_failed);
        return finish(walk, walk_event::package_malformed, walk_fault::unreadable_header);
    }
    if (!payload_within_record(walk.reader, walk.header)) {
        return finish(walk, walk_event::package_malformed, walk_fault::payload_past_record);
    }
    walk_event end;
    if (!integrity_holds(walk, end)) return end;
    // The further records of a target name it again; their names are not used.
    if (!walk.target_open) return begin_target(walk);
    walk.step = walk_step::after_piece;
    return walk_event::piece;
}

}  // namespace

walk_event next_walk_event(package_walk& walk) {
    switch (walk.step) {
        case walk_step::load:
            walk.last_event = load_next_record(walk);
            break;
        case walk_step::piece:
            walk.step = walk_step::after_piece;
            walk.last_event = walk_event::piece;
            break;
        case walk_step::after_piece:
            walk.step = walk_step::load;
            if (completes_target(walk.header)) {
                walk.target_open = false;
                walk.last_event = walk_event::target_completes;
            } else {
                walk.last_event = load_next_record(walk);
            }
            break;
        case walk_step::finished:
            break;
    }
    return walk.last_event;
}

const unsigned char* piece_bytes(const package_walk& walk) {
    return walk.reader.data + walk.reader.pos;
}
