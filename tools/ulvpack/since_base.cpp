#include "since_base.h"

#include "folder_walk.h"
#include "name_encoding.h"
#include "name_rules.h"
#include "names_by_key.h"
#include "package_release.h"
#include "package_scan.h"

#include "package/release_number.h"
#include "package/target_names.h"
#include "package/windows_names.h"
#include "platform/platform.h"
#include "system/tool_system.h"

#include <algorithm>
#include <cstdio>
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

// One target of a BASE package, compared with the release's file of its name
// as its pieces arrive.
struct base_target {
    const source_file* file = nullptr;  // the release's file of that name, or none
    int handle = -1;
    bool same = false;
};

// What comparing the release with a BASE package holds from one piece to the next.
struct package_comparison {
    const std::vector<source_file>& files;
    base_comparison& comparison;
    std::vector<bool>& unchanged;
    std::vector<bool>& in_base;
    std::unordered_map<std::string, size_t> by_key;  // windows_key of each of `files` to its index
    std::vector<char> buffer;
    base_target current;
};

// A target of BASE begins: its folders are BASE's, and the release's file of
// its name, if any, is opened to be compared as the target's pieces arrive.
void begin_base_target(package_comparison& state, const scanned_target& target) {
    const std::string key = windows_key(target.name);
    for (const std::string& folder : folders_of_key(key)) state.comparison.folders.insert(folder);
    state.current = base_target{};
    const auto found = state.by_key.find(key);
    if (found == state.by_key.end()) {
        state.comparison.removed.emplace(key, target.name);
        return;
    }
    base_target& current = state.current;
    current.file = &state.files[found->second];
    state.in_base[found->second] = true;
    std::string why;
    current.handle = open_source_file(current.file->file, current.file->follow_link, current.file->identity, why);
    current.same = current.handle != -1 && current.file->size == target.file_size;
}

// A target of BASE is complete: the release's file is unchanged when it had
// the same bytes, and no more of them.
void finish_base_target(package_comparison& state) {
    base_target& current = state.current;
    if (current.handle != -1) {
        char more;
        current.same = current.same && read_bytes(current.handle, &more, 1) == 0;
        close_file(current.handle);
        current.handle = -1;
    }
    if (current.file != nullptr) state.unchanged[static_cast<size_t>(current.file - state.files.data())] = current.same;
}

scan_handlers comparing_handlers(package_comparison& state) {
    scan_handlers handlers;
    handlers.on_piece = [&state](const scanned_target& target, const unsigned char* bytes, uint32_t length) {
        if (target.pieces == 1) begin_base_target(state, target);
        base_target& current = state.current;
        if (current.same) current.same = same_bytes(current.handle, bytes, length, state.buffer);
        if (target.complete) finish_base_target(state);
        return true;
    };
    // Such as stray bytes after the last target: a classic package cut inside its last record.
    handlers.on_finding = [&state](const scan_finding& finding) {
        if (!finding.error) state.comparison.warnings.push_back(finding);
    };
    return handlers;
}

outcome compare_with_package(const std::vector<source_file>& files, const std::string& base,
                             base_comparison& comparison, std::vector<bool>& unchanged, std::vector<bool>& in_base) {
    package_comparison state{files, comparison, unchanged, in_base, {}, {}, {}};
    for (size_t i = 0; i < files.size(); ++i) state.by_key[windows_key(files[i].name)] = i;
    scan_handlers handlers = comparing_handlers(state);
    package_release release;
    watch_release(handlers, release);
    scan_result result;
    std::string why;
    const scan_outcome scanned = scan_package(base, handlers, result, why);
    if (state.current.handle != -1) close_file(state.current.handle);
    if (scanned == scan_outcome::not_opened || scanned == scan_outcome::unreadable) {
        return failure("cannot read BASE " + base + ": " + (scanned == scan_outcome::not_opened ? why : result.refusal.text));
    }
    if (!result.would_apply) return refusal("BASE " + base + " is not a valid package: " + result.refusal.text);
    comparison.release = release_number(release);
    comparison.removed.erase(windows_key(release_target_name));
    return {};
}

