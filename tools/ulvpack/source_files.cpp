#include "source_files.h"

#include "name_encoding.h"
#include "name_rules.h"
#include "package_scan.h"

#include "package/target_names.h"
#include "platform/text_codec.h"
#include "platform/tool_files.h"

#include <cstdio>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t largest_file_size = 0xFFFFFFFFull;  // sizes are 32-bit

// The state of one PREFIX=DIR walk.
struct tree_walk {
    const std::string& argument;
    bool follow_links;
    std::vector<source_file>& files;
    source_problem& problem;
    std::vector<fs::path> folders_above;  // canonical, to see a link loop
};

std::string shown(const fs::path& path) {
    return printable_text(path.u8string());
}

void leave_out(const fs::path& path, const std::string& why) {
    std::fprintf(stderr, "ulvpack create: left out %s: %s\n", shown(path).c_str(), why.c_str());
}

bool unreadable(source_problem& problem, const fs::path& path, const std::error_code& error) {
    problem = {"cannot read " + shown(path) + ": " + error.message(), source_problem::unreadable};
    return false;
}

const char* kind_of(fs::file_type type) {
    switch (type) {
        case fs::file_type::fifo: return "a FIFO";
        case fs::file_type::socket: return "a socket";
        case fs::file_type::block:
        case fs::file_type::character: return "a device";
        default: return "neither a file nor a folder";
    }
}

bool add_file(const std::string& name_utf8, const fs::path& file, const std::string& argument, bool follow_link,
              std::vector<source_file>& files, source_problem& problem) {
    source_file entry;
    std::string why;
    if (!packable_name(name_utf8, entry.name, entry.stored_name, why)) {
        problem = {"\"" + printable_text(name_utf8) + "\" (from " + argument + ") " + why};
        return false;
    }
    why = unpackable(entry.name);
    if (!why.empty()) {
        problem = {quoted_name(entry.name) + " (from " + argument + ") " + why};
        return false;
    }
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    if (error) return unreadable(problem, file, error);
    if (size > largest_file_size) {
        problem = {shown(file) + " is 4 GiB or more: package sizes are 32-bit"};
        return false;
    }
    entry.file = file;
    entry.size = static_cast<uint32_t>(size);
    entry.follow_link = follow_link;
    entry.identity = identity_of_path(file);
    entry.source = argument;
    files.push_back(entry);
    return true;
}

bool add_folder(tree_walk& walk, const std::string& name, const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return unreadable(walk.problem, folder, error);
    bool empty = true;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) return unreadable(walk.problem, folder, error);
        empty = false;
        const fs::path path = it->path();
        const std::string inner = name + "/" + path.filename().u8string();
        const bool link = is_link(path);
        if (link && !walk.follow_links) {
            leave_out(path, "a link (--follow-links follows links)");
            continue;
        }
        const fs::file_status status = fs::status(path, error);
        if (error && link) {
            leave_out(path, "a link that leads nowhere (" + error.message() + ")");
            continue;
        }
        if (error) return unreadable(walk.problem, path, error);
        if (fs::is_directory(status)) {
            const fs::path real = fs::canonical(path, error);
            if (error) return unreadable(walk.problem, path, error);
            bool loop = false;
            for (const fs::path& above : walk.folders_above) loop = loop || above == real;
            if (loop) {
                leave_out(path, "a link to a folder above it");
                continue;
            }
            walk.folders_above.push_back(real);
            const bool added = add_folder(walk, inner, path);
            walk.folders_above.pop_back();
            if (!added) return false;
        } else if (fs::is_regular_file(status)) {
            if (!add_file(inner, path, walk.argument, walk.follow_links, walk.files, walk.problem)) return false;
        } else {
            leave_out(path, kind_of(status.type()));
        }
    }
    if (error) return unreadable(walk.problem, folder, error);
    if (empty) leave_out(folder, "an empty folder: packages carry files, and the updater never makes folders");
    return true;
}

}  // namespace

std::string unpackable(const std::string& name) {
    const std::string why = name_refusal(name);
    return why.empty() ? windows_refusal(name) : why;
}

bool in_package_order(const source_file& a, const source_file& b) {
    return a.stored_name < b.stored_name;
}

bool add_source(const std::string& argument, bool follow_links, std::vector<source_file>& files,
                source_problem& problem) {
    const size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == argument.size()) {
        problem = {"\"" + printable_text(argument) + "\" is neither PREFIX=DIR nor NAME=FILE", source_problem::malformed};
        return false;
    }
    const std::string left = argument.substr(0, equals);
    const fs::path right = fs::u8path(argument.substr(equals + 1));
    std::error_code error;
    const fs::file_status status = fs::status(right, error);
    for (const root_prefix& prefix : root_prefixes) {
        if (left + "/" != prefix.text) continue;
        if (!fs::is_directory(status)) {
            problem = {argument + ": " + shown(right) + " is not a folder"};
            return false;
        }
        tree_walk walk{argument, follow_links, files, problem, {fs::canonical(right, error)}};
        if (error) return unreadable(problem, right, error);
        return add_folder(walk, left, right);
    }
    if (!fs::is_regular_file(status)) {
        problem = {argument + ": " + shown(right) + " is not a regular file"};
        return false;
    }
    return add_file(left, right, argument, true, files, problem);
}
