// The Win32 services, through the C runtime's low-level file layer (whose
// handles are the small integers the rest of the program expects) and
// kernel32/user32. Every path and text crosses into the system through the
// wide (UTF-16) calls: the ANSI calls would read the program's UTF-8, or a
// package's code page 1252, in whatever code page the system has.
#include "platform/platform.h"
#include "platform/profile_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>

namespace {

system_error last_failure;

void keep_error(DWORD code) {
    last_failure = {error_cause::system, code};
}

void keep_last_error() {
    keep_error(GetLastError());
}

// After a call of the C runtime's file layer failed: the system's error it
// met, or `otherwise` when the runtime failed on its own account.
void keep_runtime_error(DWORD otherwise) {
    keep_error(_doserrno != 0 ? static_cast<DWORD>(_doserrno) : otherwise);
}

// The UTF-16 form of a UTF-8 text, or null when it is not UTF-8 (it then
// names no file: a path is never guessed) or memory runs out.
std::unique_ptr<wchar_t[]> wide(const char* utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    std::unique_ptr<wchar_t[]> text(size > 0 ? new (std::nothrow) wchar_t[size] : nullptr);
    if (text && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, text.get(), size) != size) text.reset();
    return text;
}

// Copies `length` UTF-16 units into `buffer` as UTF-8, NUL-terminated; a
// pair cut in half by the limit is dropped whole, and a unit that was never
// part of a pair becomes "?" (utf8_from_utf16). Returns the number of bytes
// written, without the NUL.
uint32_t copy_utf8(const wchar_t* text, int length, char* buffer, uint32_t characters) {
    if (characters == 0) return 0;
    if (length > static_cast<int>(characters) - 1) length = static_cast<int>(characters) - 1;
    if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
    const size_t size = utf8_from_utf16(text, static_cast<size_t>(length), buffer);
    buffer[size] = '\0';
    return static_cast<uint32_t>(size);
}

// A directory query: the length it gives counts the NUL when the buffer was
// too small, and then the buffer holds nothing usable, so that is a failure.
uint32_t directory(UINT (WINAPI* query)(LPWSTR, UINT), char* buffer, uint32_t characters) {
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[characters]);
    if (!text) return 0;
    const UINT length = query(text.get(), characters);
    if (length == 0 || length >= characters) return 0;
    return copy_utf8(text.get(), static_cast<int>(length), buffer, characters);
}

// The UTF-16 form of a path, or null having kept why.
std::unique_ptr<wchar_t[]> wide_path(const char* path) {
    std::unique_ptr<wchar_t[]> name = wide(path);
    if (!name) keep_error(ERROR_NO_UNICODE_TRANSLATION);
    return name;
}

}  // namespace

system_error last_system_error() {
    return last_failure;
}

// The system's words, without the line end and the period that close them.
const char* system_error_text(const system_error& error) {
    if (const char* found = refusal_text(error.cause)) return found;
    constexpr DWORD characters = 512;
    static char text[utf8_room(characters)];
    wchar_t words[characters];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error.code, 0,
                                  words, characters, nullptr);
    while (length > 0 && (words[length - 1] == L'\n' || words[length - 1] == L'\r' || words[length - 1] == L'.')) --length;
    if (length == 0) {
        std::snprintf(text, sizeof text, "Windows error %lu", static_cast<unsigned long>(error.code));
    } else {
        copy_utf8(words, static_cast<int>(length), text, characters);
    }
    return text;
}

// Only a file on a disk is read as one: a folder cannot be opened so, and a
// device or a pipe would take the bytes away or hold them.
int open_for_reading(const char* path) {
    const std::unique_ptr<wchar_t[]> name = wide_path(path);
    if (!name) return -1;
    const int handle = _wsopen(name.get(), _O_RDONLY | _O_BINARY, _SH_DENYNO);
    if (handle == -1) {
        keep_runtime_error(ERROR_OPEN_FAILED);
        const DWORD attributes = GetFileAttributesW(name.get());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            last_failure = {error_cause::folder, 0};
        }
        return -1;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(handle))) == FILE_TYPE_DISK) return handle;
    last_failure = {error_cause::not_a_file, 0};
    _close(handle);
    return -1;
}

