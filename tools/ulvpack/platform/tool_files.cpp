#include "platform/tool_files.h"

#include <cstdio>
#include <random>

std::filesystem::path temporary_name_beside(const std::filesystem::path& out) {
    std::random_device source;
    const unsigned long long value = (static_cast<unsigned long long>(source()) << 32) ^ source();
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", value);
    return out.parent_path() / std::filesystem::u8path("." + out.filename().u8string() + "." + digits + ".partial");
}
