// The three directories that package names lead into.
#pragma once

#include "package/heap_string.h"
#include "platform/text_codec.h"

// Capacity of the Windows and system directories in characters, as Windows
// counts them; each is held in UTF-8, which takes up to three bytes for each.
constexpr unsigned directory_capacity = 260;

struct target_roots {
    heap_string install_root;  // "drive:\directory" from ulverno.ini; null when memory ran out
    char windows_dir[utf8_room(directory_capacity)];
    char system_dir[utf8_room(directory_capacity)];
};

// Fills the roots, in this order: the drive and the directory of the
// installation from ulverno.ini (section ulvekern, keys ulvedrive and
// ulvedir, empty when missing), the Windows directory, the system directory.
// The drive and the directory are read whole, however long: a value longer
// than any Windows path is kept to one character more than that, so that
// the root then names no folder at all, never another one. A directory the
// system cannot tell falls back to the literal C:windows or C:windowssystem,
// and missing profile values give ":\", which later fails to open. When
// memory runs out, the install root is null (map_name then fails as it does
// when memory runs out).
void resolve_roots(target_roots& roots);

// "drive:\directory", the form of the install root, in a new heap string the
// caller owns; null when memory runs out.
heap_string install_root_of(const char* drive, const char* directory);
