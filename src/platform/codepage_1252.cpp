#include "platform/codepage_1252.h"

#include <cstdint>
#include <new>

namespace {

// Code points of the bytes 0x80 to 0x9F; 0 marks the unassigned ones.
constexpr uint16_t upper_control_range[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

uint32_t code_point_of(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) return byte;
    const uint16_t mapped = upper_control_range[byte - 0x80];
    return mapped != 0 ? mapped : byte;
}

bool byte_of(uint32_t code_point, char& byte) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
        byte = static_cast<char>(code_point);
        return true;
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (upper_control_range[i] != 0 && upper_control_range[i] == code_point) {
            byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

void append_utf8(uint32_t code_point, std::string& out) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// Decodes one UTF-8 character at `at`, advancing it; false on a malformed,
// overlong or surrogate sequence.
bool next_code_point(std::string_view utf8, size_t& at, uint32_t& code_point) {
    const unsigned char lead = static_cast<unsigned char>(utf8[at]);
    size_t extra;
    uint32_t minimum;
    if (lead < 0x80) { code_point = lead; extra = 0; minimum = 0; }
    else if ((lead & 0xE0) == 0xC0) { code_point = lead & 0x1F; extra = 1; minimum = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { code_point = lead & 0x0F; extra = 2; minimum = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { code_point = lead & 0x07; extra = 3; minimum = 0x10000; }
    else return false;
    if (utf8.size() - at <= extra) return false;
    for (size_t i = 1; i <= extra; ++i) {
        const unsigned char next = static_cast<unsigned char>(utf8[at + i]);
        if ((next & 0xC0) != 0x80) return false;
        code_point = (code_point << 6) | (next & 0x3F);
    }
    at += extra + 1;
    return code_point >= minimum && code_point <= 0x10FFFF && (code_point < 0xD800 || code_point > 0xDFFF);
}

}  // namespace

std::string utf8_from_1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) append_utf8(code_point_of(static_cast<unsigned char>(c)), out);
    return out;
}

bool utf8_from_1252(std::string_view text, std::string& utf8) {
    try {
        utf8 = utf8_from_1252(text);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::string utf8_to_1252_replacing(std::string_view utf8) {
    std::string text;
    size_t at = 0;
    while (at < utf8.size()) {
        const size_t start = at;
        uint32_t code_point;
        char byte;
        if (next_code_point(utf8, at, code_point) && byte_of(code_point, byte)) {
            text += byte;
        } else {
            text += '?';
            if (at == start) ++at;  // a malformed byte: skip it alone
        }
    }
    return text;
}

bool utf8_to_1252(std::string_view utf8, std::string& text) {
    text.clear();
    size_t at = 0;
    while (at < utf8.size()) {
        uint32_t code_point;
        char byte;
        if (!next_code_point(utf8, at, code_point) || !byte_of(code_point, byte)) return false;
        text += byte;
    }
    return true;
}
