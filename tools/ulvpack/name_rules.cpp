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

}  // namespace

std::string updater_refusal(const std::string& name) {
    switch (check_target_name(name.c_str())) {
        case name_fault::no_prefix: return "does not start with ulverno/, windows/ or windows_system/";
        case name_fault::climbs_out: return "climbs out of its root with \"..\"";
        case name_fault::device_name: return "has a component that is a Windows device name (CON, NUL, COM1...)";
        case name_fault::stream_name: return "has a colon, which Windows does not allow in file names (it names a stream)";
        case name_fault::none: break;
    }
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
    }
    return "";
}

bool names_a_folder(const std::string& name_1252) {
    const size_t separator = name_1252.find_last_of("/\\");
    const std::string last = separator == std::string::npos ? name_1252 : name_1252.substr(separator + 1);
    return last.find_first_not_of(". ") == std::string::npos;
}

std::vector<std::string> name_parts(const std::string& name_1252) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at = 0; at <= name_1252.size(); ++at) {
        if (at < name_1252.size() && name_1252[at] != '/' && name_1252[at] != '\\') continue;
        std::string part = name_1252.substr(start, at - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = at + 1;
    }
    return parts;
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
