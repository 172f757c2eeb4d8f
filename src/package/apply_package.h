// Installs an update package.
#pragma once

#include <cstdint>

// A target that another program holds is tried this many times, with a pause
// after each attempt but the last.
constexpr int creation_attempts = 150;
constexpr uint32_t creation_pause_ms = 100;

// Writes every target of the package at `package_path` into its root, then
// deletes the package, unless its path names another file by then. Returns 1
// when the package ended cleanly at a target boundary. Returns 0 after any
// failure, which it has shown to the user once; the package then stays. A
// protected package is checked whole before anything is written, so that
// any fault it shows leaves everything as it was; for a classic package,
// targets completed before a fault stay as written, and the target in
// progress keeps its first pieces.
int apply_package(const char* package_path);
