#include "package/created_folders.h"

#include "platform/platform.h"

#include <new>

namespace {

std::string_view folder_part(std::string_view path, const char* separators) {
    const size_t separator = path.find_last_of(separators);
    return path.substr(0, separator == std::string_view::npos ? 0 : separator);
}

}  // namespace

bool by_folder::operator()(const std::string& a, const std::string& b) const {
    const std::string_view a_posix = folder_part(a, "/");
    const std::string_view b_posix = folder_part(b, "/");
    if (a_posix != b_posix) return a_posix < b_posix;
    return folder_part(a, "/\\") < folder_part(b, "/\\");
}

bool note_created(created_folders& folders, const char* path) {
    try {
        folders.insert(path);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

const char* flush_created_folders(const created_folders& folders) {
    for (const std::string& path : folders) {
        if (!flush_folder_of(path.c_str())) return path.c_str();
    }
    return nullptr;
}
