// The POSIX port of the services that make written files survive a power
// cut. Kept apart so that the tests can link a stand-in that records the
// flushes and makes them fail on demand.
#include "platform/platform.h"
#include "platform/posix_files.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int flush_file(int handle) {
    if (fsync(handle) == 0) return 1;
    keep_errno();
    return 0;
}

int flush_folder_of(const char* path) {
    std::string folder = path;
    const size_t slash = folder.rfind('/');
    folder.resize(slash == std::string::npos ? 0 : slash == 0 ? 1 : slash);
    const int handle = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        keep_errno();
        return 0;
    }
    // Some file systems cannot flush a folder (EINVAL): they keep names by
    // other means, and nothing more can be done for them.
    const bool flushed = fsync(handle) == 0 || errno == EINVAL;
    if (!flushed) keep_errno();
    close(handle);
    return flushed ? 1 : 0;
}
