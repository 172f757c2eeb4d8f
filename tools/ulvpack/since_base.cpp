#include "since_base.h"

#include "name_rules.h"
#include "name_set.h"
#include "package_scan.h"

#include "package/target_names.h"
#include "platform/platform.h"
#include "platform/tool_files.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

// Reads the next `length` bytes of the file open at `handle` and says whether
// they are `expected`.
bool same_bytes(int handle, const unsigned char* expected, uint32_t length, std::vector<char>& buffer) {
    if (buffer.size() < length) buffer.resize(length);
    return read_bytes(handle, buffer.data(), length) == static_cast<int32_t>(length) &&
           std::memcmp(buffer.data(), expected, length) == 0;
}

// Every folder that leads to `key` (a windows_key), roots included.
void add_folders_of(const std::string& key, std::set<std::string>& folders) {
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
        folders.insert(key.substr(0, slash));
    }
}

// One target of a BASE package, compared with the release's file of its name
// as its pieces arrive.
struct base_target {
    const source_file* file = nullptr;  // the release's file of that name, or none
    int handle = -1;
    bool same = false;
};

bool compare_with_package(const std::vector<source_file>& files, const std::string& base, base_comparison& comparison,
                          std::vector<bool>& unchanged, std::vector<bool>& in_base, std::string& problem,
                          bool& unreadable) {
    std::unordered_map<std::string, size_t> by_key;
    for (size_t i = 0; i < files.size(); ++i) by_key[windows_key(files[i].name)] = i;
    std::vector<char> buffer;
    base_target current;
    const auto finish_target = [&]() {
        if (current.handle != -1) {
            // Same bytes, and no more of them in the release's file.
            char more;
            current.same = current.same && read_bytes(current.handle, &more, 1) == 0;
            close_file(current.handle);
            current.handle = -1;
        }
        if (current.file != nullptr) unchanged[static_cast<size_t>(current.file - files.data())] = current.same;
    };
    scan_handlers handlers;
    handlers.on_piece = [&](const scanned_target& target, const unsigned char* bytes, uint32_t length) {
        if (target.pieces == 1) {
            const std::string key = windows_key(target.name);
            add_folders_of(key, comparison.folders);
            const auto found = by_key.find(key);
            current = base_target{};
            if (found == by_key.end()) {
                comparison.removed.emplace(key, target.name);
            } else {
                current.file = &files[found->second];
                in_base[found->second] = true;
                std::string why;
                current.handle = open_source_file(current.file->file, current.file->follow_link, current.file->identity, why);
                current.same = current.handle != -1 && current.file->size == target.file_size;
            }
        }
        if (current.same) current.same = same_bytes(current.handle, bytes, length, buffer);
        if (target.complete) finish_target();
        return true;
    };
    scan_result result;
    std::string why;
    const scan_outcome outcome = scan_package(base, handlers, result, why);
    if (current.handle != -1) close_file(current.handle);
    if (outcome == scan_outcome::not_opened || outcome == scan_outcome::unreadable) {
        problem = "cannot read BASE " + base + ": " + (outcome == scan_outcome::not_opened ? why : result.refusal.text);
        unreadable = true;
        return false;
    }
    if (!result.would_apply) {
        problem = "BASE " + base + " is not a valid package: " + result.refusal.text;
        return false;
    }
    return true;
}

bool same_file_contents(const source_file& file, const fs::path& other, std::vector<char>& buffer) {
    std::string why;
    const int mine = open_source_file(file.file, file.follow_link, file.identity, why);
    const int theirs = mine == -1 ? -1 : open_source_file(other, true, file_identity{}, why);
    bool same = theirs != -1;
    std::vector<char> chunk;
    for (uint64_t left = file.size; same && left > 0;) {
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(left, 1 << 20));
        chunk.resize(length);
        same = read_bytes(theirs, chunk.data(), length) == static_cast<int32_t>(length) &&
               same_bytes(mine, reinterpret_cast<const unsigned char*>(chunk.data()), length, buffer);
        left -= length;
    }
    // Neither file may hold more: a release file that grew is changed (and then refused when packed).
    char more;
    same = same && read_bytes(theirs, &more, 1) == 0 && read_bytes(mine, &more, 1) == 0;
    if (mine != -1) close_file(mine);
    if (theirs != -1) close_file(theirs);
    return same;
}

