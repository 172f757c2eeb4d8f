#include "package/release_number.h"

#include "package/windows_names.h"

std::string release_text(uint32_t release) {
    return std::to_string(release) + "\n";
}

bool parse_release(std::string_view text, uint32_t& release) {
    if (text.size() < 2 || text.size() > longest_release_text || text.back() != '\n' || text[0] == '0') return false;
    uint64_t value = 0;
    for (const char c : text.substr(0, text.size() - 1)) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    release = static_cast<uint32_t>(value);
    return true;
}

bool names_release_target(std::string_view name) {
    return windows_key(name) == windows_key(release_target_name);
}
