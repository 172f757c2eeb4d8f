// The one rule by which ulvpack walks a folder, for the release's sources and
// for a previous release given as a folder alike: a link is followed only when
// asked, and never to a folder above it; FIFOs, sockets and devices are left
// out. What is left out is said through the walk's handler.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

struct folder_walk {
    bool follow_links = false;
    // Each regular file: its name (the walk's name, "/", its path below,
    // UTF-8) and where it is. Returning false stops the walk.
    std::function<bool(const std::string& name, const std::filesystem::path& file)> on_file;
    // Each folder, the walked one included, once its entries are walked;
    // `empty` when it had none.
    std::function<void(const std::string& name, const std::filesystem::path& folder, bool empty)> on_folder;
    // What is left out, and why.
    std::function<void(const std::filesystem::path& path, const std::string& why)> on_left_out;
};

// Walks `folder`, named `name`, and everything below it. False when on_file
// stopped the walk, or when a folder or an entry cannot be read:
// `unreadable` then says which and why.
bool walk_folder(const folder_walk& walk, const std::string& name, const std::filesystem::path& folder,
                 std::string& unreadable);

// A path for messages, its control characters escaped.
std::string shown(const std::filesystem::path& path);
