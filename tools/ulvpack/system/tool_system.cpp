// What ulvpack's system services share on every system: std::filesystem,
// and the updater's own file services.
#include "system/tool_system.h"

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

namespace {

// Why the updater's file service that failed last did.
std::string system_reason() {
    return system_error_text(last_system_error());
}

}  // namespace

int open_package(const fs::path& path, std::string& why) {
    const int handle = open_for_reading(path.u8string().c_str());
    if (handle == -1) why = system_reason();
    return handle;
}

int open_source_file(const fs::path& path, bool follow_link, const file_identity& found, std::string& why) {
    const int handle = follow_link ? open_package(path, why) : open_unless_link(path, why);
    if (handle == -1) return -1;
    file_identity opened;
    if (found.index == 0 || (identity_of(handle, opened) == 1 && same_file(opened, found))) return handle;
    why = "it is not the file that was there when its folder was read";
    close_file(handle);
    return -1;
}

// The updater's writes count what they wrote in 31 bits: a larger buffer
// goes in steps of 1 GiB.
bool write_all(int handle, const void* bytes, size_t length, std::string& why) {
    for (size_t done = 0; done < length;) {
        const uint32_t step = length - done < 0x40000000u ? static_cast<uint32_t>(length - done) : 0x40000000u;
        if (write_bytes(handle, static_cast<const char*>(bytes) + done, step) != static_cast<int32_t>(step)) {
            why = system_reason();
            return false;
        }
        done += step;
    }
    return true;
}
