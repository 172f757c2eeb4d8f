#include "folder_walk.h"

#include "package_scan.h"

#include "system/tool_system.h"

#include <vector>

namespace fs = std::filesystem;

namespace {

struct walk_state {
    const folder_walk& walk;
    std::string& unreadable;
    std::vector<fs::path> folders_above;  // canonical, to see a link loop
};

bool cannot_read(walk_state& state, const fs::path& path, const std::string& why) {
    state.unreadable = "cannot read " + shown(path) + ": " + why;
    return false;
}

const char* kind_name(entry_kind kind) {
    switch (kind) {
        case entry_kind::fifo: return "a FIFO";
        case entry_kind::socket: return "a socket";
        case entry_kind::device: return "a device";
        default: return "neither a file nor a folder";
    }
}

void leave_out(const walk_state& state, const fs::path& path, const std::string& why) {
    if (state.walk.on_left_out) state.walk.on_left_out(path, why);
}

bool walk_below(walk_state& state, const std::string& name, const fs::path& folder);

// One entry of a folder: a file to take, a folder to walk, or something to leave out.
bool walk_entry(walk_state& state, const std::string& name, const fs::path& path) {
    const bool link = is_link(path);
    if (link && !state.walk.follow_links) {
        leave_out(state, path, "a link (--follow-links follows links)");
        return true;
    }
    entry_status status;
    std::string why;
    const bool known = status_of(path, true, status, why);
    if (link && (!known || status.kind == entry_kind::missing)) {
        leave_out(state, path, "a link that leads nowhere (" + why + ")");
        return true;
    }
    if (!known) return cannot_read(state, path, why);
    if (status.kind == entry_kind::file) return !state.walk.on_file || state.walk.on_file(name, path);
    if (status.kind != entry_kind::folder) {
        leave_out(state, path, kind_name(status.kind));
        return true;
    }
    fs::path real;
    if (!resolved_path(path, true, real, why)) return cannot_read(state, path, why);
    for (const fs::path& above : state.folders_above) {
        if (above != real) continue;
        leave_out(state, path, "a link to a folder above it");
        return true;
    }
    state.folders_above.push_back(real);
    const bool walked = walk_below(state, name, path);
    state.folders_above.pop_back();
    return walked;
}

bool walk_below(walk_state& state, const std::string& name, const fs::path& folder) {
    std::vector<fs::path> entries;
    std::string why;
    if (!list_folder(folder, entries, why)) return cannot_read(state, folder, why);
    for (const fs::path& path : entries) {
        if (!walk_entry(state, name + "/" + path.filename().u8string(), path)) return false;
    }
    if (state.walk.on_folder) state.walk.on_folder(name, folder, entries.empty());
    return true;
}

}  // namespace

bool walk_folder(const folder_walk& walk, const std::string& name, const fs::path& folder, std::string& unreadable) {
    unreadable.clear();
    walk_state state{walk, unreadable, {}};
    fs::path real;
    std::string why;
    if (!resolved_path(folder, true, real, why)) return cannot_read(state, folder, why);
    state.folders_above.push_back(real);
    return walk_below(state, name, folder);
}

std::string shown(const fs::path& path) {
    return printable_text(path.u8string());
}
