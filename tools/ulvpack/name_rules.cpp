#include "name_rules.h"

#include "number_text.h"

#include "package/target_names.h"
#include "package/windows_names.h"
#include "platform/text_codec.h"

#include <cstring>
#include <vector>

namespace {

// The longest path Windows opens without long-path support (MAX_PATH less
// its NUL), in characters.
constexpr size_t longest_short_path = 259;

// Where a root lies on a typical installation of the 32-bit updater on
// 64-bit Windows.
const char* typical_root(root_kind root) {
    switch (root) {
        case root_kind::install: return "C:\\Program Files (x86)\\Ulverno";
        case root_kind::windows: return "C:\\Windows";
        case root_kind::system: return "C:\\Windows\\SysWOW64";
    }
    return "";
}

}  // namespace

std::string name_refusal(const std::string& name) {
    switch (check_file_name(name.c_str())) {
        case name_fault::no_prefix: return "does not start with ulverno/, windows/ or windows_system/";
        case name_fault::climbs_out: return "climbs out of its root with \"..\"";
        case name_fault::device_name: return "has a component that is a Windows device name (CON, NUL, COM1...)";
        case name_fault::stream_name: return "has a colon, which Windows does not allow in file names (it names a stream)";
        case name_fault::reserved_character: {
            const unsigned char c = static_cast<unsigned char>(*reserved_character(name.c_str()));
            return "has a character that Windows does not allow in file names (" +
                   (c < 0x20 ? "control character" : std::string(1, static_cast<char>(c))) + ")";
        }
        case name_fault::folder_name: return "names a folder, not a file: the updater writes only files";
        case name_fault::long_component:
            return "has a component longer than " + std::to_string(longest_windows_component) +
                   " characters, which no Windows file system stores";
        case name_fault::too_long:
            return "is longer than any Windows path (" + grouped(longest_windows_path) +
                   " characters): the updater could never install it";
        case name_fault::none: break;
    }
    return "";
}

std::string windows_refusal(const std::string& name) {
    const root_prefix* prefix = find_root_prefix(name.c_str());
    const std::string rest = prefix ? name.substr(std::strlen(prefix->text)) : name;
    for (const std::string& part : every_name_part(rest)) {
        if (part.empty()) return "has an empty path component";
        if (part.back() == '.' || part.back() == ' ') return "has a component ending in a dot or a space, which Windows drops";
    }
    return "";
}

std::vector<std::string> every_name_part(const std::string& name) {
    std::vector<std::string> parts;
    std::string_view rest = name;
    std::string_view part;
    for (bool more = true; more;) {
        more = take_name_part(rest, part);
        parts.emplace_back(part);
    }
    return parts;
}

std::vector<std::string> name_parts(const std::string& name) {
    std::vector<std::string> parts;
    for (std::string& part : every_name_part(name)) {
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
    }
    return parts;
}

std::string root_folder(const root_prefix& prefix) {
    return std::string(prefix.text, std::strlen(prefix.text) - 1);
}

std::vector<std::string> folders_of_key(const std::string& key) {
    std::vector<std::string> folders;
    for (std::string_view rest = key, part; take_name_part(rest, part);) {
        folders.emplace_back(key, 0, key.size() - rest.size() - 1);  // up to the separator taken
    }
    return folders;
}

std::string path_length_risk(const std::string& name) {
    const root_prefix* prefix = find_root_prefix(name.c_str());
    if (prefix == nullptr) return "";
    const std::string root = typical_root(prefix->root);
    const size_t length = root.size() + 1 + character_count(name.c_str() + std::strlen(prefix->text));
    if (length <= longest_short_path) return "";
    return "would make a path of " + std::to_string(length) + " characters if installed under " + root +
           ", beyond the " + std::to_string(longest_short_path) + " that Windows opens without long-path support";
}
