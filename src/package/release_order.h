// Signed releases only move forward: what the proof of a signed package
// finds of the release it carries (release_number.h), and how it compares
// with the release the installation holds.
#pragma once

#include <cstdint>
#include <string>

// The release target of a package as its proof reads it, target after target.
struct carried_release {
    bool present = false;  // a target installs the release file
    bool last = true;      // ... and no target begins after it
    bool reading = false;  // the target being read is that one
    std::string text;      // its bytes, up to one more than a release text holds
};

// A target begins, named `name` (UTF-8).
void note_target(carried_release& carried, const char* name);

// A piece of the target being read.
void note_piece(carried_release& carried, const unsigned char* bytes, uint32_t length);

enum class release_verdict {
    forward,           // the same release or a later one, or none where the installation holds none
    refused,           // an older release, none where the installation holds one, or a release target
                       // that is not the last target or not a release number
    installed_unknown, // the installation's release file is there but cannot be read: nothing can be told
};

// Compares the package's release with the one in the file `installed`: none
// when nothing has that name, or when it holds no release number (a copy cut
// short by a power cut, which running the same update again rewrites).
release_verdict compare_with_installed(const carried_release& carried, const char* installed);
