#include "package/package_walk.h"

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

walk_event broken(package_walk& walk, integrity_fault fault) {
    walk.broken = fault;
    if (fault == integrity_fault::out_of_memory) return finish(walk, walk_event::read_failed);
    return finish(walk, walk_event::package_malformed, walk_fault::broken_integrity);
}

// Only the end of a whole target ends a package; whatever follows it is
// ignored, as stored packages expect, unless the package is protected. A
// failure of the system is never an end.
walk_event end_of_records(package_walk& walk) {
    if (is_system_failure(walk.last_load)) return finish(walk, walk_event::read_failed);
    if (walk.records == 0) return finish(walk, walk_event::package_malformed, walk_fault::no_record);
    if (walk.target_open) return finish(walk, walk_event::package_malformed, walk_fault::ends_inside_target);
    const integrity_fault fault = walk.integrity.check_end(walk.record_offset, walk.last_load);
    if (fault != integrity_fault::none) return broken(walk, fault);
    return finish(walk, walk_event::package_ended);
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
    if (!walk.reader.load_record(walk.package, &walk.last_load, walk.digest)) return end_of_records(walk);
    ++walk.records;
    walk.header = record_header{};
    if (!read_record_header(walk.reader, walk.header, &walk.unread_field)) {
        if (name_not_copied(walk)) return finish(walk, walk_event::read_failed);
        return finish(walk, walk_event::package_malformed, walk_fault::unreadable_header);
    }
    if (!payload_within_record(walk.reader, walk.header)) {
        return finish(walk, walk_event::package_malformed, walk_fault::payload_past_record);
    }
    // The length a protected package declares is checked on its first
    // record, before any target is created: a download cut short is refused whole.
    if (walk.records == 1) {
        const int64_t left = bytes_left(walk.package);
        if (left < 0) return finish(walk, walk_event::read_failed);
        const integrity_fault fault = walk.integrity.check_first(walk.header, walk.reader.size + static_cast<uint64_t>(left));
        if (fault != integrity_fault::none) return broken(walk, fault);
    }
    const integrity_fault fault = walk.integrity.check_record(walk.reader, walk.header, walk.target_open, walk.records - 1);
    if (fault != integrity_fault::none) return broken(walk, fault);
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
