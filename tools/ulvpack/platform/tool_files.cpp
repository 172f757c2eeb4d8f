#include "platform/tool_files.h"

#include <cstdio>
#include <random>

namespace fs = std::filesystem;

namespace {

entry_kind kind_of(fs::file_type type) {
    switch (type) {
        case fs::file_type::not_found: return entry_kind::missing;
        case fs::file_type::regular: return entry_kind::file;
        case fs::file_type::directory: return entry_kind::folder;
        case fs::file_type::fifo: return entry_kind::fifo;
        case fs::file_type::socket: return entry_kind::socket;
        case fs::file_type::block:
        case fs::file_type::character: return entry_kind::device;
        default: return entry_kind::other;
    }
}

}  // namespace

bool status_of(const fs::path& path, bool through_links, entry_status& status, std::string& why) {
    std::error_code error;
    const fs::file_status found = through_links ? fs::status(path, error) : fs::symlink_status(path, error);
    status = entry_status{};
    if (found.type() == fs::file_type::not_found) {
        why = error ? error.message() : "No such file or directory";
        return true;
    }
    if (error) {
        why = error.message();
        return false;
    }
    status.kind = kind_of(found.type());
    const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    status.read_only = (found.permissions() & writable) == fs::perms::none;
    if (status.kind == entry_kind::file) status.size = fs::file_size(path, error);
    if (error) why = error.message();
    return !error;
}

bool list_folder(const fs::path& folder, std::vector<fs::path>& entries, std::string& why) {
    entries.clear();
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) entries.push_back(it->path());
    if (error) why = error.message();
    return !error;
}

bool resolved_path(const fs::path& path, bool must_exist, fs::path& resolved, std::string& why) {
    std::error_code error;
    resolved = must_exist ? fs::canonical(path, error) : fs::weakly_canonical(path, error);
    if (error) why = error.message();
    return !error;
}

bool is_folder(const fs::path& path) {
    entry_status status;
    std::string why;
    return status_of(path, true, status, why) && status.kind == entry_kind::folder;
}

void remove_path(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

fs::path temporary_name_beside(const fs::path& out) {
    std::random_device source;
    const unsigned long long value = (static_cast<unsigned long long>(source()) << 32) ^ source();
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", value);
    return out.parent_path() / fs::u8path("." + out.filename().u8string() + "." + digits + ".partial");
}
