// Why a walk of a package's records (package_walk.h) stopped early: the
// system failed, which says nothing about the package, or the package is
// malformed, and how.
#pragma once

#include "package/integrity.h"
#include "package/reader.h"
#include "package/target_names.h"
#include "platform/platform.h"

enum class walk_fault {
    none,
    read_error,           // the system failed to read the package: system() says why
    out_of_memory,        // memory ran out for what short_of() says
    no_record,            // not one whole record: found() says what was there
    ends_inside_target,   // no whole record while a target is incomplete: found()
    unreadable_header,    // header_field() runs past the record's end
    payload_past_record,  // the piece reaches past the record's end
    refused_name,         // refused() says why
    broken_integrity,     // a protected package's integrity fields show damage: broken() says which
    changed,              // a record differs from what an earlier reading of the package found, or is missing
};

// What memory ran out for.
enum class memory_need { record, name, target_path, checksums };

// Why a walk stopped, as one value: its fault, and the one detail that
// fault has. A detail asked of another fault gives its type's first value
// (no system error, loaded, record, null, none). A read error that a tee met
// is the tee's to tell (byte_tee): system() may then say nothing of it.
class walk_failure {
public:
    walk_failure() = default;
    explicit walk_failure(walk_fault fault) : kind(fault) {}  // payload_past_record, changed
    static walk_failure of_system(system_error error) { return {walk_fault::read_error, error}; }
    static walk_failure of_memory(memory_need need) { return {walk_fault::out_of_memory, need}; }
    // no_record, ends_inside_target
    static walk_failure of_load(walk_fault fault, load_status found) { return {fault, found}; }
    static walk_failure of_header(const char* field) { return {walk_fault::unreadable_header, field}; }
    static walk_failure of_name(name_fault refused) { return {walk_fault::refused_name, refused}; }
    static walk_failure of_integrity(integrity_fault broken) { return {walk_fault::broken_integrity, broken}; }

    walk_fault fault() const { return kind; }
    // True when the system failed (a read error, memory): the package may be sound.
    bool of_the_system() const { return kind == walk_fault::read_error || kind == walk_fault::out_of_memory; }

    system_error system() const;
    memory_need short_of() const;
    load_status found() const;
    const char* header_field() const;
    name_fault refused() const;
    integrity_fault broken() const;

private:
    union detail {
        detail() : found(load_status::loaded) {}
        detail(system_error error) : system(error) {}
        detail(memory_need need) : need(need) {}
        detail(load_status found) : found(found) {}
        detail(const char* field) : field(field) {}
        detail(name_fault name) : name(name) {}
        detail(integrity_fault integrity) : integrity(integrity) {}
        system_error system;
        memory_need need;
        load_status found;
        const char* field;
        name_fault name;
        integrity_fault integrity;
    };

    walk_failure(walk_fault fault, detail what) : kind(fault), what(what) {}

    walk_fault kind = walk_fault::none;
    detail what;
};
