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

// Why a name cannot be installed. The rest of the name after its prefix is
// split into components at "/" and "\", as Windows splits a path.
enum class name_fault {
    none,
    no_prefix,    // none of the root prefixes
    climbs_out,   // a component of only dots and spaces, with at least two dots
    device_name,  // a component that opens a device instead of a file
    stream_name,  // a colon: it would name a stream of another file
    reserved_character,  // <, >, ", |, ?, * or a control character: no Windows file has it
    folder_name,  // the name ends in a folder, not a file (checked for protected packages)
    long_component,  // a component longer than any Windows file system stores (checked for protected packages)
    too_long,     // longer than any Windows path (checked for protected packages)
};

// The longest path Windows can name, in characters.
constexpr size_t longest_windows_path = 32767;

// The longest component of a path that Windows file systems store (NTFS,
// FAT's long names, exFAT), in characters, as Windows stores it: without
// the dots and spaces that end it.
constexpr size_t longest_windows_component = 255;

// True when a component of `rest` is made only of dots and spaces with at
// least two dots: Windows drops trailing dots and spaces, so each of them
// means the parent directory.
bool climbs_out_of_root(const char* rest);

// True when a component of `rest` is a name that Windows gives to a device
// (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, COM and LPT with a
// superscript 1, 2 or 3, CONIN$, CONOUT$), whatever its case, with or without
// an extension, and with trailing spaces before the extension ignored.
bool names_a_device(const char* rest);

// The character of `rest` that no Windows file name may hold (<, >, ", |,
// ?, * or a control character from 0x01 to 0x1F), or null. A backslash and "/"
// separate components; the colon is a rule of its own.
const char* reserved_character(const char* rest);

// The one rule for names, for the updater and for the package tool alike,
// applied in the order of the faults above, up to reserved_character. A name
// that breaks it is refused before anything is created: creating it could
// never succeed, or would write somewhere else.
name_fault check_target_name(const char* entry_name);

// True when `name` ends in a folder rather than a file: its last component,
// split at "/" and "\", is empty or made only of dots and spaces, which
// Windows drops ("ulverno/", "ulverno/a\", "ulverno/.", "ulverno/ ").
bool names_a_folder(const char* name);

// True when a component of `name`, as Windows stores it, is longer than
// longest_windows_component.
bool has_long_component(const char* name);

// The rule, and then what no file can be: a name that ends in a folder, has
// a component longer than a file system stores, or is longer than any Windows
// path. What a protected package proves of each of its names before anything
// is written (for a classic package, creating such a file fails as the format
// describes), and what the package tool ships.
name_fault check_file_name(const char* entry_name);

// The target path of `entry_name`: its root, "/", and the rest of the name
// unchanged, in a new heap string the caller owns. Null when the name breaks
// the rule above, or when memory runs out.
heap_string map_name(const target_roots& roots, const char* entry_name);