// Held without write or delete sharing: no other program, and no client of a
// file share, can write, rename or delete the file while it is open. With
// the right to delete it, so that delete_open_file deletes this very file;
// without, where that right is refused (a read-only share or medium) or
// another program holds it without sharing its deletion: it is then read and
// kept, as a file that cannot be deleted is.
int open_for_reading_unchanged(const char* path) {
    const std::unique_ptr<wchar_t[]> name = wide_path(path);
    if (!name) return -1;
    HANDLE file = CreateFileW(name.get(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION)) {
        file = CreateFileW(name.get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        keep_last_error();
        return -1;
    }
    const int handle = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (handle == -1) {
        keep_error(ERROR_TOO_MANY_OPEN_FILES);
        CloseHandle(file);
    }
    return handle;
}

int holds_files_unchanged() {
    return 1;
}

namespace {

// A file is the same when its volume and its index on that volume are.
int identity_of_handle(HANDLE file, file_identity& identity) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) {
        keep_last_error();
        return 0;
    }
    identity = {information.dwVolumeSerialNumber,
                (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    return 1;
}

}  // namespace

int identity_of(int handle, file_identity& identity) {
    return identity_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(handle)), identity);
}

// Opened for no access at all, which no sharing refuses.
int identity_of_path(const char* path, file_identity& identity) {
    const std::unique_ptr<wchar_t[]> name = wide_path(path);
    if (!name) return 0;
    const HANDLE named = CreateFileW(name.get(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        keep_last_error();
        return 0;
    }
    const int known = identity_of_handle(named, identity);
    CloseHandle(named);
    return known;
}

// Without long-path support, which the program does not declare, no call
// opens a longer path.
int path_fits(const char* path) {
    return character_count(path) <= MAX_PATH - 1 ? 1 : 0;
}

// Asked first, so that a file that must stay is never emptied, even on a
// file system that would not keep its sharing; held without write sharing,
// it cannot be created either if its path is swapped meanwhile.
int create_for_writing(const char* path, const file_identity* kept, unsigned kept_count) {
    if (path_fits(path) == 0) return creation_refused;
    file_identity named;
    if (kept_count > 0 && identity_of_path(path, named)) {
        for (unsigned i = 0; i < kept_count; ++i) {
            if (same_file(named, kept[i])) return creation_refused;
        }
    }
    const std::unique_ptr<wchar_t[]> name = wide_path(path);
    if (!name) return creation_failed;
    // _S_IWRITE keeps the read-only attribute off: the file gets normal attributes.
    const int handle = _wsopen(name.get(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (handle != -1) return handle;
    keep_runtime_error(ERROR_OPEN_FAILED);
    return creation_failed;
}

int nothing_at(const char* path) {
    const std::unique_ptr<wchar_t[]> name = wide(path);
    if (!name || GetFileAttributesW(name.get()) != INVALID_FILE_ATTRIBUTES) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
}

int names_open_file(const char* path, int handle) {
    file_identity named;
    file_identity open_file;
    return identity_of_path(path, named) && identity_of(handle, open_file) == 1 && same_file(named, open_file) ? 1 : 0;
}

// A disk file gives all it has in one read; looping covers the rest, so that
// fewer bytes always mean the end of the file.
int32_t read_bytes(int handle, void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const int got = _read(handle, static_cast<char*>(buffer) + done, count - done);
        if (got < 0) {
            keep_runtime_error(ERROR_READ_FAULT);
            return -1;
        }
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return static_cast<int32_t>(done);
}

int stamp_of(int handle, file_stamp& stamp) {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(handle));
    FILE_BASIC_INFO times;
    LARGE_INTEGER size;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) || !GetFileSizeEx(file, &size)) {
        keep_last_error();
        return 0;
    }
    stamp = {static_cast<uint64_t>(size.QuadPart), static_cast<uint64_t>(times.LastWriteTime.QuadPart),
             static_cast<uint64_t>(times.ChangeTime.QuadPart)};
    return 1;
}

int rewind_file(int handle) {
    if (_lseeki64(handle, 0, SEEK_SET) == 0) return 1;
    keep_runtime_error(ERROR_SEEK);
    return 0;
}

int64_t bytes_left(int handle) {
    const int64_t length = _filelengthi64(handle);
    const int64_t position = length < 0 ? -1 : _telli64(handle);
    if (position < 0) {
        keep_runtime_error(ERROR_SEEK);
        return -1;
    }
    if (position > length) {
        last_failure = {error_cause::shrank, 0};
        return -1;
    }
    return length - position;
}

