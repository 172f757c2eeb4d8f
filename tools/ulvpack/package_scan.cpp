#include "package_scan.h"

#include "name_rules.h"
#include "number_text.h"
#include "package/name_tree.h"
#include "package/package_walk.h"
#include "platform/text_codec.h"
#include "platform/platform.h"
#include "system/tool_system.h"

#include <cstdio>
#include <cstring>

namespace {

// What the reader found where no whole record could be loaded.
std::string why_not_loaded(load_status status, uint64_t left) {
    switch (status) {
        case load_status::nothing_left: return "the package ends there";
        case load_status::short_tail: return "only " + plural(left, "byte") + (left == 1 ? " remains" : " remain") + ", too few for a record";
        case load_status::unended_length: return "the record length does not end within its first 4 bytes";
        case load_status::length_below_4: return "the record length is below 4";
        case load_status::cut_short: return "the record claims more than the " + plural(left, "byte") + " left";
        case load_status::loaded:
        case load_status::read_error:
        case load_status::out_of_memory: break;  // no end: the walk's failure says what failed
    }
    return "";
}

// What the system failed at: reading the package, or holding part of it.
std::string system_failure_text(const walk_failure& failure) {
    if (failure.fault() == walk_fault::read_error) {
        return std::string("the package cannot be read: ") + system_error_text(failure.system());
    }
    switch (failure.short_of()) {
        case memory_need::record: return "the record cannot be held in memory";
        case memory_need::name: return "a name in the record cannot be held in memory";
        case memory_need::target_path: return "the target's path cannot be held in memory";
        case memory_need::checksums: return "the checksums of the records read cannot be held in memory";
    }
    return "";
}

// Where a record's checksum does not hold: what it covers, the value stored
// and the one found. In version 3 a record after the first continues the
// checksum of the one before, so a record of another release shows there.
std::string checksum_text(const package_walk& walk) {
    const integrity_check& integrity = walk.integrity();
    char values[40];
    std::snprintf(values, sizeof values, "(stored %08X, found %08X)", walk.header().opaque_1, integrity.found_checksum());
    if (integrity.version() == 1) return std::string("the piece does not match its CRC-32C ") + values;
    if (integrity.version() == 2 || walk.records() == 1) return std::string("the record does not match its CRC-32C ") + values;
    return std::string("the record does not match its CRC-32C continued from the record before ") + values +
           ": the record is damaged, or the records before it come from another release";
}

// What a protected package's integrity fields show, for a record or at the end.
std::string integrity_text(const package_walk& walk, uint64_t stray) {
    const record_header& header = walk.header();
    const integrity_check& integrity = walk.integrity();
    switch (walk.failure().broken()) {
        case integrity_fault::wrong_length:
            if (walk.last_load() == load_status::nothing_left) {
                return "the package ends after " + plural(integrity.found_length(), "byte") + " of records, but its first record says " +
                       std::to_string(integrity.declared_length()) + " (modulo 2^32): it was cut short or extended";
            }
            return "the package is " + plural(integrity.found_length(), "byte") + " long, but its first record says " +
                   std::to_string(integrity.declared_length()) + " (modulo 2^32): it was cut short or extended";
        case integrity_fault::damaged_marker:
            return "the record's opaque_2 is a damaged integrity marker: the package was protected, and its first record is damaged";
        case integrity_fault::no_marker: return "the record does not carry the integrity marker that the first record carries";
        case integrity_fault::wrong_index:
            return "the record carries index " + std::to_string(header.opaque_3) + " where index " +
                   std::to_string(walk.records() - 1) + " belongs (indexes count from 0): records are missing, repeated or out of order";
        case integrity_fault::padded: return "bytes follow the piece inside the record, which a protected package never has: the record's header is damaged";
        case integrity_fault::renamed: return "the record continues a target under another name: the record's header is damaged";
        case integrity_fault::resized: return "the record gives its target another size than the target's first record: the record's header is damaged";
        case integrity_fault::misplaced: return "the piece's offset is not where the target's earlier pieces end: the record's header is damaged";
        case integrity_fault::overshoots: return "the piece does not end where its target's size says: the record's header is damaged";
        case integrity_fault::wrong_checksum: return checksum_text(walk);
        case integrity_fault::stray_bytes:
            return plural(stray, "byte") + " after the last target of a protected package, which has none (" +
                   why_not_loaded(walk.last_load(), stray) + ")";
        case integrity_fault::out_of_memory:
        case integrity_fault::none: break;
    }
    return "";
}

class scanner {
public:
    scanner(const scan_handlers& handlers, scan_result& result) : handlers(handlers), result(result) {}

