// What makes a target name safe to ship: the updater's own rules, and those of
// Windows file names, which the updater does not check itself.
#pragma once

#include <string>
#include <vector>

// Why the updater would refuse `name` (UTF-8), or "" when it takes it.
std::string updater_refusal(const std::string& name);

// Why Windows would alter the file that `name` names, although the updater
// takes it (components, split at "/" and a backslash, ending in a dot or a space,
// empty components), or "".
std::string windows_refusal(const std::string& name);

// The longest path Windows can name, in characters: a longer name could never
// be installed.
constexpr size_t longest_windows_path = 32767;

// True when the name ends in a folder rather than a file: its last component,
// split at "/" and "\", is empty or made only of dots and spaces, which
// Windows drops ("ulverno/", "ulverno/a\", "ulverno/.", "ulverno/ ").
bool names_a_folder(const std::string& name);

// The components of a name, split at "/" and "\" as Windows splits a path,
// without the empty ones and ".": the root prefix's folder first.
std::vector<std::string> name_parts(const std::string& name);

// The same name for Windows' case-insensitive file systems.
std::string folded_name(const std::string& name);
