// Writes a package so that it appears whole or not at all.
#pragma once

#include "source_files.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// How the records are written: protected (the default) with the integrity
// fields that let the updater refuse a package cut short, extended or
// altered; plain with the three opaque fields 0, as packages always were.
struct package_options {
    uint64_t piece_size = 1024 * 1024;
    bool protect = true;
};

// True when every record of `files` fits the format; else `problem` names
// the file whose records would be too long.
bool records_fit(const std::vector<source_file>& files, const package_options& options, std::string& problem);

// Writes `files`, in this order, in pieces of at most `options.piece_size`
// bytes, to a new file beside `out` that nobody else holds, flushes it to the
// disk, and then puts it in the place of `out` in one step. False, with the
// reason in `problem`, when anything fails: `out` is then exactly what it was,
// and the new file is gone (unless only the flush of the folder failed after
// the package took its place).
bool write_package(const std::vector<source_file>& files, const package_options& options,
                   const std::filesystem::path& out, std::string& problem);
