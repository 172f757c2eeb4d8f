#include "package_scan.h"

#include "name_rules.h"
#include "package/reader.h"
#include "package/record_header.h"
#include "package/varint.h"
#include "platform/codepage_1252.h"
#include "platform/platform.h"

#include <cstring>
#include <fstream>
#include <set>

namespace {

std::string plural(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Why no record could be loaded at `offset`: the reader does not say, so look
// at the bytes it saw.
std::string why_not_loaded(const std::string& path, uint64_t package_size, uint64_t offset) {
    const uint64_t left = package_size - offset;
    if (left == 0) return "the package ends there";
    if (left < smallest_record_length) return "only " + plural(left, "byte") + " remain, too few for a record";
    unsigned char head[smallest_record_length] = {};
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(head), sizeof head);
    uint32_t length = 0;
    if (!decode_varint(head, sizeof head, length)) return "the record length does not end within its first 4 bytes";
    if (length < smallest_record_length) return "the record length " + std::to_string(length) + " is below 4";
    if (length > left) return "the record claims " + plural(length, "byte") + " but " + std::to_string(left) + " remain";
    return "the record cannot be held in memory";
}

class scanner {
public:
    scanner(const std::string& path, package_scan& scan, const piece_handler& on_piece)
        : path(path), scan(scan), on_piece(on_piece) {}

    scan_outcome run(int package) {
        const int64_t size = bytes_left(package);
        scan.package_size = size > 0 ? static_cast<uint64_t>(size) : 0;
        T_deserialization reader;
        for (;;) {
            const uint32_t record = scan.records + 1;
            if (!reader.load_record(package)) {
                end_of_records(record);
                return scan_outcome::scanned;
            }
            ++scan.records;
            if (!take_record(reader, record)) return stopped ? scan_outcome::stopped : scan_outcome::scanned;
            offset += reader.size;
        }
    }

private:
    void error(uint32_t record, const std::string& text) { scan.findings.push_back({true, record, offset, text}); }
    void warning(uint32_t record, const std::string& text) { scan.findings.push_back({false, record, offset, text}); }
    scanned_target* open_target() { return target_open ? &scan.targets.back() : nullptr; }

    void end_of_records(uint32_t record) {
        const std::string why = why_not_loaded(path, scan.package_size, offset);
        if (scan.records == 0) {
            error(scan.package_size == 0 ? 0 : 1, scan.package_size == 0 ? "the package is empty"
                                                                        : "no record can be read: " + why);
        } else if (scanned_target* target = open_target()) {
            error(record, "the package ends inside target " + quoted_name(target->name) + " (" +
                              std::to_string(target->written) + " of " + plural(target->file_size, "byte") +
                              " written): " + why);
        } else {
            scan.would_apply = true;
            if (offset < scan.package_size) {
                warning(record, plural(scan.package_size - offset, "byte") + " after the last target are ignored (" + why + ")");
            }
        }
    }

    bool take_record(T_deserialization& reader, uint32_t record) {
        record_header header;
        const char* unread = nullptr;
        if (!read_record_header(reader, header, &unread)) {
            error(record, std::string("the header field ") + unread + " runs past the record's end or past 32 bits");
            return false;
        }
        if (!payload_within_record(reader, header)) {
            error(record, "the piece of " + plural(header.piece_length, "byte") + " reaches past the record's end (" +
                              std::to_string(reader.size - reader.pos) + " left)");
            return false;
        }
        scanned_target* target = open_target();
        if (target == nullptr) {
            target = begin_target(header, record);
            if (target == nullptr) return false;
        } else if (std::strcmp(header.entry_name.get(), target->name.c_str()) != 0) {
            warning(record, "continues target " + quoted_name(target->name) + " under another name, " +
                                quoted_name(header.entry_name.get()) + ", which is ignored");
        }
        if (header.piece_offset != target->written) {
            warning(record, "piece at offset " + std::to_string(header.piece_offset) + " of " + quoted_name(target->name) +
                                " follows " + plural(target->written, "byte") + ": pieces are written one after another");
        }
        ++target->pieces;
        target->written += header.piece_length;
        if (completes_target(header)) {
            target->complete = true;
            target_open = false;
            if (target->written != target->file_size) {
                warning(record, quoted_name(target->name) + " is complete with " + plural(target->written, "byte") +
                                    " written, but its size says " + std::to_string(target->file_size));
            }
        }
        if (on_piece && !on_piece(*target, reader.data + reader.pos, header.piece_length)) {
            stopped = true;
            return false;
        }
        return true;
    }

    scanned_target* begin_target(const record_header& header, uint32_t record) {
        const std::string name = header.entry_name.get();
        const std::string refusal = updater_refusal(name);
        if (!refusal.empty()) {
            error(record, "the name " + quoted_name(name) + " " + refusal);
            return nullptr;
        }
        const std::string windows = windows_refusal(name);
        if (!windows.empty()) warning(record, "the name " + quoted_name(name) + " " + windows + ": Windows would refuse or alter it");
        if (!names_seen.insert(folded_name(name)).second) {
            warning(record, quoted_name(name) + " is installed more than once: the last copy wins");
        }
        scanned_target target;
        target.name = name;
        target.prefix = find_root_prefix(name.c_str());
        target.file_size = header.file_size;
        target.first_record = record;
        target.first_offset = offset;
        scan.targets.push_back(target);
        target_open = true;
        return &scan.targets.back();
    }

    const std::string& path;
    package_scan& scan;
    const piece_handler& on_piece;
    uint64_t offset = 0;
    bool target_open = false;
    bool stopped = false;
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
    const scan_outcome outcome = scanner(path, scan, on_piece).run(package);
    close_file(package);
    return outcome;
}

std::string quoted_name(const std::string& name_1252) {
    return "\"" + utf8_from_1252(name_1252) + "\"";
}
