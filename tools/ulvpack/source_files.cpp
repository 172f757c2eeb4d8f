#include "source_files.h"

#include "folder_walk.h"
#include "name_encoding.h"
#include "name_rules.h"
#include "package_scan.h"

#include "package/release_number.h"
#include "package/target_names.h"
#include "package/windows_names.h"
#include "platform/text_codec.h"
#include "system/tool_system.h"

#include <cstdio>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t largest_file_size = 0xFFFFFFFFull;  // sizes are 32-bit

void leave_out(const fs::path& path, const std::string& why) {
    std::fprintf(stderr, "ulvpack create: left out %s: %s\n", shown(path).c_str(), why.c_str());
}

// Why a source may not give a file of `name` (as Windows compares names):
// the release file, or a folder of its name. Else "".
std::string release_clash(const std::string& name) {
    const std::string key = windows_key(name);
    const std::string release = windows_key(release_target_name);
    if (key == release) return "would be the release file, which comes from --release";
    if (key.compare(0, release.size() + 1, release + "/") == 0) {
        return "needs a folder where the release file goes (it comes from --release)";
    }
    return "";
}

// The file at `file`, named `name_utf8`, added to `files`.
outcome add_file(const std::string& name_utf8, const fs::path& file, const std::string& argument, bool follow_link,
                 std::vector<source_file>& files) {
    source_file entry;
    std::string why;
    if (!packable_name(name_utf8, entry.name, entry.stored_name, why)) {
        return refusal("\"" + printable_text(name_utf8) + "\" (from " + argument + ") " + why);
    }
    why = unpackable(entry.name);
    if (why.empty()) why = release_clash(entry.name);
    if (!why.empty()) return refusal(quoted_name(entry.name) + " (from " + argument + ") " + why);
    entry_status status;
    if (!status_of(file, true, status, why)) return failure("cannot read " + shown(file) + ": " + why);
    if (status.size > largest_file_size) return refusal(shown(file) + " is 4 GiB or more: package sizes are 32-bit");
    entry.file = file;
    entry.size = static_cast<uint32_t>(status.size);
    entry.follow_link = follow_link;
    identity_of_path(file.u8string().c_str(), entry.identity);  // unknown: all zero, and then not compared
    entry.source = argument;
    files.push_back(entry);
    return {};
}

// Every regular file below `folder` (a PREFIX=DIR argument), named `name`/...
outcome add_folder(const std::string& argument, bool follow_links, const std::string& name, const fs::path& folder,
                   std::vector<source_file>& files) {
    outcome added;
    folder_walk walk;
    walk.follow_links = follow_links;
    walk.on_file = [&](const std::string& inner, const fs::path& file) {
        added = add_file(inner, file, argument, follow_links, files);
        return added.ok();
    };
    walk.on_folder = [](const std::string&, const fs::path& path, bool empty) {
        if (empty) leave_out(path, "an empty folder: packages carry files, and the updater never makes folders");
    };
    walk.on_left_out = leave_out;
    std::string why;
    if (!walk_folder(walk, name, folder, why) && !why.empty()) return failure(why);
    return added;
}

}  // namespace

std::string unpackable(const std::string& name) {
    const std::string why = name_refusal(name);
    return why.empty() ? windows_refusal(name) : why;
}

source_file release_source(uint32_t release) {
    source_file entry;
    entry.name = entry.stored_name = release_target_name;
    entry.held = release_text(release);
    entry.in_memory = true;
    entry.size = static_cast<uint32_t>(entry.held.size());
    entry.source = "--release";
    return entry;
}

bool in_package_order(const source_file& a, const source_file& b) {
    return a.stored_name < b.stored_name;
}

outcome add_source(const std::string& argument, bool follow_links, std::vector<source_file>& files) {
    const size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == argument.size()) {
        return {outcome::malformed, "\"" + printable_text(argument) + "\" is neither PREFIX=DIR nor NAME=FILE"};
    }
    const std::string left = argument.substr(0, equals);
    const fs::path right = fs::u8path(argument.substr(equals + 1));
    entry_status status;
    std::string why;
    status_of(right, true, status, why);  // what cannot be told is neither a folder nor a file: said below
    for (const root_prefix& prefix : root_prefixes) {
        if (left + "/" != prefix.text) continue;
        if (status.kind != entry_kind::folder) return refusal(argument + ": " + shown(right) + " is not a folder");
        return add_folder(argument, follow_links, left, right, files);
    }
    if (status.kind != entry_kind::file) return refusal(argument + ": " + shown(right) + " is not a regular file");
    return add_file(left, right, argument, true, files);
}
