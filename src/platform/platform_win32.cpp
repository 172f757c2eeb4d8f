// The Win32 services, through the C runtime's low-level file layer (whose
// handles are the small integers the rest of the program expects) and
// kernel32/user32.
#include "platform/platform.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

int open_for_reading(const char* path) {
    return _sopen(path, _O_RDONLY | _O_BINARY, _SH_DENYNO);
}

int create_for_writing(const char* path) {
    // _S_IWRITE keeps the read-only attribute off: the file gets normal attributes.
    return _sopen(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

// A file is the same when its volume and its index on that volume are.
int names_open_file(const char* path, int handle) {
    const HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    const bool known = GetFileInformationByHandle(named, &a) &&
                       GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(handle)), &b);
    CloseHandle(named);
    return known && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// A disk file gives all it has in one read; looping covers the rest, so that
// fewer bytes always mean the end of the file.
int32_t read_bytes(int handle, void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const int got = _read(handle, static_cast<char*>(buffer) + done, count - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return static_cast<int32_t>(done);
}

int64_t bytes_left(int handle) {
    const int64_t length = _filelengthi64(handle);
    const int64_t position = _telli64(handle);
    if (length < 0 || position < 0 || position > length) return -1;
    return length - position;
}

int32_t write_bytes(int handle, const void* buffer, uint32_t count) {
    return _write(handle, buffer, count);
}

int flush_file(int handle) {
    return _commit(handle) == 0 ? 1 : 0;  // FlushFileBuffers on the file's handle
}

// NTFS logs a new name with the file's other metadata, and FlushFileBuffers
// on the file writes that log out: the folder has nothing left to flush.
int flush_folder_of(const char* /*path*/) {
    return 1;
}

int close_file(int handle) {
    return _close(handle) == 0 ? 1 : 0;
}

void delete_file(const char* path) {
    _unlink(path);
}

void pause_for(uint32_t milliseconds) {
    Sleep(milliseconds);
}

uint32_t start_program(const char* command, int show_command) {
    return WinExec(command, static_cast<UINT>(show_command));
}

void show_message_box(const char* text, const char* caption, unsigned style) {
    MessageBoxA(nullptr, text, caption, style);
}

uint32_t read_profile_string(const char* section, const char* key, const char* fallback,
                             char* value, uint32_t size, const char* file) {
    return GetPrivateProfileStringA(section, key, fallback, value, size, file);
}

// Both directory queries return the needed size, not 0, when the buffer is too
// small; the buffer then holds nothing usable, so that counts as a failure.
uint32_t windows_directory(char* buffer, uint32_t size) {
    const UINT length = GetWindowsDirectoryA(buffer, size);
    return length < size ? length : 0;
}

uint32_t system_directory(char* buffer, uint32_t size) {
    const UINT length = GetSystemDirectoryA(buffer, size);
    return length < size ? length : 0;
}
