#include "write_package.h"

#include "number_text.h"
#include "package_scan.h"
#include "package/record_encoder.h"

#include "package/integrity.h"
#include "package/reader.h"

#include "platform/platform.h"
#include "system/tool_system.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// The new file beside OUT: closed and removed on every way out (a failure, an
// exception, a signal) but the one that puts it in OUT's place.
struct temporary_file {
    fs::path path;
    int handle = -1;

    ~temporary_file() {
        if (handle != -1) close_file(handle);
        if (!path.empty()) remove_path(path);
        forget_temporary();
    }
};

// The header fields of one record. A protected record carries the marker of
// version 3, the CRC-32C of the record after opaque_1 continued from the
// record before, and its index, or in the first record the package's length;
// opaque_1 and that length are always written in 5 bytes, so that a record's
// length is known before the bytes they depend on, and two releases of one
// layout have one length. A plain record carries zeros.
record_fields fields_of(const source_file& file, uint32_t offset, const package_options& options, uint64_t index,
                        uint64_t package_length) {
    record_fields fields;
    fields.entry_name = file.stored_name;
    fields.file_size = file.size;
    fields.piece_offset = offset;
    if (options.protect) {
        fields.opaque_1_in_5_bytes = true;
        fields.opaque_3_in_5_bytes = index == 0;
        fields.opaque_2 = integrity_marker_v3;
        fields.opaque_3 = static_cast<uint32_t>(index == 0 ? package_length : index);
    }
    return fields;
}

uint32_t piece_length(const source_file& file, uint32_t offset, const package_options& options) {
    return static_cast<uint32_t>(std::min<uint64_t>(options.piece_size, file.size - offset));
}

// The length of the protected package, which its first record declares: the
// sum of its records' lengths.
uint64_t protected_length(const std::vector<source_file>& files, const package_options& options) {
    uint64_t length = 0;
    uint64_t index = 0;
    for (const source_file& file : files) {
        uint32_t offset = 0;
        do {
            const uint32_t piece = piece_length(file, offset, options);
            std::string header;
            append_record_header(fields_of(file, offset, options, index++, 0), piece, header);
            length += header.size() + piece;
            offset += piece;
        } while (offset < file.size);
    }
    return length;
}

std::string failed_write(const fs::path& temporary, const std::string& why) {
    return "cannot write " + printable_text(temporary.u8string()) + ": " + why;
}

// The package being written: where it goes, and the next record's index.
struct package_being_written {
    int handle;
    const fs::path& temporary;
    const package_options& options;
    uint64_t length;  // of the whole package, protected
    uint64_t index = 0;
    uint64_t written = 0;
    uint32_t chain = 0;  // the checksum of the last record, which the next one continues
};

// The header of the package's next record, a piece of `length` bytes at
// `offset` of `file`, sealed when the package is protected.
std::string next_header(package_being_written& package, const source_file& file, uint32_t offset, const char* piece,
                        uint32_t length) {
    std::string header;
    append_record_header(fields_of(file, offset, package.options, package.index++, package.length), length, header);
    if (package.options.protect) {
        package.chain = seal_record(header, reinterpret_cast<const unsigned char*>(piece), length, package.chain);
    }
    return header;
}

// Takes the next `length` bytes of the target, at `offset`: from its file,
// open at `in`, or from the bytes it holds. False, with why, when the file
// cannot be read or has fewer.
bool take_bytes(const source_file& file, int in, uint32_t offset, char* into, uint32_t length, std::string& why) {
    if (file.in_memory) {
        file.held.copy(into, length, offset);
        return true;
    }
    const int32_t got = read_bytes(in, into, length);
    if (got == static_cast<int32_t>(length)) return true;
    why = got < 0 ? system_error_text(last_system_error()) : "it became shorter while it was packed";
    return false;
}

// Writes the records of the target, its bytes taken as take_bytes does.
bool write_pieces(package_being_written& package, const source_file& file, int in, std::vector<char>& buffer,
                  std::string& problem) {
    uint32_t offset = 0;
    do {
        const uint32_t length = piece_length(file, offset, package.options);
        std::string why;
        if (!take_bytes(file, in, offset, buffer.data(), length, why)) {
            problem = "cannot read " + printable_text(file.file.u8string()) + ": " + why;
            return false;
        }
        const std::string header = next_header(package, file, offset, buffer.data(), length);
        if (!write_all(package.handle, header.data(), header.size(), why) ||
            !write_all(package.handle, buffer.data(), length, why)) {
            problem = failed_write(package.temporary, why);
            return false;
        }
        package.written += header.size() + length;
        offset += length;
    } while (offset < file.size);
    return true;
}

bool write_target(package_being_written& package, const source_file& file, std::vector<char>& buffer,
                  std::string& problem) {
    if (file.in_memory) return write_pieces(package, file, -1, buffer, problem);
    const std::string shown = printable_text(file.file.u8string());
    std::string why;
    const int in = open_source_file(file.file, file.follow_link, file.identity, why);
    if (in == -1) {
        problem = "cannot read " + shown + ": " + why;
        return false;
    }
    bool written = write_pieces(package, file, in, buffer, problem);
    char more;
    const int32_t beyond = written ? read_bytes(in, &more, 1) : 0;
    if (beyond != 0) {
        problem = beyond > 0 ? shown + " grew while being packed"
                             : "cannot read " + shown + ": " + system_error_text(last_system_error());
        written = false;
    }
    close_file(in);
    return written;
}

}  // namespace

bool records_fit(const std::vector<source_file>& files, const package_options& options, std::string& problem) {
    for (const source_file& file : files) {
        // The longest header any of its records can have: its largest offset, the largest index.
        record_fields fields = fields_of(file, file.size, options, 1, 0);
        if (options.protect) fields.opaque_3 = 0xFFFFFFFFu;
        std::string header;
        if (!append_record_header(fields, piece_length(file, 0, options), header)) {
            problem = "a record of " + quoted_name(file.name) + " would pass " + grouped(largest_record_length) +
                      " bytes: use a smaller --piece-size";
            return false;
        }
    }
    return true;
}

bool write_package(const std::vector<source_file>& files, const package_options& options, const fs::path& out,
                   std::string& problem) {
    temporary_file temporary;
    temporary.handle = create_temporary_beside(out, temporary.path, problem);
    if (temporary.handle == -1) {
        temporary.path.clear();
        return false;
    }
    remove_if_interrupted(temporary.path);

    uint64_t largest = 0;
    for (const source_file& file : files) largest = std::max<uint64_t>(largest, file.size);
    std::vector<char> buffer(static_cast<size_t>(std::min(options.piece_size, largest)));
    package_being_written package{temporary.handle, temporary.path, options, 0};
    if (options.protect) package.length = protected_length(files, options);
    for (const source_file& file : files) {
        if (!write_target(package, file, buffer, problem)) return false;
    }
    if (options.protect && package.written != package.length) {
        problem = "the package came out " + std::to_string(package.written) + " bytes long, not the " +
                  std::to_string(package.length) + " its first record declares";
        return false;
    }
    const bool flushed = flush_file(temporary.handle) == 1;
    const bool closed = close_file(temporary.handle) == 1;
    temporary.handle = -1;
    if (!flushed || !closed) {
        problem = failed_write(temporary.path, "the system could not write it out to the disk");
        return false;
    }
    return replace_file(temporary.path, out, problem);  // the removal that follows finds nothing once it is in place
}
