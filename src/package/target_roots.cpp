#include "package/target_roots.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstring>

void resolve_roots(target_roots& roots) {
    char drive[9];
    char directory[99];
    read_profile_string("ulvekern", "ulvedrive", "", drive, sizeof drive, "ulverno.ini");
    read_profile_string("ulvekern", "ulvedir", "", directory, sizeof directory, "ulverno.ini");
    std::snprintf(roots.install_root, sizeof roots.install_root, "%s:\\%s", drive, directory);

    if (windows_directory(roots.windows_dir, sizeof roots.windows_dir) == 0) {
        std::strcpy(roots.windows_dir, "C:windows");
    }
    if (system_directory(roots.system_dir, sizeof roots.system_dir) == 0) {
        std::strcpy(roots.system_dir, "C:windowssystem");
    }
}
