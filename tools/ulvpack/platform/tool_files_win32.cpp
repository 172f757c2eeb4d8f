// ulvpack's own file services on Win32: wide paths, so that a package named
// in any script can be opened, and reparse points (links, junctions) refused
// below the extraction folder.
#include "platform/tool_files.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

std::string error_text(DWORD code) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
    return length > 0 ? std::string(text, length) : "Windows error " + std::to_string(code);
}

constexpr DWORD no_attributes = INVALID_FILE_ATTRIBUTES;

bool is_reparse_point(DWORD attributes) {
    return attributes != no_attributes && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool is_folder(DWORD attributes) {
    return attributes != no_attributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int create_new(const fs::path& path) {
    return _wsopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

}  // namespace

int open_package(const fs::path& path, std::string& why) {
    const int handle = _wsopen(path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO);
    if (handle < 0) {
        why = is_folder(GetFileAttributesW(path.c_str())) ? "it is a folder" : error_text(GetLastError());
        return -1;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(handle))) != FILE_TYPE_DISK) {
        why = "it is not a regular file";
        _close(handle);
        return -1;
    }
    return handle;
}

bool is_link(const fs::path& path) {
    return is_reparse_point(GetFileAttributesW(path.c_str()));
}

int open_source_file(const fs::path& path, bool follow_link, std::string& why) {
    if (!follow_link && is_link(path)) {
        why = "it became a link";
        return -1;
    }
    const int handle = _wsopen(path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO);
    if (handle < 0) {
        why = error_text(GetLastError());
        return -1;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(handle))) != FILE_TYPE_DISK) {
        why = "it is not a regular file";
        _close(handle);
        return -1;
    }
    return handle;
}

// Windows ends a console program without a signal the tool could catch first;
// a partial package left by a forced end keeps its unguessable hidden name.
void remove_if_interrupted(const fs::path& /*temporary*/) {}
void forget_temporary() {}

int create_temporary_beside(const fs::path& out, fs::path& temporary, std::string& why) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporary_name_beside(out);
        const int handle = create_new(temporary);
        if (handle >= 0) return handle;
        if (errno != EEXIST) break;
    }
    why = "cannot create a file beside " + out.u8string() + ": " + error_text(GetLastError());
    return -1;
}

bool replace_file(const fs::path& temporary, const fs::path& out, std::string& why) {
    if (MoveFileExW(temporary.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    why = "cannot put the package in the place of " + out.u8string() + ": " + error_text(GetLastError());
    return false;
}

int create_below(const fs::path& folder, const std::vector<std::string>& parts, bool replace, std::string& why) {
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    fs::path path = folder;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        path /= fs::u8path(parts[i]);
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == no_attributes && CreateDirectoryW(path.c_str(), nullptr)) attributes = GetFileAttributesW(path.c_str());
        if (is_reparse_point(attributes) || !is_folder(attributes)) {
            why = path.u8string() + ": it is a link or not a folder";
            return -1;
        }
    }
    path /= fs::u8path(parts.back());
    const DWORD attributes = GetFileAttributesW(path.c_str());
    why = attributes == no_attributes ? ""
        : is_reparse_point(attributes) ? "it is a link"
        : is_folder(attributes)       ? "it is not a regular file"
        : !replace                    ? "it exists (--force replaces it)"
        : DeleteFileW(path.c_str())   ? ""
                                      : error_text(GetLastError());
    const int handle = why.empty() ? create_new(path) : -1;
    if (handle < 0 && why.empty()) why = error_text(GetLastError());
    if (handle < 0) why = path.u8string() + ": " + why;
    return handle;
}
