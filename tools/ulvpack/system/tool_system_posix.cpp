// ulvpack's own file services on POSIX, with no-follow opens relative to an
// open folder, so that no link planted below a folder is ever followed.
#include "system/tool_system.h"

#include "platform/platform.h"
#include "platform/posix_files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string system_reason() {
    return system_error_text(system_error{error_cause::system, static_cast<uint32_t>(errno)});
}

// Opens the folder `name` inside `parent` without following a link, making
// it when it is missing.
int open_or_make_folder(int parent, const std::string& name, std::string& why) {
    int folder = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0 && errno == ENOENT) {
        if (mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
            why = "cannot make the folder: " + system_reason();
            return -1;
        }
        folder = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (folder < 0) why = errno == ELOOP || errno == ENOTDIR ? "it is a link or not a folder" : system_reason();
    return folder;
}

}  // namespace

// As the updater opens a file, but never through a link in its place.
int open_unless_link(const fs::path& path, std::string& why) {
    const int handle = open_regular_file(path.c_str(), O_RDONLY | O_NOFOLLOW);
    if (handle >= 0) return handle;
    const system_error error = last_system_error();
    why = error.cause == error_cause::system && error.code == ELOOP ? "it became a link" : system_error_text(error);
    return -1;
}

bool is_link(const fs::path& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool permission_bits(int handle, unsigned& bits) {
    struct stat status;
    if (fstat(handle, &status) != 0) return false;
    bits = static_cast<unsigned>(status.st_mode & 07777);
    return true;
}

namespace {

// The path as given (the working folder does not change), so that a long
// absolute one still fits.
char interrupted_temporary[PATH_MAX];
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction before[3];

void remove_and_end(int signal_number) {
    if (interrupted_temporary[0] != '\0') unlink(interrupted_temporary);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

void remove_if_interrupted(const fs::path& temporary) {
    const std::string path = temporary.string();
    if (path.size() >= sizeof interrupted_temporary) return;
    std::memcpy(interrupted_temporary, path.c_str(), path.size() + 1);
    for (int i = 0; i < 3; ++i) {
        sigaction(ending_signals[i], nullptr, &before[i]);
        // A signal the tool was started to ignore (nohup, trap '') stays ignored.
        if (before[i].sa_handler != SIG_IGN) std::signal(ending_signals[i], remove_and_end);
    }
}

void forget_temporary() {
    if (interrupted_temporary[0] == '\0') return;
    for (int i = 0; i < 3; ++i) sigaction(ending_signals[i], &before[i], nullptr);
    interrupted_temporary[0] = '\0';
}

int create_temporary_beside(const fs::path& out, fs::path& temporary, std::string& why) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporary_name_beside(out);
        const int handle = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (handle >= 0) return handle;
        if (errno != EEXIST) break;
    }
    why = "cannot create a file beside " + out.u8string() + ": " + system_reason();
    return -1;
}

bool replace_file(const fs::path& temporary, const fs::path& out, std::string& why, const char* what) {
    if (std::rename(temporary.c_str(), out.c_str()) != 0) {
        why = std::string("cannot put ") + what + " in the place of " + out.u8string() + ": " + system_reason();
        return false;
    }
    // As the updater flushes the folders of the files it creates.
    if (flush_folder_of(out.c_str()) == 1) return true;
    why = "cannot flush the folder " + out.parent_path().u8string();
    return false;
}

namespace {

// Makes way for the file `name` in the folder open at `parent`: nothing is
// there, or a regular file that is removed when `replace`. Else says why.
bool make_way(int parent, const char* name, bool replace, std::string& why, file_identity* existing) {
    struct stat status;
    if (fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return true;
    why = S_ISLNK(status.st_mode) ? "it is a link"
        : !S_ISREG(status.st_mode) ? "it is not a regular file"
        : !replace                   ? "it exists (--force replaces it)"
        : "";
    if (!replace && S_ISREG(status.st_mode) && existing != nullptr) {
        *existing = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    }
    // A new file in its place, not a write into the old one, which may be a hard link to a file elsewhere.
    if (why.empty() && unlinkat(parent, name, 0) != 0) why = system_reason();
    return why.empty();
}

}  // namespace

int create_below(const fs::path& folder, const std::vector<std::string>& parts, bool replace, std::string& why,
                 file_identity* existing) {
    why.clear();
    std::error_code made;
    fs::create_directories(folder, made);
    int parent = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        // A folder that could not be made is missing for that reason.
        why = folder.u8string() + ": " + (made ? made.message() : system_reason());
        return -1;
    }
    fs::path shown = folder;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        shown /= fs::u8path(parts[i]);
        const int next = open_or_make_folder(parent, parts[i], why);
        close(parent);
        if (next < 0) {
            why = shown.u8string() + ": " + why;
            return -1;
        }
        parent = next;
    }
    shown /= fs::u8path(parts.back());
    const char* name = parts.back().c_str();
    // Created where nothing is, it is a new regular file: never a FIFO, never through a link.
    int handle = -1;
    if (make_way(parent, name, replace, why, existing)) {
        handle = openat(parent, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (handle < 0) why = system_reason();
    }
    close(parent);
    if (handle < 0) why = shown.u8string() + ": " + why;
    return handle;
}
