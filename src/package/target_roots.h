// The three directories that package names lead into.
#pragma once

#include "platform/text_codec.h"

// Capacities in characters, as Windows counts them; each root is held in
// UTF-8, which takes up to three bytes for each of them.
constexpr unsigned install_root_capacity = 120;
constexpr unsigned directory_capacity = 260;
constexpr unsigned drive_capacity = 9;       // ulvedrive: at most 8 characters
constexpr unsigned folder_capacity = 99;     // ulvedir: at most 98 characters

struct target_roots {
    char install_root[utf8_room(install_root_capacity)];  // "drive:\directory" from ulverno.ini
    char windows_dir[utf8_room(directory_capacity)];
    char system_dir[utf8_room(directory_capacity)];
};

// Fills the roots, in this order: the drive and the directory of the
// installation from ulverno.ini (section ulvekern, keys ulvedrive and
// ulvedir, empty when missing), the Windows directory, the system directory.
// Never fails: a directory the system cannot tell falls back to the literal
// C:windows or C:windowssystem, and missing profile values give ":\", which
// later fails to open.
void resolve_roots(target_roots& roots);
