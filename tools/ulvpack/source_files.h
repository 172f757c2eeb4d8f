// The files that ulvpack create packs, gathered from its SOURCE arguments
// (PREFIX=DIR, every regular file below DIR; NAME=FILE, one file).
#pragma once

#include "outcome.h"
#include "system/tool_system.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct source_file {
    std::string name;         // UTF-8, its letters composed
    std::string stored_name;  // the same in code page 1252, as the package stores it
    std::filesystem::path file;
    uint32_t size = 0;
    bool follow_link = false;  // named on the command line, or --follow-links: a link may lead to it
    file_identity identity;    // as found: the file read when packing must be this one
    std::string source;  // the argument it came from, for messages
    bool in_memory = false;  // its bytes are `held`, not read from `file`
    std::string held;
};

// The target that carries the package's release (package/release_number.h):
// the release file, its bytes held in memory. A package carries it last.
source_file release_source(uint32_t release);

// Adds the files of one SOURCE argument to `files`. Says on standard error
// what it leaves out of a folder and why: links (unless `follow_links`, and
// then still a link back to a folder above it), FIFOs, sockets, devices,
// empty folders. Not done when a name cannot be packed (refused: the release
// file among them, and a name that needs it as a folder, as the release
// comes from --release), a file or folder cannot be read (failed), or the
// argument is no SOURCE (malformed).
outcome add_source(const std::string& argument, bool follow_links, std::vector<source_file>& files);

// Why the updater could not install `name`, or "": the name rule, the names
// Windows refuses or alters, a name that ends in a separator.
std::string unpackable(const std::string& name);

// The order of the targets in a package: by their names as stored, so that
// the same files always make the same bytes.
bool in_package_order(const source_file& a, const source_file& b);
