// What a release changes since the previous one (BASE): the files whose
// bytes are the same there are left out of a changed-only package, and the
// folders BASE has tell whether the updater can install the rest.
#pragma once

#include "names_by_key.h"
#include "package_scan.h"
#include "source_files.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

struct base_comparison {
    std::vector<source_file> changed;  // in BASE, with other bytes
    std::vector<source_file> added;    // not in BASE
    uint64_t unchanged = 0;            // files left out
    uint64_t bytes_saved = 0;          // their bytes
    names_by_key removed;  // in BASE, no longer in the release: windows_key to the name
                                                 // as BASE spells it (UTF-8, as names on a disk may not fit
                                                 // the code page)
    std::set<std::string> folders;     // windows_key of every folder BASE has, roots included
    std::vector<scan_finding> warnings;  // what a package BASE shows that the updater tolerates
    uint32_t release = 0;  // the release BASE holds (package/release_number.h), 0 for none; its release
                           // file is neither compared nor among the `removed`: --release gives it
};

// Compares `files` with BASE: a package (read with the updater's own walk)
// or a folder laid out like the sources (BASE/ulverno, BASE/windows,
// BASE/windows_system), walked as the sources are: links followed only with
// `follow_links`, what is left out said. Files are compared byte for byte,
// one piece at a time. The release BASE holds is read as an updater built
// with a key reads it: a package's last target, or the release file of a
// folder (a copy of an installation). Not done when BASE cannot be read
// (failed), or is not a valid package or holds two files that are one for
// Windows (refused).
outcome compare_with_base(const std::vector<source_file>& files, const std::string& base, bool follow_links,
                          base_comparison& comparison);

// The name, as BASE spells it, of a file BASE has where `name` needs a
// folder (as Windows compares names), or "".
std::string file_in_place_of_folder(const base_comparison& comparison, const std::string& name);

// The folder a name installs into (its name up to the last "/" or "\"), as
// windows_key gives it; the root prefix's own folder for a name at the root.
std::string folder_key(const std::string& name);

// The same folder as the name spells it, for messages.
std::string folder_name(const std::string& name);

// Where a name lies in a copy of an installation: FOLDER/<prefix>/<rest of
// the name>, the rest split at "/" and "\" as Windows does, each component
// found as Windows would find it: whatever its case, the dots and spaces
// that end it ignored. False when a component is
// not there; `path` then holds what was found and the rest as spelled.
bool find_below(const std::filesystem::path& folder, const std::string& name, std::filesystem::path& path);
