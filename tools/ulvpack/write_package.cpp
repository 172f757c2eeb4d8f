#include "write_package.h"

#include "package_scan.h"
#include "record_encoder.h"

#include "platform/platform.h"
#include "platform/tool_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool write_all(int handle, const char* bytes, size_t length) {
    errno = 0;
    return length == 0 || write_bytes(handle, bytes, static_cast<uint32_t>(length)) == static_cast<int32_t>(length);
}

std::string failed_write(const fs::path& temporary) {
    return "cannot write " + printable_text(temporary.u8string()) + ": " +
           (errno != 0 ? std::strerror(errno) : "the disk is full or a size limit was reached");
}

bool write_target(int handle, const source_file& file, uint64_t piece_size, std::vector<char>& buffer,
                  const fs::path& temporary, std::string& problem) {
    std::ifstream in(file.file, std::ios::binary);
    if (!in) {
        problem = "cannot read " + printable_text(file.file.u8string()) + ": " + std::strerror(errno);
        return false;
    }
    uint32_t offset = 0;
    do {
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(piece_size, file.size - offset));
        if (!in.read(buffer.data(), length)) {
            problem = "cannot read " + printable_text(file.file.u8string()) + " (did it change while being packed?)";
            return false;
        }
        record_fields fields;
        fields.entry_name = file.name;
        fields.file_size = file.size;
        fields.piece_offset = offset;
        std::string header;
        append_record_header(fields, length, header);
        if (!write_all(handle, header.data(), header.size()) || !write_all(handle, buffer.data(), length)) {
            problem = failed_write(temporary);
            return false;
        }
        offset += length;
    } while (offset < file.size);
    if (in.peek() != std::char_traits<char>::eof()) {
        problem = printable_text(file.file.u8string()) + " grew while being packed";
        return false;
    }
    return true;
}

}  // namespace

bool write_package(const std::vector<source_file>& files, uint64_t piece_size, const fs::path& out,
                   std::string& problem) {
    fs::path temporary;
    int handle = create_temporary_beside(out, temporary, problem);
    if (handle == -1) return false;

    uint64_t largest = 0;
    for (const source_file& file : files) largest = std::max<uint64_t>(largest, file.size);
    std::vector<char> buffer(static_cast<size_t>(std::min(piece_size, largest)));
    bool written = true;
    for (size_t i = 0; written && i < files.size(); ++i) {
        written = write_target(handle, files[i], piece_size, buffer, temporary, problem);
    }
    if (written && flush_file(handle) != 1) {
        problem = failed_write(temporary);
        written = false;
    }
    if (close_file(handle) != 1 && written) {
        problem = failed_write(temporary);
        written = false;
    }
    if (written && replace_file(temporary, out, problem)) return true;
    std::error_code ignored;
    fs::remove(temporary, ignored);  // gone already when only the folder's flush failed
    return false;
}
