// One pass over the records of a package, saying what each one means: where
// a target begins and ends, its pieces in record order, and how the package
// ends. The updater installs from it; the package tool lists, verifies and
// extracts from it, so that both always read a package the same way.
#pragma once

#include "package/heap_string.h"
#include "package/integrity.h"
#include "package/reader.h"
#include "package/record_checksums.h"
#include "package/record_header.h"
#include "package/target_names.h"
#include "package/target_roots.h"
#include "package/walk_failure.h"
#include "platform/platform.h"

#include <cstdint>

enum class walk_event {
    target_begins,     // a target's first record; its name passed the name rule
    piece,             // the current record's piece: piece(), header().piece_length bytes
    target_completes,  // the current record completed its target
    package_ended,     // no whole record follows a completed target: the package is complete
    stopped,           // the walk stopped early: failure() says why
};

// What a walk does besides reading, each when given.
struct walk_options {
    const target_roots* roots = nullptr;          // each target's name is mapped to its path (else only checked)
    byte_tee* tee = nullptr;                      // every byte read goes there too
    record_checksums* note = nullptr;             // the checksum of each record read is noted there
    const record_checksums* expect = nullptr;     // each record must be as an earlier reading noted it
};

class package_walk {
public:
    // Walks the package open at `package`, from its first byte.
    package_walk(int package, const walk_options& options);
    package_walk(int package, const target_roots* roots, byte_tee* tee = nullptr)
        : package_walk(package, walk_options{roots, tee, nullptr, nullptr}) {}
    package_walk(const package_walk&) = delete;
    package_walk& operator=(const package_walk&) = delete;

    // The next event. After one of the last three, every further call gives it again.
    walk_event next();

    // The header of the current record, at target_begins, piece and target_completes.
    const record_header& header() const { return current; }

    // The bytes of the current piece, valid until the next call of next().
    const unsigned char* piece() const { return reader.data + reader.pos; }

    // At target_begins, when roots were given: the target's path, which the caller takes.
    heap_string take_target_path() { return std::move(target_path); }

    // Records loaded so far, and the byte offset of the current record (or of
    // the bytes that were no record).
    uint64_t records() const { return loaded; }
    uint64_t record_offset() const { return offset; }

    // What the last load found instead of a record (the package's end, bytes
    // that are no record, a failure), or loaded while every load found one.
    load_status last_load() const { return found; }

    // The number, counted from 1, of the record at record_offset(): the
    // current one, or the one that could not be loaded.
    uint64_t record_number() const { return loaded + (found == load_status::loaded ? 0 : 1); }

    // The bytes left in the current record after its header (for messages).
    uint32_t bytes_after_header() const { return reader.size - reader.pos; }

    // Why the walk stopped, once it did.
    const walk_failure& failure() const { return why; }

    // What the integrity fields say: the version once the first record is read.
    const integrity_check& integrity() const { return checks; }

private:
    enum class step { load, piece, after_piece, finished };

    walk_event load_next_record();
    walk_event check_record();
    walk_event begin_target();
    walk_event end_of_records();
    walk_event stop(const walk_failure& failure);
    walk_event broken(integrity_fault fault);
    walk_event compare_with_first_reading();

    int package;
    walk_options options;
    T_deserialization reader;
    record_header current;
    heap_string target_path;
    uint64_t loaded = 0;
    uint64_t offset = 0;
    load_status found = load_status::loaded;
    bool target_open = false;
    integrity_check checks;
    walk_failure why;
    walk_event last = walk_event::stopped;
    step next_step = step::load;
};
