// The POSIX port of the file, profile and directory services.
//
// The Windows directory is the value of WINDIR; the system directory is
// WINDIR followed by /system32; profile files are read from the Windows
// directory, as GetPrivateProfileString does. File names, the environment and
// profile files are taken as the bytes they are, which is UTF-8 on the
// systems this port serves: the program's own encoding.
#include "platform/platform.h"
#include "platform/posix_files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A FIFO in a file's place must not hold the updater forever waiting for a
// program at its other end: it is opened without waiting. Only a regular file
// is used as one: anything else counts as a file that cannot be opened.
int open_regular_file(const char* path, int flags) {
    const int handle = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    return handle < 0 ? -1 : keep_if_regular(handle);
}

}  // namespace

int keep_if_regular(int handle, bool* is_folder) {
    struct stat status;
    const bool known = fstat(handle, &status) == 0;
    if (is_folder != nullptr) *is_folder = known && S_ISDIR(status.st_mode);
    if (!known || !S_ISREG(status.st_mode)) {
        close(handle);
        return -1;
    }
    fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    return handle;
}

int open_for_reading(const char* path) {
    return open_regular_file(path, O_RDONLY);
}

// No POSIX lock keeps another program from writing a file.
int open_for_reading_unchanged(const char* path) {
    return open_regular_file(path, O_RDONLY);
}

int identity_of(int handle, file_identity& identity) {
    struct stat status;
    if (fstat(handle, &status) != 0) return 0;
    identity = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    return 1;
}

int path_fits(const char* path) {
    if (std::strlen(path) >= PATH_MAX) return 0;
    for (const char* component = path;; ++component) {
        const size_t length = std::strcspn(component, "/");
        if (length > NAME_MAX) return 0;
        component += length;
        if (*component == '\0') return 1;
    }
}

// Opened without truncating, since it may be a file that must stay, and
// emptied only once it is known not to be; one status tells that and that it
// is a regular file. A FIFO in a file's place is opened without waiting (and
// refused); for a regular file, not waiting changes nothing.
int create_for_writing(const char* path, const file_identity* kept, unsigned kept_count) {
    if (path_fits(path) == 0) return creation_refused;
    const int handle = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (handle < 0) return creation_failed;
    struct stat status;
    if (fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(handle);
        return creation_failed;
    }
    const file_identity found{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    for (unsigned i = 0; i < kept_count; ++i) {
        if (same_file(found, kept[i])) {
            close(handle);
            return creation_refused;
        }
    }
    if (status.st_size != 0 && ftruncate(handle, 0) != 0) {
        close(handle);
        return creation_failed;
    }
    return handle;
}

int names_open_file(const char* path, int handle) {
    struct stat named;
    struct stat open_file;
    return stat(path, &named) == 0 && fstat(handle, &open_file) == 0 &&
           named.st_dev == open_file.st_dev && named.st_ino == open_file.st_ino;
}

// A regular file gives all it has in one read; looping covers the rest
// (signals, special files) so that fewer bytes always mean the end.
int32_t read_bytes(int handle, void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const ssize_t got = read(handle, static_cast<char*>(buffer) + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return static_cast<int32_t>(done);
}

int stamp_of(int handle, file_stamp& stamp) {
    struct stat status;
    if (fstat(handle, &status) != 0) return 0;
    const auto nanoseconds = [](const timespec& at) {
        return static_cast<uint64_t>(at.tv_sec) * 1000000000u + static_cast<uint64_t>(at.tv_nsec);
    };
    stamp = {static_cast<uint64_t>(status.st_size), nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
    return 1;
}

int rewind_file(int handle) {
    return lseek(handle, 0, SEEK_SET) == 0 ? 1 : 0;
}

int64_t bytes_left(int handle) {
    struct stat status;
    if (fstat(handle, &status) != 0) return -1;
    const off_t position = lseek(handle, 0, SEEK_CUR);
    if (position < 0 || position > status.st_size) return -1;
    return static_cast<int64_t>(status.st_size - position);
}

int32_t write_bytes(int handle, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const ssize_t put = write(handle, static_cast<const char*>(buffer) + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<uint32_t>(put);
    }
    return static_cast<int32_t>(done);
}

int close_file(int handle) {
    return close(handle) == 0 ? 1 : 0;
}

void delete_file(const char* path) {
    unlink(path);
}

namespace {

// Copies `text`, cut to `characters` - 1 characters, and its NUL.
uint32_t copy_cut(std::string_view text, char* buffer, uint32_t characters) {
    if (characters == 0) return 0;
    const uint32_t length = static_cast<uint32_t>(prefix_within(text, characters - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

std::string_view trim_blanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

bool read_whole_file(const std::string& path, std::string& content) {
    const int handle = open_for_reading(path.c_str());
    if (handle < 0) return false;
    char chunk[4096];
    int32_t got;
    while ((got = read_bytes(handle, chunk, sizeof chunk)) > 0) content.append(chunk, static_cast<size_t>(got));
    close(handle);
    return got == 0;
}

// The first `key` of the first section named `section`, as Windows reads it:
// names compared without regard to case, blanks around names and values dropped.
bool find_profile_value(std::string_view content, const char* section, const char* key, std::string_view& value) {
    bool in_section = false;
    while (!content.empty()) {
        const size_t end = content.find('\n');
        const std::string_view line = trim_blanks(content.substr(0, end));
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            in_section = close != std::string_view::npos && same_ignoring_case(trim_blanks(line.substr(1, close - 1)), section);
            continue;
        }
        const size_t equals = line.find('=');
        if (in_section && equals != std::string_view::npos && same_ignoring_case(trim_blanks(line.substr(0, equals)), key)) {
            value = trim_blanks(line.substr(equals + 1));
            return true;
        }
    }
    return false;
}

uint32_t copy_directory(const char* suffix, char* buffer, uint32_t characters) {
    const char* windir = std::getenv("WINDIR");
    if (windir == nullptr || windir[0] == '\0') return 0;
    const std::string directory = windir + std::string(suffix);
    if (character_count(directory) >= characters) return 0;
    return copy_cut(directory, buffer, characters);
}

}  // namespace

uint32_t read_profile_string(const char* section, const char* key, const char* fallback,
                             char* value, uint32_t characters, const char* file) {
    char directory[utf8_room(260)];
    std::string content;
    std::string_view found;
    if (windows_directory(directory, 260) != 0 &&
        read_whole_file(std::string(directory) + "/" + file, content) &&
        find_profile_value(content, section, key, found)) {
        return copy_cut(found, value, characters);
    }
    return copy_cut(fallback, value, characters);
}

uint32_t windows_directory(char* buffer, uint32_t characters) {
    return copy_directory("", buffer, characters);
}

uint32_t system_directory(char* buffer, uint32_t characters) {
    return copy_directory("/system32", buffer, characters);
}
