// What makes a target name safe to ship: the updater's own rules, and those of
// Windows file names, which the updater does not check itself.
#pragma once

#include <string>

// Why the updater would refuse `name` (code page 1252), or "" when it takes it.
std::string updater_refusal(const std::string& name);

// Why Windows would refuse or alter the file that `name` names (characters it
// does not allow, components ending in a dot or a space, empty components),
// or "".
std::string windows_refusal(const std::string& name);

// The same name for Windows' case-insensitive file systems.
std::string folded_name(const std::string& name);