    scan_outcome run(int package, const walk_options& checks) {
        const int64_t size = bytes_left(package);
        result.package_size = size > 0 ? static_cast<uint64_t>(size) : 0;
        package_walk walk(package, walk_options{nullptr, nullptr, checks.note, checks.expect});
        for (;;) {
            const walk_event event = walk.next();
            result.records = walk.records();
            result.integrity_version = walk.integrity().version();
            result.marker_damaged = walk.failure().broken() == integrity_fault::damaged_marker;
            switch (event) {
                case walk_event::target_begins:
                    if (!begin_target(walk)) return names_held ? scan_outcome::scanned : scan_outcome::unreadable;
                    break;
                case walk_event::piece:
                    if (!take_piece(walk)) return scan_outcome::stopped;
                    break;
                case walk_event::target_completes:
                    complete_target(walk);
                    break;
                case walk_event::package_ended:
                    result.would_apply = true;
                    if (const uint64_t stray = bytes_from(walk); stray > 0) {
                        warning(walk, plural(stray, "byte") + (stray == 1 ? " after the last target is" : " after the last target are") +
                                          " ignored (" + not_loaded(walk) + ")");
                    }
                    return scan_outcome::scanned;
                case walk_event::stopped:
                    if (walk.failure().of_the_system()) {
                        unreadable(walk, system_failure_text(walk.failure()));
                        return scan_outcome::unreadable;
                    }
                    malformed(walk);
                    return scan_outcome::scanned;
            }
        }
    }

private:
    void finding(const package_walk& walk, bool is_error, const std::string& text) {
        report({is_error, walk.record_number(), walk.record_offset(), text});
    }
    void report(const scan_finding& found) {
        if (found.error) end_with(found);
        if (handlers.on_finding) handlers.on_finding(found);
    }
    void end_with(const scan_finding& found) {
        result.refused = true;
        result.refusal = found;
        if (target_open) {
            target_open = false;
            if (handlers.on_target) handlers.on_target(target);
        }
    }
    void error(const package_walk& walk, const std::string& text) { finding(walk, true, text); }
    // The system failed, which says nothing of the package: no finding, only
    // why the scan ended, which the caller says once.
    void unreadable(const package_walk& walk, const std::string& text) {
        end_with({true, walk.record_number(), walk.record_offset(), text});
    }
    void warning(const package_walk& walk, const std::string& text) { finding(walk, false, text); }
    uint64_t bytes_from(const package_walk& walk) const {
        return result.package_size > walk.record_offset() ? result.package_size - walk.record_offset() : 0;
    }
    std::string not_loaded(const package_walk& walk) const { return why_not_loaded(walk.last_load(), bytes_from(walk)); }

    void malformed(const package_walk& walk) {
        const record_header& header = walk.header();
        switch (walk.failure().fault()) {
            case walk_fault::no_record:
                if (result.package_size == 0) {
                    report({true, 0, 0, "the package is empty"});
                } else {
                    error(walk, "no record can be read: " + why_not_loaded(walk.failure().found(), bytes_from(walk)));
                }
                break;
            case walk_fault::ends_inside_target:
                error(walk, "the package ends inside target " + quoted_name(target.name) + " (" +
                                std::to_string(target.written) + " of " + plural(target.file_size, "byte") +
                                " written): " + why_not_loaded(walk.failure().found(), bytes_from(walk)));
                break;
            case walk_fault::unreadable_header:
                error(walk, std::string("the header field ") + walk.failure().header_field() + " runs past the record's end");
                break;
            case walk_fault::payload_past_record:
                error(walk, "the piece of " + plural(header.piece_length, "byte") + " reaches past the record's end (" +
                                std::to_string(walk.bytes_after_header()) + " left)");
                break;
            case walk_fault::refused_name:
                error(walk, "the name " + quoted_name(header.entry_name.get()) + " " + name_refusal(header.entry_name.get()));
                break;
            case walk_fault::broken_integrity:
                error(walk, integrity_text(walk, bytes_from(walk)));
                break;
            case walk_fault::changed:
                error(walk, "the record differs from what the first reading of the package found, or is missing: "
                            "the package changed while it was read");
                break;
            case walk_fault::read_error:
            case walk_fault::out_of_memory:
            case walk_fault::none:
                break;
        }
    }

