#include "platform/profile_file.h"

#include "platform/platform.h"
#include "platform/text_codec.h"

#include <cstring>
#include <new>

namespace {

constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

std::string_view trim_blanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// GetPrivateProfileString gives a value written between two like quotes without them.
std::string_view without_quotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Reads the file at `path` whole. A file too large for one read is no profile.
bool read_whole_file(const char* path, file_bytes& bytes) {
    const int handle = open_for_reading(path);
    if (handle == -1) return false;
    const int64_t size = bytes_left(handle);
    const bool fits = size >= 0 && size < INT32_MAX;
    bytes.data.reset(fits ? new (std::nothrow) char[static_cast<size_t>(size) + 1] : nullptr);
    const int32_t got = bytes.data ? read_bytes(handle, bytes.data.get(), static_cast<uint32_t>(size)) : -1;
    close_file(handle);
    bytes.size = got > 0 ? static_cast<size_t>(got) : 0;
    return got >= 0;
}

}  // namespace

bool read_profile_file(const char* file, file_bytes& bytes) {
    constexpr uint32_t directory_characters = 260;
    char directory[utf8_room(directory_characters)];
    const uint32_t length = windows_directory(directory, directory_characters);
    if (length == 0) return false;
    const size_t size = length + 1 + std::strlen(file) + 1;
    const std::unique_ptr<char[]> path(new (std::nothrow) char[size]);
    if (!path) return false;
    std::memcpy(path.get(), directory, length);
    path[length] = '/';
    std::memcpy(path.get() + length + 1, file, size - length - 1);
    return read_whole_file(path.get(), bytes);
}

bool utf8_beyond_ascii(std::string_view bytes) {
    bool beyond_ascii = false;
    for (size_t at = 0; at < bytes.size();) {
        uint32_t code_point = 0;
        const size_t length = decode_utf8(bytes, at, code_point);
        if (length == 0) return false;
        beyond_ascii = beyond_ascii || length > 1;
        at += length;
    }
    return beyond_ascii;
}

bool find_profile_value(std::string_view text, const char* section, const char* key, std::string_view& value) {
    if (text.substr(0, utf8_byte_order_mark.size()) == utf8_byte_order_mark) text.remove_prefix(utf8_byte_order_mark.size());
    bool in_section = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trim_blanks(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            in_section = close != std::string_view::npos && same_ignoring_case(trim_blanks(line.substr(1, close - 1)), section);
            continue;
        }
        const size_t equals = line.find('=');
        if (in_section && equals != std::string_view::npos && same_ignoring_case(trim_blanks(line.substr(0, equals)), key)) {
            value = without_quotes(trim_blanks(line.substr(equals + 1)));
            return true;
        }
    }
    return false;
}

uint32_t copy_cut(std::string_view text, char* buffer, uint32_t characters) {
    if (characters == 0) return 0;
    const uint32_t length = static_cast<uint32_t>(prefix_within(text, characters - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}
