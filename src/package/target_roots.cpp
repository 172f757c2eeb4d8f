#include "package/target_roots.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstring>

void resolve_roots(target_roots& roots) {
    char drive[utf8_room(drive_capacity)];
    char directory[utf8_room(folder_capacity)];
    read_profile_string("ulvekern", "ulvedrive", "", drive, drive_capacity, "ulverno.ini");
    read_profile_string("ulvekern", "ulvedir", "", directory, folder_capacity, "ulverno.ini");
    std::snprintf(roots.install_root, sizeof roots.install_root, "%s:\\%s", drive, directory);

    if (windows_directory(roots.windows_dir, directory_capacity) == 0) {
        std::strcpy(roots.windows_dir, "C:windows");
    }
    if (system_directory(roots.system_dir, directory_capacity) == 0) {
        std::strcpy(roots.system_dir, "C:windowssystem");
    }
}
