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

// One installation's updates in turn, each putting its name in ulverno/a.txt
// and carrying its release (or none) last or ahead of a.txt, with whether an
// updater built with a key takes it after the ones before it.
struct release_step {
    const char* what;
    const char* release;  // what ulvupdate.release holds, or nullptr for none
    bool signed_takes;
    std::string bytes;
};

std::vector<release_step> release_steps();
