// The three directories that package names lead into.
#pragma once

constexpr unsigned install_root_capacity = 120;
constexpr unsigned directory_capacity = 260;

struct target_roots {
    char install_root[install_root_capacity];  // "drive:\directory" from ulverno.ini
    char windows_dir[directory_capacity];
    char system_dir[directory_capacity];
};

// Fills the roots, in this order: the drive and the directory of the
// installation from ulverno.ini (section ulvekern, keys ulvedrive and
// ulvedir, empty when missing), the Windows directory, the system directory.
// Never fails: a directory the system cannot tell falls back to the literal
// C:windows or C:windowssystem, and missing profile values give ":\", which
// later fails to open.
void resolve_roots(target_roots& roots);
