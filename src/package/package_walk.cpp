#include "package/package_walk.h"

#include "package/crc32c.h"
#include "platform/platform.h"

package_walk::package_walk(int package, const walk_options& options) : package(package), options(options) {}

walk_event package_walk::next() {
    switch (next_step) {
        case step::load:
            last = load_next_record();
            break;
        case step::piece:
            next_step = step::after_piece;
            last = walk_event::piece;
            break;
        case step::after_piece:
            next_step = step::load;
            if (completes_target(current)) {
                target_open = false;
                last = walk_event::target_completes;
            } else {
                last = load_next_record();
            }
            break;
        case step::finished:
            break;
    }
    return last;
}

walk_event package_walk::stop(const walk_failure& failure) {
    why = failure;
    next_step = step::finished;
    return walk_event::stopped;
}

walk_event package_walk::broken(integrity_fault fault) {
    // Only the first record's name, kept to compare the others with, takes memory.
    if (fault == integrity_fault::out_of_memory) return stop(walk_failure::of_memory(memory_need::name));
    return stop(walk_failure::of_integrity(fault));
}

// Only the end of a whole target ends a package; whatever follows it is
// ignored, as stored packages expect, unless the package is protected. A
// failure of the system is never an end.
walk_event package_walk::end_of_records() {
    if (found == load_status::read_error) return stop(walk_failure::of_system(last_system_error()));
    if (found == load_status::out_of_memory) return stop(walk_failure::of_memory(memory_need::record));
    if (loaded == 0) return stop(walk_failure::of_load(walk_fault::no_record, found));
    if (target_open) return stop(walk_failure::of_load(walk_fault::ends_inside_target, found));
    // Records that an earlier reading found are gone: the package was cut meanwhile.
    if (options.expect != nullptr && !read_as_far(*options.expect, loaded)) return stop(walk_failure(walk_fault::changed));
    const integrity_fault fault = checks.check_end(offset, found);
    if (fault != integrity_fault::none) return broken(fault);
    next_step = step::finished;
    return walk_event::package_ended;
}

walk_event package_walk::load_next_record() {
    if (loaded > 0) offset += reader.size;
    if (!reader.load_record(package, &found, options.tee)) return end_of_records();
    ++loaded;
    current = record_header{};
    header_problem problem;
    if (!read_record_header(reader, current, &problem)) {
        if (problem.out_of_memory) return stop(walk_failure::of_memory(memory_need::name));
        return stop(walk_failure::of_header(problem.field));
    }
    if (!payload_within_record(reader, current)) return stop(walk_failure(walk_fault::payload_past_record));
    return check_record();
}

walk_event package_walk::check_record() {
    // The length a protected package declares is checked on its first
    // record, before any target is created: a download cut short is refused whole.
    if (loaded == 1) {
        const int64_t left = bytes_left(package);
        if (left < 0) return stop(walk_failure::of_system(last_system_error()));
        const integrity_fault fault = checks.check_first(reader, current, reader.size + static_cast<uint64_t>(left));
        if (fault != integrity_fault::none) return broken(fault);
    }
    const integrity_fault fault = checks.check_record(reader, current, target_open, loaded - 1);
    if (fault != integrity_fault::none) return broken(fault);
    const walk_event compared = compare_with_first_reading();
    if (compared != walk_event::piece) return compared;
    // The further records of a target name it again; their names are not used.
    if (!target_open) return begin_target();
    next_step = step::after_piece;
    return walk_event::piece;
}

walk_event package_walk::begin_target() {
    // A protected package proves of each name, too, that it can be a file.
    const char* name = current.entry_name.get();
    const name_fault refused = checks.version() != 0 ? check_file_name(name) : check_target_name(name);
    if (refused != name_fault::none) return stop(walk_failure::of_name(refused));
    if (options.roots != nullptr) {
        target_path = map_name(*options.roots, name);
        // The name passed the rule: only memory can be missing.
        if (!target_path) return stop(walk_failure::of_memory(memory_need::target_path));
    }
    target_open = true;
    next_step = step::piece;
    return walk_event::target_begins;
}

// Notes or compares the record's checksum before anything is made of it.
// Gives `piece` when the walk goes on. Unless keyed, a protected record's own
// checksum, checked already, covers it; another is summed whole, only when
// needed.
walk_event package_walk::compare_with_first_reading() {
    const uint64_t index = loaded - 1;
    const bool compared = options.expect != nullptr &&
                          (index < options.expect->of_record.size() || options.expect->whole);
    if (options.note == nullptr && !compared) return walk_event::piece;
    const record_checksums& sums = options.note != nullptr ? *options.note : *options.expect;
    const uint32_t checksum = sums.keyed               ? keyed_checksum(sums, reader.data, reader.size)
                            : checks.version() >= 2    ? current.opaque_1
                                                       : crc32c(reader.data, reader.size);
    if (options.note != nullptr && !note_checksum(*options.note, checksum)) {
        return stop(walk_failure::of_memory(memory_need::checksums));
    }
    if (compared && !matches_first_reading(*options.expect, index, checksum)) return stop(walk_failure(walk_fault::changed));
    return walk_event::piece;
}
