#include "write_package.h"

#include "package_scan.h"
#include "record_encoder.h"

#include "platform/platform.h"
#include "platform/tool_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fs = std::filesystem;

namespace {

// The new file beside OUT: closed and removed on every way out (a failure, an
// exception, a signal) but the one that puts it in OUT's place.
struct temporary_file {
    fs::path path;
    int handle = -1;

    ~temporary_file() {
        if (handle != -1) close_file(handle);
        std::error_code ignored;
        if (!path.empty()) fs::remove(path, ignored);
        forget_temporary();
    }
};

bool write_all(int handle, const char* bytes, size_t length) {
    errno = 0;
    return length == 0 || write_bytes(handle, bytes, static_cast<uint32_t>(length)) == static_cast<int32_t>(length);
}

std::string failed_write(const fs::path& temporary) {
    return "cannot write " + printable_text(temporary.u8string()) + ": " +
           (errno != 0 ? std::strerror(errno) : "the disk is full or a size limit was reached");
}

// Reads the file as it was found: a regular file of the size seen when its
// folder was read, through no link that was not there then.
bool write_target(int out, const source_file& file, uint64_t piece_size, std::vector<char>& buffer,
                  const fs::path& temporary, std::string& problem) {
    const std::string shown = printable_text(file.file.u8string());
    std::string why;
    const int in = open_source_file(file.file, file.follow_link, why);
    if (in == -1) {
        problem = "cannot read " + shown + ": " + why;
        return false;
    }
    uint32_t offset = 0;
    bool written = true;
    do {
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(piece_size, file.size - offset));
        if (read_bytes(in, buffer.data(), length) != static_cast<int32_t>(length)) {
            problem = "cannot read " + shown + " (did it change while being packed?)";
            written = false;
            break;
        }
        record_fields fields;
        fields.entry_name = file.name;
        fields.file_size = file.size;
        fields.piece_offset = offset;
        std::string header;
        append_record_header(fields, length, header);
        if (!write_all(out, header.data(), header.size()) || !write_all(out, buffer.data(), length)) {
            problem = failed_write(temporary);
            written = false;
            break;
        }
        offset += length;
    } while (offset < file.size);
    char more;
    if (written && read_bytes(in, &more, 1) != 0) {
        problem = shown + " grew while being packed";
        written = false;
    }
    close_file(in);
    return written;
}

}  // namespace

bool write_package(const std::vector<source_file>& files, uint64_t piece_size, const fs::path& out,
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
    std::vector<char> buffer(static_cast<size_t>(std::min(piece_size, largest)));
    for (const source_file& file : files) {
        if (!write_target(temporary.handle, file, piece_size, buffer, temporary.path, problem)) return false;
    }
    if (flush_file(temporary.handle) != 1) {
        problem = failed_write(temporary.path);
        return false;
    }
    const int closed = close_file(temporary.handle);
    temporary.handle = -1;
    if (closed != 1) {
        problem = failed_write(temporary.path);
        return false;
    }
    return replace_file(temporary.path, out, problem);  // the removal that follows finds nothing once it is in place
}