bool same_file_contents(const source_file& file, const fs::path& other, bool follow_link, std::vector<char>& buffer) {
    std::string why;
    const int mine = open_source_file(file.file, file.follow_link, file.identity, why);
    const int theirs = mine == -1 ? -1 : open_source_file(other, follow_link, file_identity{}, why);
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

// A file of a folder BASE: its name as the walk found it, and where it is.
struct base_file {
    std::string name;
    fs::path path;
};

// The name as a package made from BASE would hold it: composed as the
// sources' names are, when the code page can hold it.
std::string as_packed(const std::string& name) {
    std::string packed;
    std::string stored;
    std::string problem;
    return packable_name(name, packed, stored, problem) ? packed : name;
}

// What a folder BASE holds, walked by the rule of the release's sources:
// its files by windows_key, and the windows_key of its folders. Says what it
// leaves out. Not done when a folder cannot be read (failed), and when two
// files are one for Windows (refused).
outcome read_base_folder(const fs::path& base, bool follow_links, std::map<std::string, base_file>& files,
                         std::set<std::string>& folders) {
    std::string problem;
    folder_walk walk;
    walk.follow_links = follow_links;
    walk.on_file = [&](const std::string& name, const fs::path& file) {
        const auto added = files.emplace(windows_key(as_packed(name)), base_file{name, file});
        if (!added.second) {
            problem = "BASE has both " + quoted_name(added.first->second.name) + " and " + quoted_name(name) +
                      ", which Windows takes for one file";
        }
        return added.second;
    };
    walk.on_folder = [&](const std::string& name, const fs::path&, bool) { folders.insert(windows_key(as_packed(name))); };
    walk.on_left_out = [](const fs::path& path, const std::string& why) {
        std::fprintf(stderr, "ulvpack create: left out of BASE %s: %s\n", shown(path).c_str(), why.c_str());
    };
    bool any_root = false;
    for (const root_prefix& prefix : root_prefixes) {
        const std::string root = root_folder(prefix);
        if (!is_folder(base / root)) continue;
        any_root = true;
        std::string why;
        if (walk_folder(walk, root, base / root, why)) continue;
        return why.empty() ? refusal(problem) : failure(why);
    }
    if (any_root) return {};
    return failure("BASE " + base.u8string() + " has none of the folders ulverno, windows and windows_system: "
                   "it is not laid out like the sources");
}

// The release that the release file of a folder BASE holds, into `release`:
// 0 when it holds no release number, as an updater counts it. Not done when
// the file cannot be read.
outcome read_base_release(const base_file& file, bool follow_link, uint32_t& release) {
    std::string why;
    const int handle = open_source_file(file.path, follow_link, file_identity{}, why);
    char text[longest_release_text + 1];
    const int32_t length = handle == -1 ? -1 : read_bytes(handle, text, sizeof text);
    if (handle != -1) close_file(handle);
    if (length < 0) {
        return failure("cannot read BASE's release file " + shown(file.path) + (why.empty() ? "" : ": " + why));
    }
    if (!parse_release(std::string(text, static_cast<size_t>(length)), release)) release = 0;
    return {};
}

// Files are matched as Windows compares names, as in a package BASE: a file
// renamed only in case is the same file on an installation.
outcome compare_with_folder(const std::vector<source_file>& files, const fs::path& base, bool follow_links,
                            base_comparison& comparison, std::vector<bool>& unchanged, std::vector<bool>& in_base) {
    std::map<std::string, base_file> base_files;
    const outcome read = read_base_folder(base, follow_links, base_files, comparison.folders);
    if (!read.ok()) return read;
    if (const auto release_file = base_files.find(windows_key(release_target_name)); release_file != base_files.end()) {
        const outcome release = read_base_release(release_file->second, follow_links, comparison.release);
        if (!release.ok()) return release;
        base_files.erase(release_file);
    }
    std::vector<char> buffer;
    for (size_t i = 0; i < files.size(); ++i) {
        const auto found = base_files.find(windows_key(files[i].name));
        if (found == base_files.end()) continue;
        in_base[i] = true;
        entry_status status;
        std::string why;
        unchanged[i] = status_of(found->second.path, true, status, why) && status.size == files[i].size &&
                       same_file_contents(files[i], found->second.path, follow_links, buffer);
        base_files.erase(found);  // what remains, the release no longer has
    }
    for (const auto& file : base_files) comparison.removed.emplace(file.first, file.second.name);
    return {};
}

}  // namespace

bool find_below(const fs::path& folder, const std::string& name, fs::path& path) {
    path = folder;
    bool found = true;
    for (const std::string& part : name_parts(name)) {
        const fs::path spelled = path / fs::u8path(part);
        entry_status status;
        std::string why;
        std::vector<fs::path> entries;
        if (!found || (status_of(spelled, false, status, why) && status.kind != entry_kind::missing)) {
            path = spelled;
        } else if (list_folder(spelled.parent_path(), entries, why)) {
            // Another spelling of the same name, as Windows compares names.
            const std::string wanted = windows_key(part);
            path = spelled;
            found = false;
            for (const fs::path& entry : entries) {
                if (windows_key(entry.filename().u8string()) != wanted) continue;
                path = entry;
                found = true;
                break;
            }
        } else {
            path = spelled;
            found = false;
        }
    }
    return found;
}

std::string file_in_place_of_folder(const base_comparison& comparison, const std::string& name) {
    // Such a file is among those the release no longer has: a release never
    // has a file where another of its names needs a folder.
    for (const std::string& folder : folders_of_key(windows_key(name))) {
        const auto found = comparison.removed.find(folder);
        if (found != comparison.removed.end()) return found->second;
    }
    return "";
}

std::string folder_name(const std::string& name) {
    return std::string(folder_of_name(name));
}

std::string folder_key(const std::string& name) {
    return std::string(folder_of_name(windows_key(name)));
}

outcome compare_with_base(const std::vector<source_file>& files, const std::string& base, bool follow_links,
                          base_comparison& comparison) {
    // The roots are there on every installation.
    for (const root_prefix& prefix : root_prefixes) comparison.folders.insert(root_folder(prefix));
    std::vector<bool> unchanged(files.size(), false);
    std::vector<bool> in_base(files.size(), false);
    const fs::path base_path = fs::u8path(base);
    const outcome compared = is_folder(base_path)
                                 ? compare_with_folder(files, base_path, follow_links, comparison, unchanged, in_base)
                                 : compare_with_package(files, base, comparison, unchanged, in_base);
    if (!compared.ok()) return compared;
    for (size_t i = 0; i < files.size(); ++i) {
        if (unchanged[i]) {
            ++comparison.unchanged;
            comparison.bytes_saved += files[i].size;
        } else {
            (in_base[i] ? comparison.changed : comparison.added).push_back(files[i]);
        }
    }
    return {};
}
