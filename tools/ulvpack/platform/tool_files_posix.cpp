// ulvpack's own file services on POSIX, with no-follow opens relative to an
// open folder, so that no link planted below a folder is ever followed.
#include "platform/tool_files.h"

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
    return std::strerror(errno);
}

// Only a regular file is taken, as the updater takes one (keep_if_regular).
int regular_or_why(int handle, std::string& why) {
    bool is_folder = false;
    const int kept = keep_if_regular(handle, &is_folder);
    if (kept == -1) why = is_folder ? "it is a folder" : "it is not a regular file";
    return kept;
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

bool write_all(int handle, const void* bytes, size_t length, std::string& why) {
    for (size_t done = 0; done < length;) {
        const ssize_t put = write(handle, static_cast<const char*>(bytes) + done, length - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            why = put < 0 ? system_reason() : "the disk is full or a size limit was reached";
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

int open_package(const fs::path& path, std::string& why) {
    const int handle = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (handle < 0) {
        why = system_reason();
        return -1;
    }
    return regular_or_why(handle, why);
}

namespace {

file_identity identity_of_status(const struct stat& status) {
    return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

}  // namespace

file_identity identity_of_path(const fs::path& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? identity_of_status(status) : file_identity{};
}

int open_source_file(const fs::path& path, bool follow_link, const file_identity& found, std::string& why) {
    const int handle = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow_link ? 0 : O_NOFOLLOW));
    if (handle < 0) {
        why = errno == ELOOP ? "it became a link" : system_reason();
        return -1;
    }
    file_identity opened;
    if (found.index != 0 && (identity_of(handle, opened) != 1 || !same_file(opened, found))) {
        why = "it is not the file that was there when its folder was read";
        close(handle);
        return -1;
    }
    return regular_or_why(handle, why);
}

bool is_link(const fs::path& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
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

int create_below(const fs::path& folder, const std::vector<std::string>& parts, bool replace, std::string& why,
                 file_identity* existing) {
    why.clear();
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    int parent = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        why = folder.u8string() + ": " + system_reason();
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
    struct stat status;
    if (fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        why = S_ISLNK(status.st_mode) ? "it is a link"
            : !S_ISREG(status.st_mode) ? "it is not a regular file"
            : !replace                   ? "it exists (--force replaces it)"
            : "";
        if (!replace && S_ISREG(status.st_mode) && existing != nullptr) *existing = identity_of_status(status);
        // A new file in its place, not a write into the old one, which may be a hard link to a file elsewhere.
        if (why.empty() && unlinkat(parent, name, 0) != 0) why = system_reason();
    }
    int handle = -1;
    if (why.empty()) {
        handle = openat(parent, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
        if (handle < 0) why = system_reason();
    }
    close(parent);
    if (handle >= 0) handle = regular_or_why(handle, why);
    if (handle < 0) why = shown.u8string() + ": " + why;
    return handle;
}
