#include "package/target_roots.h"

#include "package/target_names.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Room for every value a path can hold, and one character more: a value that
// fills it is longer than any path, and so is every path below it.
constexpr uint32_t profile_value_characters = longest_windows_path + 2;

heap_string read_install_root() {
    const heap_string drive(new (std::nothrow) char[utf8_room(profile_value_characters)]);
    const heap_string directory(new (std::nothrow) char[utf8_room(profile_value_characters)]);
    if (!drive || !directory) return nullptr;
    read_profile_string("ulvekern", "ulvedrive", "", drive.get(), profile_value_characters, "ulverno.ini");
    read_profile_string("ulvekern", "ulvedir", "", directory.get(), profile_value_characters, "ulverno.ini");
    return install_root_of(drive.get(), directory.get());
}

}  // namespace

heap_string install_root_of(const char* drive, const char* directory) {
    const size_t size = std::strlen(drive) + std::strlen(directory) + 3;
    heap_string root(new (std::nothrow) char[size]);
    if (root) std::snprintf(root.get(), size, "%s:\\%s", drive, directory);
    return root;
}

void resolve_roots(target_roots& roots) {
    roots.install_root = read_install_root();
    if (windows_directory(roots.windows_dir, directory_capacity) == 0) {
        std::strcpy(roots.windows_dir, "C:windows");
    }
    if (system_directory(roots.system_dir, directory_capacity) == 0) {
        std::strcpy(roots.system_dir, "C:windowssystem");
    }
}
