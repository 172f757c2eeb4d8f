// The POSIX port's private copies. No lock keeps another program from
// writing a file here, so what must stay as it was checked is read from a
// copy nobody else can reach. Kept apart so that the benchmark can measure
// what the copy costs.
#include "platform/platform.h"
#include "platform/posix_files.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int holds_files_unchanged() {
    return 0;
}

const char* private_file_folder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && folder[0] != '\0' ? folder : "/tmp";
}

// A file with no name: nobody else can open it, and it is gone once closed.
int create_private_file() {
    const std::string in = private_file_folder();
    const int handle = open(in.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (handle >= 0) return handle;
    // Where the file system has no nameless files: a name nobody can guess, taken at once and dropped.
    std::string name = in + "/.ulvupdate-XXXXXX";
    const int named = mkostemp(name.data(), O_CLOEXEC);
    if (named < 0) {
        keep_errno();
        return -1;
    }
    unlink(name.c_str());
    return named;
}
