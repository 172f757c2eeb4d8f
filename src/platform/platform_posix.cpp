// The POSIX port of the file, profile and directory services.
//
// The Windows directory is the value of WINDIR; the system directory is
// WINDIR followed by /system32; profile files are read from the Windows
// directory, as GetPrivateProfileString does. File names, the environment and
// profile files are taken as the bytes they are, which is UTF-8 on the
// systems this port serves: the program's own encoding.
#include "platform/platform.h"
#include "platform/posix_files.h"
#include "platform/profile_file.h"

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

system_error last_failure;

// The status of the file open at `handle`, when it is a regular file;
// otherwise false, having kept why.
bool regular_status(int handle, struct stat& status) {
    if (fstat(handle, &status) != 0) {
        keep_errno();
        return false;
    }
    if (S_ISREG(status.st_mode)) return true;
    last_failure = {S_ISDIR(status.st_mode) ? error_cause::folder : error_cause::not_a_file, 0};
    return false;
}

file_identity identity_in(const struct stat& status) {
    return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

// The identity in `status`, once `stat_result` says it was read; otherwise 0,
// having kept why.
int identity_read(int stat_result, const struct stat& status, file_identity& identity) {
    if (stat_result != 0) {
        keep_errno();
        return 0;
    }
    identity = identity_in(status);
    return 1;
}

// Keeps the handle open on a regular file; closes anything else.
int keep_if_regular(int handle) {
    struct stat status;
    if (!regular_status(handle, status)) {
        close(handle);
        return -1;
    }
    fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    return handle;
}

}  // namespace

void keep_errno() {
    last_failure = {error_cause::system, static_cast<uint32_t>(errno)};
}

system_error last_system_error() {
    return last_failure;
}

const char* system_error_text(const system_error& error) {
    const char* found = refusal_text(error.cause);
    return found != nullptr ? found : std::strerror(static_cast<int>(error.code));
}

// Only a regular file is used as one: anything else counts as a file that
// cannot be opened.
int open_regular_file(const char* path, int flags) {
    const int handle = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (handle >= 0) return keep_if_regular(handle);
    keep_errno();
    return -1;
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
    return identity_read(fstat(handle, &status), status, identity);
}

int identity_of_path(const char* path, file_identity& identity) {
    struct stat status;
    return identity_read(stat(path, &status), status, identity);
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
    if (handle < 0) {
        keep_errno();
        return creation_failed;
    }
    struct stat status;
    if (!regular_status(handle, status)) {
        close(handle);
        return creation_failed;
    }
    for (unsigned i = 0; i < kept_count; ++i) {
        if (same_file(identity_in(status), kept[i])) {
            close(handle);
            return creation_refused;
        }
    }
    if (status.st_size != 0 && ftruncate(handle, 0) != 0) {
        keep_errno();
        close(handle);
        return creation_failed;
    }
    return handle;
}

int nothing_at(const char* path) {
    struct stat status;
    return lstat(path, &status) != 0 && (errno == ENOENT || errno == ENOTDIR) ? 1 : 0;
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
        if (got < 0) {
            keep_errno();
            return -1;
        }
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return static_cast<int32_t>(done);
}

int stamp_of(int handle, file_stamp& stamp) {
    struct stat status;
    if (fstat(handle, &status) != 0) {
        keep_errno();
        return 0;
    }
    const auto nanoseconds = [](const timespec& at) {
        return static_cast<uint64_t>(at.tv_sec) * 1000000000u + static_cast<uint64_t>(at.tv_nsec);
    };
    stamp = {static_cast<uint64_t>(status.st_size), nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
    return 1;
}

int rewind_file(int handle) {
    if (lseek(handle, 0, SEEK_SET) == 0) return 1;
    keep_errno();
    return 0;
}

int64_t bytes_left(int handle) {
    struct stat status;
    const off_t position = fstat(handle, &status) == 0 ? lseek(handle, 0, SEEK_CUR) : -1;
    if (position < 0) {
        keep_errno();
        return -1;
    }
    if (position > status.st_size) {
        last_failure = {error_cause::shrank, 0};
        return -1;
    }
    return static_cast<int64_t>(status.st_size - position);
}

int32_t write_bytes(int handle, const void* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        const ssize_t put = write(handle, static_cast<const char*>(buffer) + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            // Nothing taken, and no error said: no room is left.
            if (put == 0) errno = ENOSPC;
            keep_errno();
            break;
        }
        done += static_cast<uint32_t>(put);
    }
    return static_cast<int32_t>(done);
}

int close_file(int handle) {
    if (close(handle) == 0) return 1;
    keep_errno();
    return 0;
}

int delete_open_file(const char* path, int handle) {
    const char* slash = std::strrchr(path, '/');
    const std::string folder = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
    const char* name = slash == nullptr ? path : slash + 1;
    const int in = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (in < 0) {
        keep_errno();
        return 0;
    }
    struct stat named;
    struct stat held;
    const bool same = fstatat(in, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && fstat(handle, &held) == 0 &&
                      named.st_dev == held.st_dev && named.st_ino == held.st_ino;
    const bool deleted = same && unlinkat(in, name, 0) == 0;
    if (same && !deleted) keep_errno();
    close(in);
    return deleted ? 1 : 0;
}

namespace {

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
    file_bytes bytes;
    std::string_view found;
    const bool listed = read_profile_file(file, bytes) && find_profile_value(bytes.text(), section, key, found);
    return copy_cut(listed ? found : fallback, value, characters);
}

uint32_t windows_directory(char* buffer, uint32_t characters) {
    return copy_directory("", buffer, characters);
}

uint32_t system_directory(char* buffer, uint32_t characters) {
    return copy_directory("/system32", buffer, characters);
}