    // False when the updater could never install the target, or its name
    // cannot be held in memory: the scan ends there.
    bool begin_target(const package_walk& walk) {
        const std::string name = walk.header().entry_name.get();
        const std::string quoted = quoted_name(name);
        // The walk refused these in a protected package already; a classic one would fail on them later.
        const std::string refusal = name_refusal(name);
        if (!refusal.empty()) {
            // "a/ " names a folder on Windows, and a file on POSIX.
            result.name_clash = names_a_folder(name.c_str());
            error(walk, "the name " + quoted + " " + refusal);
            return false;
        }
        const std::string windows = windows_refusal(name);
        if (!windows.empty()) warning(walk, "the name " + quoted + " " + windows + ": Windows would alter it");
        const std::string long_path = path_length_risk(name);
        if (!long_path.empty()) warning(walk, "the name " + quoted + " " + long_path);
        if (!take_name(walk, name, quoted)) return false;
        target = scanned_target{};
        target.name = name;
        target.prefix = find_root_prefix(name.c_str());
        target.file_size = walk.header().file_size;
        target.first_record = walk.records();
        target.first_offset = walk.record_offset();
        target_open = true;
        ++result.targets;
        return true;
    }

    // Adds the name to those of the targets before it, each numbered by its
    // first record; false when the updater could never install it with them.
    bool take_name(const package_walk& walk, const std::string& name, const std::string& quoted) {
        clash_found found;
        if (!names.add(name, walk.records(), found)) {
            names_held = false;
            unreadable(walk, "the names of the package cannot be held in memory");
            return false;
        }
        const std::string other = "the target of record " + std::to_string(found.other);
        switch (found.clash) {
            case name_clash::same_file:
                warning(walk, quoted + " is installed more than once, first by " + other + ": the last copy wins");
                break;
            case name_clash::below_a_file:
                return refuse_clash(walk, quoted + " needs a folder where " + other + " installs a file: "
                                                  "the updater never makes folders");
            case name_clash::over_a_folder:
                return refuse_clash(walk, quoted + " installs a file where " + other + " needs a folder: "
                                                  "the updater never removes folders");
            case name_clash::none:
                break;
        }
        return true;
    }

    bool refuse_clash(const package_walk& walk, const std::string& text) {
        result.name_clash = true;
        error(walk, text);
        return false;
    }

    bool take_piece(const package_walk& walk) {
        const record_header& header = walk.header();
        if (target.pieces > 0 && std::strcmp(header.entry_name.get(), target.name.c_str()) != 0) {
            warning(walk, "continues target " + quoted_name(target.name) + " under another name, " +
                              quoted_name(header.entry_name.get()) + ", which is ignored");
        }
        if (header.piece_offset != target.written) {
            warning(walk, "piece at offset " + std::to_string(header.piece_offset) + " of " + quoted_name(target.name) +
                              " follows " + plural(target.written, "byte") + ": pieces are written one after another");
        }
        ++target.pieces;
        target.written += header.piece_length;
        result.bytes += header.piece_length;
        target.complete = completes_target(header);
        return !handlers.on_piece || handlers.on_piece(target, walk.piece(), header.piece_length);
    }

    void complete_target(const package_walk& walk) {
        target_open = false;
        if (target.written != target.file_size) {
            warning(walk, quoted_name(target.name) + " is complete with " + plural(target.written, "byte") +
                              " written, but its size says " + std::to_string(target.file_size));
        }
        if (handlers.on_target) handlers.on_target(target);
    }

    const scan_handlers& handlers;
    scan_result& result;
    scanned_target target;  // the current one
    bool target_open = false;
    name_tree names;
    bool names_held = true;  // false once memory ran out for them
};

}  // namespace

scan_outcome scan_package(const std::string& path, const scan_handlers& handlers, scan_result& result,
                          std::string& why) {
    const int package = open_package(std::filesystem::u8path(path), why);
    if (package == -1) return scan_outcome::not_opened;
    const scan_outcome outcome = scan_open_package(package, handlers, result, walk_options{});
    close_file(package);
    return outcome;
}

scan_outcome scan_open_package(int package, const scan_handlers& handlers, scan_result& result,
                               const walk_options& checks) {
    return scanner(handlers, result).run(package, checks);
}

std::string printable_text(const std::string& utf8) {
    std::string shown;
    for (size_t at = 0; at < utf8.size();) {
        const utf8_character c = character_at(utf8, at);
        // Control characters are escaped, and so is each byte that is not UTF-8.
        if (c.valid && !is_control_character(c.code_point)) {
            shown.append(utf8, at, c.length);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c.code_point));
            shown += escaped;
        }
        at += c.length;
    }
    return shown;
}

std::string quoted_name(const std::string& name) {
    // A name may be as long as a record: a message shows its start.
    constexpr size_t shown = 256;
    const size_t cut = prefix_within(name, shown);
    return "\"" + printable_text(name.substr(0, cut)) + (cut < name.size() ? "...\"" : "\"");
}
