#include "package_scan.h"

#include "name_rules.h"
#include "package/package_walk.h"
#include "platform/codepage_1252.h"
#include "platform/platform.h"

#include <cstring>
#include <set>

namespace {

std::string plural(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// What the reader found where no whole record could be loaded; for a record
// that was loaded, what the walk could not do with it.
std::string why_not_loaded(load_status status, uint64_t left) {
    switch (status) {
        case load_status::nothing_left: return "the package ends there";
        case load_status::short_tail: return "only " + plural(left, "byte") + " remain, too few for a record";
        case load_status::unended_length: return "the record length does not end within its first 4 bytes";
        case load_status::length_below_4: return "the record length is below 4";
        case load_status::cut_short: return "the record claims more bytes than the " + plural(left, "byte") + " that remain";
        case load_status::read_error: return "the package cannot be read";
        case load_status::out_of_memory: return "the record cannot be held in memory";
        case load_status::loaded: return "a name in the record cannot be held in memory";
    }
    return "";
}

class scanner {
public:
    scanner(package_scan& scan, const piece_handler& on_piece) : scan(scan), on_piece(on_piece) {}

    scan_outcome run(int package) {
        const int64_t size = bytes_left(package);
        scan.package_size = size > 0 ? static_cast<uint64_t>(size) : 0;
        package_walk walk(package, nullptr);
        for (;;) {
            const walk_event event = next_walk_event(walk);
            scan.records = walk.records;
            switch (event) {
                case walk_event::target_begins: begin_target(walk); break;
                case walk_event::piece:
                    if (!take_piece(walk)) return scan_outcome::stopped;
                    break;
                case walk_event::target_completes: complete_target(walk); break;
                case walk_event::package_ended:
                    scan.would_apply = true;
                    if (walk.record_offset < scan.package_size) {
                        warning(walk, plural(scan.package_size - walk.record_offset, "byte") +
                                          " after the last target are ignored (" + not_loaded(walk) + ")");
                    }
                    return scan_outcome::scanned;
                case walk_event::package_malformed:
                    malformed(walk);
                    return scan_outcome::scanned;
                case walk_event::read_failed:
                    error(walk, not_loaded(walk));
                    return scan_outcome::unreadable;
            }
        }
    }

private:
    void finding(const package_walk& walk, bool is_error, const std::string& text) {
        scan.findings.push_back({is_error, walk.records + (walk.last_load == load_status::loaded ? 0 : 1),
                                 walk.record_offset, text});
    }
    void error(const package_walk& walk, const std::string& text) { finding(walk, true, text); }
    void warning(const package_walk& walk, const std::string& text) { finding(walk, false, text); }
    std::string not_loaded(const package_walk& walk) const {
        const uint64_t left = scan.package_size > walk.record_offset ? scan.package_size - walk.record_offset : 0;
        return why_not_loaded(walk.last_load, left);
    }

    void malformed(const package_walk& walk) {
        const record_header& header = walk.header;
        switch (walk.fault) {
            case walk_fault::no_record:
                if (scan.package_size == 0) {
                    scan.findings.push_back({true, 0, 0, "the package is empty"});
                } else {
                    error(walk, "no record can be read: " + not_loaded(walk));
                }
                break;
            case walk_fault::ends_inside_target: {
                const scanned_target& target = scan.targets.back();
                error(walk, "the package ends inside target " + quoted_name(target.name) + " (" +
                                std::to_string(target.written) + " of " + plural(target.file_size, "byte") +
                                " written): " + not_loaded(walk));
                break;
            }
            case walk_fault::unreadable_header:
                error(walk, std::string("the header field ") + walk.unread_field + " runs past the record's end or past 32 bits");
                break;
            case walk_fault::payload_past_record:
                error(walk, "the piece of " + plural(header.piece_length, "byte") + " reaches past the record's end (" +
                                std::to_string(walk.reader.size - walk.reader.pos) + " left)");
                break;
            case walk_fault::refused_name:
                error(walk, "the name " + quoted_name(header.entry_name.get()) + " " + updater_refusal(header.entry_name.get()));
                break;
            case walk_fault::none:
                break;
        }
    }

    void begin_target(const package_walk& walk) {
        const std::string name = walk.header.entry_name.get();
        const std::string windows = windows_refusal(name);
        if (!windows.empty()) warning(walk, "the name " + quoted_name(name) + " " + windows + ": Windows would refuse or alter it");
        if (!names_seen.insert(folded_name(name)).second) {
            warning(walk, quoted_name(name) + " is installed more than once: the last copy wins");
        }
        scanned_target target;
        target.name = name;
        target.prefix = find_root_prefix(name.c_str());
        target.file_size = walk.header.file_size;
        target.first_record = walk.records;
        target.first_offset = walk.record_offset;
        scan.targets.push_back(target);
    }

    bool take_piece(const package_walk& walk) {
        const record_header& header = walk.header;
        scanned_target& target = scan.targets.back();
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
        target.complete = completes_target(header);
        return !on_piece || on_piece(target, piece_bytes(walk), header.piece_length);
    }

    void complete_target(const package_walk& walk) {
        const scanned_target& target = scan.targets.back();
        if (target.written != target.file_size) {
            warning(walk, quoted_name(target.name) + " is complete with " + plural(target.written, "byte") +
                              " written, but its size says " + std::to_string(target.file_size));
        }
    }

    package_scan& scan;
    const piece_handler& on_piece;
    std::set<std::string> names_seen;
};

}  // namespace

scan_outcome scan_package(const std::string& path, package_scan& scan, const piece_handler& on_piece) {
#ifdef _WIN32
    const std::string ansi_path = path;  // the command line is already in the ANSI code page
#else
    const std::string ansi_path = utf8_to_1252_replacing(path);
#endif
    const int package = open_for_reading(ansi_path.c_str());
    if (package == -1) return scan_outcome::not_opened;
    const scan_outcome outcome = scanner(scan, on_piece).run(package);
    close_file(package);
    return outcome;
}

std::string quoted_name(const std::string& name_1252) {
    return "\"" + utf8_from_1252(name_1252) + "\"";
}
