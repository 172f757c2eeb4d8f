// What makes a target name safe to ship: the updater's own rules, and those of
// Windows file names, which the updater does not check itself.
#pragma once

#include "package/target_names.h"

#include <string>
#include <vector>

// Why `name` (UTF-8) can never be installed, or "": the updater's rule, a
// name that ends in a folder, has a part longer than a file system stores,
// or is longer than any Windows path (check_file_name). The updater refuses
// the first always, the rest in a protected package.
std::string name_refusal(const std::string& name);

// Why Windows would alter the file that `name` names, although the updater
// takes it (components, split at "/" and a backslash, ending in a dot or a space,
// empty components), or "".
std::string windows_refusal(const std::string& name);

// The components of a name, split at "/" and "\" as Windows splits a path,
// without the empty ones and ".": the root prefix's folder first.
std::vector<std::string> name_parts(const std::string& name);

// The folder of a root prefix, which every name under it starts with:
// "ulverno" for "ulverno/".
std::string root_folder(const root_prefix& prefix);

// Every component of a name, split at "/" and a backslash, the empty ones and "."
// included: what Windows would make of each.
std::vector<std::string> every_name_part(const std::string& name);

// The folders that lead to a name's key (package/windows_names.h), outermost first:
// "ulverno" and "ulverno/a" for "ulverno/a/b".
std::vector<std::string> folders_of_key(const std::string& key);

// Why the path the updater forms for `name` (its root, "/", the rest) risks
// being too long for Windows to open without long-path support under a
// typical install folder, saying which it assumed; or "".
std::string path_length_risk(const std::string& name);
