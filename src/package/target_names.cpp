#include "package/target_names.h"

#include <cstdio>
#include <cstring>
#include <new>

const root_prefix* find_root_prefix(const char* name) {
    for (const root_prefix& prefix : root_prefixes) {
        if (std::strncmp(name, prefix.text, std::strlen(prefix.text)) == 0) return &prefix;
    }
    return nullptr;
}

bool climbs_out_of_root(const char* rest) {
    unsigned dots = 0;
    bool only_dots_and_spaces = true;
    for (const char* at = rest;; ++at) {
        if (*at == '/' || *at == '\\' || *at == '\0') {
            if (only_dots_and_spaces && dots >= 2) return true;
            if (*at == '\0') return false;
            dots = 0;
            only_dots_and_spaces = true;
        } else if (*at == '.') {
            ++dots;
        } else if (*at != ' ') {
            only_dots_and_spaces = false;
        }
    }
}

namespace {

const char* root_directory(const target_roots& roots, root_kind root) {
    switch (root) {
        case root_kind::install: return roots.install_root;
        case root_kind::windows: return roots.windows_dir;
        case root_kind::system: return roots.system_dir;
    }
    return roots.install_root;
}

}  // namespace

heap_string map_name(const target_roots& roots, const char* entry_name) {
    const root_prefix* prefix = find_root_prefix(entry_name);
    if (prefix == nullptr) return nullptr;
    const char* rest = entry_name + std::strlen(prefix->text);
    if (climbs_out_of_root(rest)) return nullptr;

    // The separator after the root is always "/", even after "C:\".
    const char* root = root_directory(roots, prefix->root);
    const size_t length = std::strlen(root) + std::strlen(rest) + 2;
    heap_string path(new (std::nothrow) char[length]);
    if (path) std::snprintf(path.get(), length, "%s/%s", root, rest);
    return path;
}