bool compare_with_folder(const std::vector<source_file>& files, const fs::path& base, base_comparison& comparison,
                         std::vector<bool>& unchanged, std::vector<bool>& in_base, std::string& problem,
                         bool& unreadable) {
    std::vector<char> buffer;
    for (size_t i = 0; i < files.size(); ++i) {
        std::error_code error;
        const fs::path there = path_below(base, files[i].name);
        in_base[i] = fs::is_regular_file(there, error);
        unchanged[i] = in_base[i] && fs::file_size(there, error) == files[i].size && same_file_contents(files[i], there, buffer);
    }
    // What BASE has: its folders, and the files the release no longer carries
    // (through links too, as the files were compared through them).
    std::unordered_map<std::string, bool> in_release;
    for (const source_file& file : files) in_release[windows_key(file.name)] = true;
    bool any_root = false;
    for (const root_prefix& prefix : root_prefixes) {
        const std::string root(prefix.text, std::strlen(prefix.text) - 1);
        const fs::path folder = base / root;
        std::error_code error;
        if (!fs::is_directory(folder, error)) continue;
        any_root = true;
        const auto options = fs::directory_options::follow_directory_symlink;
        for (fs::recursive_directory_iterator it(folder, options, error), end; !error && it != end; it.increment(error)) {
            const std::string name = root + "/" + it->path().lexically_relative(folder).generic_u8string();
            const std::string key = windows_key(name);
            if (it->is_directory(error)) {
                comparison.folders.insert(key);
            } else if (it->is_regular_file(error) && in_release.count(key) == 0) {
                comparison.removed.emplace(key, name);
            }
        }
        if (error) {
            problem = "cannot read BASE " + folder.u8string() + ": " + error.message();
            unreadable = true;
            return false;
        }
    }
    if (!any_root) {
        problem = "BASE " + base.u8string() + " has none of the folders ulverno, windows and windows_system: "
                  "it is not laid out like the sources";
        unreadable = true;
        return false;
    }
    return true;
}

}  // namespace

fs::path path_below(const fs::path& folder, const std::string& name) {
    fs::path path = folder;
    for (const std::string& part : name_parts(name)) path /= fs::u8path(part);
    return path;
}

bool find_below(const fs::path& folder, const std::string& name, fs::path& path) {
    path = folder;
    bool found = true;
    for (const std::string& part : name_parts(name)) {
        const fs::path spelled = path / fs::u8path(part);
        std::error_code error;
        if (!found || fs::exists(fs::symlink_status(spelled, error))) {
            path = spelled;
        } else {
            // Another spelling of the same name, as Windows compares names.
            const std::string wanted = windows_key(part);
            path = spelled;
            found = false;
            for (fs::directory_iterator it(spelled.parent_path(), error), end; !error && it != end; it.increment(error)) {
                if (windows_key(it->path().filename().u8string()) == wanted) {
                    path = it->path();
                    found = true;
                    break;
                }
            }
        }
    }
    return found;
}

std::string file_in_place_of_folder(const base_comparison& comparison, const std::string& name) {
    // Such a file is among those the release no longer has: a release never
    // has a file where another of its names needs a folder.
    const std::string key = windows_key(name);
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
        const auto found = comparison.removed.find(key.substr(0, slash));
        if (found != comparison.removed.end()) return found->second;
    }
    return "";
}

std::string folder_name(const std::string& name) {
    return name.substr(0, name.find_last_of("/\\"));
}

std::string folder_key(const std::string& name) {
    const std::string key = windows_key(name);
    return key.substr(0, key.rfind('/'));
}

bool compare_with_base(const std::vector<source_file>& files, const std::string& base, base_comparison& comparison,
                       std::string& problem, bool& unreadable) {
    // The roots are there on every installation.
    for (const root_prefix& prefix : root_prefixes) comparison.folders.insert(std::string(prefix.text, std::strlen(prefix.text) - 1));
    std::vector<bool> unchanged(files.size(), false);
    std::vector<bool> in_base(files.size(), false);
    std::error_code error;
    const fs::path base_path = fs::u8path(base);
    const bool compared =
        fs::is_directory(base_path, error)
            ? compare_with_folder(files, base_path, comparison, unchanged, in_base, problem, unreadable)
            : compare_with_package(files, base, comparison, unchanged, in_base, problem, unreadable);
    if (!compared) return false;
    for (size_t i = 0; i < files.size(); ++i) {
        if (unchanged[i]) {
            ++comparison.unchanged;
            comparison.bytes_saved += files[i].size;
        } else {
            (in_base[i] ? comparison.changed : comparison.added).push_back(files[i]);
        }
    }
    return true;
}
