// The benchmark's signed updater installing from the package itself, as the
// Windows one does where a lock holds the package: what the private copy
// costs is the difference. Never shipped: nothing here keeps the package
// from changing after its signature was checked.
#include "platform/platform.h"

int holds_files_unchanged() {
    return 1;
}

const char* private_file_folder() {
    return "";
}

int create_private_file() {
    return -1;
}
