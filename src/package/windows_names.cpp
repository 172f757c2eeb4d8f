#include "package/windows_names.h"

#include "platform/text_codec.h"

namespace {

// The small letter of a capital of code page 1252, or `c` itself. Every pair
// has the same length in UTF-8, so that folding keeps a name's length.
uint32_t small_letter(uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c == 0x160 || c == 0x152 || c == 0x17D) return c + 1;  // S and Z with caron, OE
    if (c == 0x178) return 0xFF;                               // Y with diaeresis
    return c;
}

}  // namespace

bool take_name_part(std::string_view& rest, std::string_view& part) {
    const size_t end = rest.find_first_of("/\\");
    part = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return end != std::string_view::npos;
}

std::string_view folder_of_name(std::string_view name) {
    size_t folder_length = 0;
    for (std::string_view rest = name, part; take_name_part(rest, part);) folder_length = name.size() - rest.size() - 1;
    return name.substr(0, folder_length);
}

bool next_windows_part(std::string_view& rest, std::string_view& part) {
    while (!rest.empty()) {
        take_name_part(rest, part);
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
        if (!part.empty()) return true;
    }
    return false;
}

std::vector<std::string> windows_parts(std::string_view name) {
    std::vector<std::string> parts;
    for (std::string_view part; next_windows_part(name, part);) parts.emplace_back(part);
    return parts;
}

void fold_name(std::string& name) {
    std::string letter;
    for (size_t at = 0; at < name.size();) {
        const utf8_character c = character_at(name, at);
        // A byte that is not UTF-8 stays as it is.
        if (c.valid && small_letter(c.code_point) != c.code_point) {
            letter.clear();
            append_utf8(small_letter(c.code_point), letter);
            name.replace(at, c.length, letter);
        }
        at += c.length;
    }
}

std::string windows_key(std::string_view name) {
    std::string folded(name);
    fold_name(folded);
    std::string key;
    std::string_view rest = folded;
    for (std::string_view part; next_windows_part(rest, part);) {
        if (!key.empty()) key += '/';
        key += part;
    }
    return key;
}
