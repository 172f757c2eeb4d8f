#include "folder_walk.h"

#include "package_scan.h"

#include "platform/tool_files.h"

#include <vector>

namespace fs = std::filesystem;

namespace {

struct walk_state {
    const folder_walk& walk;
    std::string& unreadable;
    std::vector<fs::path> folders_above;  // canonical, to see a link loop
};

bool cannot_read(walk_state& state, const fs::path& path, const std::error_code& error) {
    state.unreadable = "cannot read " + shown(path) + ": " + error.message();
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
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error && link) {
        leave_out(state, path, "a link that leads nowhere (" + error.message() + ")");
        return true;
    }
    if (error) return cannot_read(state, path, error);
    if (fs::is_regular_file(status)) return !state.walk.on_file || state.walk.on_file(name, path);
    if (!fs::is_directory(status)) {
        leave_out(state, path, kind_of(status.type()));
        return true;
    }
    const fs::path real = fs::canonical(path, error);
    if (error) return cannot_read(state, path, error);
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
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return cannot_read(state, folder, error);
    bool empty = true;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) return cannot_read(state, folder, error);
        empty = false;
        const fs::path path = it->path();
        if (!walk_entry(state, name + "/" + path.filename().u8string(), path)) return false;
    }
    if (error) return cannot_read(state, folder, error);
    if (state.walk.on_folder) state.walk.on_folder(name, folder, empty);
    return true;
}

}  // namespace

bool walk_folder(const folder_walk& walk, const std::string& name, const fs::path& folder, std::string& unreadable) {
    unreadable.clear();
    walk_state state{walk, unreadable, {}};
    std::error_code error;
    state.folders_above.push_back(fs::canonical(folder, error));
    if (error) return cannot_read(state, folder, error);
    return walk_below(state, name, folder);
}

std::string shown(const fs::path& path) {
    return printable_text(path.u8string());
}
