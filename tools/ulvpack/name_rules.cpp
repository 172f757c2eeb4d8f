#include "name_rules.h"

#include "package/target_names.h"

#include <cstring>
#include <vector>

namespace {

std::vector<std::string> components(const std::string& rest) {
    std::vector<std::string> parts(1);
    for (const char c : rest) {
        if (c == '/') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool is_device_name(const std::string& component) {
    std::string base = folded_name(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : {"con", "prn", "aux", "nul"}) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string updater_refusal(const std::string& name) {
    const root_prefix* prefix = find_root_prefix(name.c_str());
    if (prefix == nullptr) return "does not start with ulverno/, windows/ or windows_system/";
    if (climbs_out_of_root(name.c_str() + std::strlen(prefix->text))) return "climbs out of its root with \"..\"";
    return "";
}

std::string windows_refusal(const std::string& name) {
    const root_prefix* prefix = find_root_prefix(name.c_str());
    const std::string rest = prefix ? name.substr(std::strlen(prefix->text)) : name;
    for (const std::string& part : components(rest)) {
        if (part.empty()) return "has an empty path component";
        for (const char c : part) {
            if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*\\", c) != nullptr) {
                return "has a character that Windows does not allow in file names (" +
                       (static_cast<unsigned char>(c) < 0x20 ? "control character" : std::string(1, c)) + ")";
            }
        }
        if (part.back() == '.' || part.back() == ' ') return "has a component ending in a dot or a space, which Windows drops";
        if (is_device_name(part)) return "has a component that is a Windows device name (" + part + ")";
    }
    return "";
}

std::string folded_name(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        const unsigned char u = static_cast<unsigned char>(c);
        // The capitals of the code page: ASCII, Latin-1 (not the multiplication
        // sign), and S, OE, Z with caron or ligature, Y with diaeresis.
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) c = static_cast<char>(u + 32);
        if (u == 0x8A || u == 0x8C || u == 0x8E) c = static_cast<char>(u + 16);
        if (u == 0x9F) c = static_cast<char>(0xFF);
    }
    return folded;
}
