#include "package/target_names.h"

#include "package/windows_names.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

namespace {

char lower_ascii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// True when `base` names a device, whatever its case.
bool is_device_base(std::string_view base) {
    char lower[8];
    if (base.size() > sizeof lower) return false;
    for (size_t i = 0; i < base.size(); ++i) lower[i] = lower_ascii(base[i]);
    const std::string_view name(lower, base.size());
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (name == device) return true;
    }
    // The ports take a digit, or a superscript one, two or three (U+00B9, U+00B2, U+00B3).
    if (name.size() < 4 || (name.substr(0, 3) != "com" && name.substr(0, 3) != "lpt")) return false;
    const std::string_view number = name.substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Windows looks at the name before the first dot, without the spaces that end it.
bool is_device_part(std::string_view part) {
    std::string_view base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    return is_device_base(base);
}

bool only_dots_and_spaces(std::string_view part) {
    return part.find_first_not_of(". ") == std::string_view::npos;
}

// Windows drops the dots and spaces that end a component: with two dots or
// more, what remains means the parent folder.
bool climbs(std::string_view part) {
    return only_dots_and_spaces(part) && std::count(part.begin(), part.end(), '.') >= 2;
}

// True when `test` holds for a component of `name`, the empty ones included.
bool any_part(std::string_view name, bool (*test)(std::string_view)) {
    std::string_view part;
    for (bool more = true; more;) {
        more = take_name_part(name, part);
        if (test(part)) return true;
    }
    return false;
}

const char* root_directory(const target_roots& roots, root_kind root) {
    switch (root) {
        case root_kind::install: return roots.install_root.get();
        case root_kind::windows: return roots.windows_dir;
        case root_kind::system: return roots.system_dir;
    }
    return roots.install_root.get();
}

}  // namespace

const root_prefix* find_root_prefix(const char* name) {
    for (const root_prefix& prefix : root_prefixes) {
        if (std::strncmp(name, prefix.text, std::strlen(prefix.text)) == 0) return &prefix;
    }
    return nullptr;
}

bool climbs_out_of_root(const char* rest) {
    return any_part(rest, climbs);
}

bool names_a_device(const char* rest) {
    return any_part(rest, is_device_part);
}

const char* reserved_character(const char* rest) {
    for (const char* at = rest; *at != '\0'; ++at) {
        if (static_cast<unsigned char>(*at) < 0x20 || std::strchr("<>\"|?*", *at) != nullptr) return at;
    }
    return nullptr;
}

name_fault check_target_name(const char* entry_name) {
    const root_prefix* prefix = find_root_prefix(entry_name);
    if (prefix == nullptr) return name_fault::no_prefix;
    const char* rest = entry_name + std::strlen(prefix->text);
    if (climbs_out_of_root(rest)) return name_fault::climbs_out;
    if (names_a_device(rest)) return name_fault::device_name;
    if (std::strchr(rest, ':') != nullptr) return name_fault::stream_name;
    if (reserved_character(rest) != nullptr) return name_fault::reserved_character;
    return name_fault::none;
}

bool names_a_folder(const char* name) {
    std::string_view rest = name;
    std::string_view last;
    while (take_name_part(rest, last)) {
    }
    return only_dots_and_spaces(last);
}

bool has_long_component(const char* name) {
    std::string_view rest = name;
    for (std::string_view part; next_windows_part(rest, part);) {
        // No component has more characters than bytes: most need no count.
        if (part.size() > longest_windows_component && character_count(part) > longest_windows_component) return true;
    }
    return false;
}

name_fault check_file_name(const char* entry_name) {
    const name_fault fault = check_target_name(entry_name);
    if (fault != name_fault::none) return fault;
    if (names_a_folder(entry_name)) return name_fault::folder_name;
    if (has_long_component(entry_name)) return name_fault::long_component;
    if (character_count(entry_name) > longest_windows_path) return name_fault::too_long;
    return name_fault::none;
}

heap_string map_name(const target_roots& roots, const char* entry_name) {
    if (check_target_name(entry_name) != name_fault::none) return nullptr;
    const root_prefix* prefix = find_root_prefix(entry_name);
    const char* rest = entry_name + std::strlen(prefix->text);

    // The separator after the root is always "/", even after "C:\".
    const char* root = root_directory(roots, prefix->root);
    if (root == nullptr) return nullptr;  // memory ran out for it
    const size_t length = std::strlen(root) + std::strlen(rest) + 2;
    heap_string path(new (std::nothrow) char[length]);
    if (path) std::snprintf(path.get(), length, "%s/%s", root, rest);
    return path;
}
