// ulvpack's own file services on Win32: wide paths, so that a package named
// in any script can be opened. Writing below the extraction folder is in
// create_below_win32.cpp.
#include "platform/tool_files.h"
#include "platform/tool_files_win32.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

namespace fs = std::filesystem;

std::string error_text(DWORD code) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  512, nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L'.')) --length;
    char utf8[1536];
    const int size = length > 0 ? WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8, sizeof utf8,
                                                      nullptr, nullptr)
                                : 0;
    return size > 0 ? std::string(utf8, static_cast<size_t>(size)) : "Windows error " + std::to_string(code);
}

namespace {

bool is_folder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int create_new(const fs::path& path) {
    return _wsopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

}  // namespace

bool write_all(int handle, const void* bytes, size_t length, std::string& why) {
    for (size_t done = 0; done < length;) {
        const size_t step = length - done < 0x40000000u ? length - done : 0x40000000u;
        const int put = _write(handle, static_cast<const char*>(bytes) + done, static_cast<unsigned>(step));
        if (put <= 0) {
            why = put < 0 ? std::strerror(errno) : "the disk is full or a size limit was reached";
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

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

file_identity identity_of_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return {};
    return {information.dwVolumeSerialNumber,
            (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

file_identity identity_of_path(const fs::path& path) {
    const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    const file_identity identity = identity_of_handle(handle);
    CloseHandle(handle);
    return identity;
}

bool is_link(const fs::path& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    // With the reparse point attribute, dwReserved0 holds its tag.
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

int open_source_file(const fs::path& path, bool follow_link, const file_identity& found, std::string& why) {
    if (!follow_link && is_link(path)) {
        why = "it became a link";
        return -1;
    }
    const int handle = _wsopen(path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO);
    if (handle < 0) {
        why = error_text(GetLastError());
        return -1;
    }
    why = GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(handle))) != FILE_TYPE_DISK ? "it is not a regular file"
        : found.index != 0 && !same_file(identity_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(handle))), found) ? "it is not the file that was there when its folder was read"
        : "";
    if (why.empty()) return handle;
    _close(handle);
    return -1;
}

namespace {

wchar_t interrupted_temporary[32768];

// Ctrl+C and Ctrl+Break reach the C runtime as these signals.
void remove_and_end(int signal_number) {
    if (interrupted_temporary[0] != L'\0') _wremove(interrupted_temporary);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

void remove_if_interrupted(const fs::path& temporary) {
    const std::wstring path = temporary.wstring();
    if (path.size() >= sizeof interrupted_temporary / sizeof interrupted_temporary[0]) return;
    std::wmemcpy(interrupted_temporary, path.c_str(), path.size() + 1);
    std::signal(SIGINT, remove_and_end);
    std::signal(SIGBREAK, remove_and_end);
}

void forget_temporary() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGBREAK, SIG_DFL);
    interrupted_temporary[0] = L'\0';
}

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

bool replace_file(const fs::path& temporary, const fs::path& out, std::string& why, const char* what) {
    if (MoveFileExW(temporary.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    why = std::string("cannot put ") + what + " in the place of " + out.u8string() + ": " + error_text(GetLastError());
    return false;
}
