// ulvpack's own file services on Win32: wide paths, so that a file named
// in any script can be opened. Writing below the extraction folder is in
// create_below_win32.cpp.
#include "system/tool_system.h"

#include <cerrno>
#include <csignal>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// The system's own words for an error, in UTF-8 whatever its code page.
std::string error_text(DWORD code) {
    return system_error_text(system_error{error_cause::system, code});
}

int create_new(const fs::path& path) {
    return _wsopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

}  // namespace

bool is_link(const fs::path& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    // With the reparse point attribute, dwReserved0 holds its tag.
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

int open_unless_link(const fs::path& path, std::string& why) {
    if (!is_link(path)) return open_package(path, why);
    why = "it became a link";
    return -1;
}

// ulvpack.exe signs nothing: it never asks.
bool permission_bits(int /*handle*/, unsigned& /*bits*/) {
    return false;
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
