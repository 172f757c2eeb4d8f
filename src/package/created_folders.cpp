#include "package/created_folders.h"

#include "package/windows_names.h"
#include "platform/platform.h"

#include <new>

namespace {

// The folder of a path where only "/" separates folders.
std::string_view posix_folder(std::string_view path) {
    const size_t slash = path.rfind('/');
    return path.substr(0, slash == std::string_view::npos ? 0 : slash);
}

}  // namespace

bool by_folder::operator()(const std::string& a, const std::string& b) const {
    const std::string_view a_posix = posix_folder(a);
    const std::string_view b_posix = posix_folder(b);
    if (a_posix != b_posix) return a_posix < b_posix;
    return folder_of_name(a) < folder_of_name(b);
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
