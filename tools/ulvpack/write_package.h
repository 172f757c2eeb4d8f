// Writes a package so that it appears whole or not at all.
#pragma once

#include "source_files.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writes `files`, in this order, in pieces of at most `piece_size` bytes, to a
// new file beside `out` that nobody else holds, flushes it to the disk, and
// then puts it in the place of `out` in one step. False, with the reason in
// `problem`, when anything fails: `out` is then exactly what it was, and the
// new file is gone (unless only the flush of the folder failed after the
// package took its place).
bool write_package(const std::vector<source_file>& files, uint64_t piece_size, const std::filesystem::path& out,
                   std::string& problem);
