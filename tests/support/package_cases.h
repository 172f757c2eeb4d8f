// Packages whose fate is known: the updater applies them (and deletes them)
// or refuses them as malformed. All names lead into the Windows directory.
// The package tool's verdict, the updater's, and the fuzzers' seeds use them.
#pragma once

#include <string>
#include <vector>

struct package_case {
    const char* title;
    std::string bytes;
    bool applies;
};

std::vector<package_case> package_cases();
