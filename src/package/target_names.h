// From a name stored in a package to the path of the file it installs.
#pragma once

#include "package/heap_string.h"
#include "package/target_roots.h"

// The root prefixes, in the order a name is tested against them.
enum class root_kind { install, windows, system };
struct root_prefix {
    const char* text;
    root_kind root;
};
constexpr root_prefix root_prefixes[] = {
    {"ulverno/", root_kind::install},
    {"windows/", root_kind::windows},
    {"windows_system/", root_kind::system},
};

// The first prefix that `name` starts with (byte for byte, case counts), or null.
const root_prefix* find_root_prefix(const char* name);

// True when a component of `rest`, split at "/" and "\", is made only of dots
// and spaces with at least two dots: Windows drops trailing dots and spaces,
// so each of them means the parent directory.
bool climbs_out_of_root(const char* rest);

// The target path of `entry_name`: its root, "/", and the rest of the name
// unchanged, in a new heap string the caller owns. Null when no prefix
// matches, when the rest climbs out of its root, or when memory runs out.
heap_string map_name(const target_roots& roots, const char* entry_name);
