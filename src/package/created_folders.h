// The folders in which an update created targets. A new file's name lives in
// its folder, so each of these folders is flushed once, after the last
// target, before the package may be deleted.
#pragma once

#include <set>
#include <string>
#include <string_view>

// Orders target paths by their folder, taken both as the part before the last
// "/" and as the part before the last "/" or "\": two paths that share both
// lie in one folder whether "\" separates folders (Windows) or not (POSIX).
struct by_folder {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Each folder, named by the path of the first target created in it.
using created_folders = std::set<std::string, by_folder>;

// Notes that the target at `path` was created. False when memory ran out;
// the caller then flushes that folder at once instead.
bool note_created(created_folders& folders, const char* path);

// Flushes every folder noted. Returns null, or the target path of the first
// folder that could not be flushed.
const char* flush_created_folders(const created_folders& folders);