// The runtime says nothing of the system when the disk took no byte: no
// room is left.
int32_t write_bytes(int handle, const void* buffer, uint32_t count) {
    const int32_t put = _write(handle, buffer, count);
    if (put < 0) keep_runtime_error(ERROR_DISK_FULL);
    if (put >= 0 && put != static_cast<int32_t>(count)) keep_error(ERROR_DISK_FULL);
    return put;
}

int flush_file(int handle) {
    if (_commit(handle) == 0) return 1;  // FlushFileBuffers on the file's handle
    keep_runtime_error(ERROR_WRITE_FAULT);
    return 0;
}

// NTFS logs a new name with the file's other metadata, and FlushFileBuffers
// on the file writes that log out: the folder has nothing left to flush.
int flush_folder_of(const char* /*path*/) {
    return 1;
}

int close_file(int handle) {
    if (_close(handle) == 0) return 1;
    keep_runtime_error(ERROR_WRITE_FAULT);
    return 0;
}

// Never needed: the package is held unchanged while it is applied. A copy
// in the user's temporary folder, which the user can write without
// elevation, could be swapped or planted in advance.
int create_private_file() {
    keep_error(ERROR_NOT_SUPPORTED);
    return -1;
}

const char* private_file_folder() {
    return "";
}

// Held without delete sharing, the file is still at `path`: it goes once its
// handle is closed, whatever a folder on the way has become.
int delete_open_file(const char* /*path*/, int handle) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(handle)), FileDispositionInfo, &disposition,
                                   sizeof disposition)) {
        return 1;
    }
    keep_last_error();
    return 0;
}

void pause_for(uint32_t milliseconds) {
    Sleep(milliseconds);
}

// As WinExec starts a program, which has no wide form: the command line as
// written, the window shown with `show_command`, and a wait of at most 30 s
// for the program to be ready for input. WinExec's codes are kept: above 31
// when it started; 2, 3 or 11 (file or path not found, not a program), else 0.
uint32_t start_program(const char* command, int show_command) {
    const std::unique_ptr<wchar_t[]> line = wide(command);
    if (!line) return 0;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show_command);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.get(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_FORMAT ? error : 0;
    }
    WaitForInputIdle(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 33;
}

void show_message_box(const char* text, const char* caption, unsigned style) {
    const std::unique_ptr<wchar_t[]> wide_text = wide(text);
    const std::unique_ptr<wchar_t[]> wide_caption = wide(caption);
    MessageBoxW(nullptr, wide_text ? wide_text.get() : L"", wide_caption ? wide_caption.get() : L"", style);
}

// A profile file saved as UTF-8 (Notepad's default, with or without its
// byte order mark) is read as UTF-8, with the rules of the system's call,
// which would read it in the system's code page. Any other file is read by
// that call, which takes the system's code page and UTF-16 with its mark.
uint32_t read_profile_string(const char* section, const char* key, const char* fallback,
                             char* value, uint32_t characters, const char* file) {
    file_bytes bytes;
    if (read_profile_file(file, bytes) && utf8_beyond_ascii(bytes.text())) {
        std::string_view found;
        const bool listed = find_profile_value(bytes.text(), section, key, found);
        return copy_cut(listed ? found : fallback, value, characters);
    }
    const std::unique_ptr<wchar_t[]> wide_section = wide(section);
    const std::unique_ptr<wchar_t[]> wide_key = wide(key);
    const std::unique_ptr<wchar_t[]> wide_fallback = wide(fallback);
    const std::unique_ptr<wchar_t[]> wide_file = wide(file);
    const std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[characters == 0 ? 1 : characters]);
    if (!wide_section || !wide_key || !wide_fallback || !wide_file || !text || characters == 0) {
        if (characters != 0) value[0] = '\0';
        return 0;
    }
    const DWORD length = GetPrivateProfileStringW(wide_section.get(), wide_key.get(), wide_fallback.get(), text.get(),
                                                  characters, wide_file.get());
    return copy_utf8(text.get(), static_cast<int>(length), value, characters);
}

uint32_t windows_directory(char* buffer, uint32_t characters) {
    return directory(GetWindowsDirectoryW, buffer, characters);
}

uint32_t system_directory(char* buffer, uint32_t characters) {
    return directory(GetSystemDirectoryW, buffer, characters);
}
