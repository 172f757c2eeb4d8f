// The file services of ulvpack that the updater does not need: opening a
// package named in any script, writing a package so that it appears whole or
// not at all, and writing below a folder without ever following a link.
// Handles are those of the updater's platform services: read_bytes,
// write_bytes, flush_file and close_file take them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Opens the package at `path`, named as given on the command line, for
// reading. Returns -1, with the reason in `why`, when it cannot be opened or
// is not a regular file (a folder, a FIFO, a device).
int open_package(const std::filesystem::path& path, std::string& why);

// Opens a file found in a source folder, for reading. Unless `follow_link`,
// a link in its place is refused (it may have been put there since the folder
// was read); anything but a regular file is refused. Returns -1, with the
// reason in `why`, when it cannot be opened or is refused.
int open_source_file(const std::filesystem::path& path, bool follow_link, std::string& why);

// True when `path` itself is a link (a symbolic link, or on Windows any
// reparse point such as a junction).
bool is_link(const std::filesystem::path& path);

// Creates a new file in the folder of `out`, under a name that cannot be
// guessed and that nothing (no other program, no link) held before. Returns
// its handle and its path in `temporary`, or -1 with the reason in `why`.
int create_temporary_beside(const std::filesystem::path& out, std::filesystem::path& temporary, std::string& why);

// Until forget_temporary(), a signal that ends the tool (interrupt,
// termination, hang-up) removes `temporary` first, so that no partial package
// is left behind.
void remove_if_interrupted(const std::filesystem::path& temporary);
void forget_temporary();

// Puts the file `temporary` in the place of `out` in one step, replacing what
// was there, and writes the change of names to stable storage. False, with
// the reason in `why`, when it could not; `out` is then what it was, unless
// only the last flush failed.
bool replace_file(const std::filesystem::path& temporary, const std::filesystem::path& out, std::string& why);

// Creates the file `folder`/`parts`[0]/.../`parts`[n-1] (UTF-8 components)
// for writing, making the folders between that are missing. `folder` itself
// may be a link; nothing below it is followed: a link, or anything but a
// folder, where a folder is needed, and a link or anything but a regular file
// in the file's place, are refused. An existing file is replaced by a new one
// only when `replace` is set. Returns a handle, or -1 with the reason in `why`.
int create_below(const std::filesystem::path& folder, const std::vector<std::string>& parts, bool replace,
                 std::string& why);

// A new name in the folder of `out` that nobody can guess: ".NAME." followed
// by 16 random hexadecimal digits and ".partial".
std::filesystem::path temporary_name_beside(const std::filesystem::path& out);
