#include "platform/text_codec.h"

#include <cstring>

namespace {

// Code points of the bytes 0x80 to 0x9F; 0 marks the unassigned ones, which
// stand for the control character of their own value.
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
        const uint32_t mapped = upper_control_range[i] != 0 ? upper_control_range[i] : 0x80 + i;
        if (mapped == code_point) {
            byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

// Writes the UTF-8 bytes of `code_point` and returns the end of them.
char* put_utf8(uint32_t code_point, char* out) {
    const size_t length = code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
    constexpr unsigned char lead[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    out[0] = static_cast<char>(lead[length] | (code_point >> (6 * (length - 1))));
    for (size_t i = 1; i < length; ++i) out[i] = static_cast<char>(0x80 | ((code_point >> (6 * (length - 1 - i))) & 0x3F));
    return out + length;
}

size_t utf8_length_of(uint32_t code_point) {
    return code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : 3;  // the code page stays in the first plane
}

// A character's length in UTF-8 and in UTF-16 units; a byte that is not UTF-8 is one of each.
void measure_character(std::string_view utf8, size_t at, size_t& bytes, size_t& units) {
    bytes = character_at(utf8, at).length;
    units = bytes == 4 ? 2 : 1;
}

// The code page 1252 form of `utf8` into `text`. A character that the code
// page cannot represent, and a byte that is not UTF-8, becomes "?" when
// `replacing`; otherwise it ends the conversion, which returns false.
bool convert_to_1252(std::string_view utf8, std::string& text, bool replacing) {
    text.clear();
    for (size_t at = 0; at < utf8.size();) {
        const utf8_character c = character_at(utf8, at);
        char byte;
        const bool represented = c.valid && byte_of(c.code_point, byte);
        if (!represented && !replacing) return false;
        text += represented ? byte : '?';
        at += c.length;
    }
    return true;
}

}  // namespace

size_t decode_utf8(std::string_view utf8, size_t at, uint32_t& code_point) {
    if (at >= utf8.size()) return 0;
    const unsigned char lead = static_cast<unsigned char>(utf8[at]);
    const size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || utf8.size() - at < length) return 0;
    uint32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(utf8[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    constexpr uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    code_point = value;
    return length;
}

utf8_character character_at(std::string_view utf8, size_t at) {
    utf8_character c;
    c.length = decode_utf8(utf8, at, c.code_point);
    c.valid = c.length != 0;
    if (!c.valid) {
        c.length = 1;
        c.code_point = static_cast<unsigned char>(utf8[at]);
    }
    return c;
}

void append_utf8(uint32_t code_point, std::string& out) {
    char bytes[4];
    out.append(bytes, static_cast<size_t>(put_utf8(code_point, bytes) - bytes));
}

size_t utf8_from_utf16(const void* units, size_t count, char* out) {
    const auto unit = [units](size_t at) {
        uint16_t value;
        std::memcpy(&value, static_cast<const unsigned char*>(units) + 2 * at, 2);
        return value;
    };
    size_t size = 0;
    for (size_t at = 0; at < count; ++at) {
        uint32_t code_point = unit(at);
        const bool high = code_point >= 0xD800 && code_point <= 0xDBFF;
        if (high && at + 1 < count && unit(at + 1) >= 0xDC00 && unit(at + 1) <= 0xDFFF) {
            code_point = 0x10000 + ((code_point - 0xD800) << 10) + (unit(++at) - 0xDC00);
        } else if (code_point >= 0xD800 && code_point <= 0xDFFF) {
            code_point = '?';
        }
        char bytes[4];
        const size_t length = static_cast<size_t>(put_utf8(code_point, bytes) - bytes);
        if (out != nullptr) std::memcpy(out + size, bytes, length);
        size += length;
    }
    return size;
}

size_t character_count(std::string_view utf8) {
    size_t count = 0;
    for (size_t at = 0, bytes, units; at < utf8.size(); at += bytes, count += units) measure_character(utf8, at, bytes, units);
    return count;
}

size_t prefix_within(std::string_view utf8, size_t characters) {
    size_t at = 0;
    for (size_t count = 0, bytes, units; at < utf8.size(); at += bytes, count += units) {
        measure_character(utf8, at, bytes, units);
        if (count + units > characters) break;
    }
    return at;
}

size_t utf8_size_from_1252(std::string_view text) {
    size_t size = 0;
    for (const char c : text) size += utf8_length_of(code_point_of(static_cast<unsigned char>(c)));
    return size;
}

char* write_utf8_from_1252(std::string_view text, char* out) {
    for (const char c : text) out = put_utf8(code_point_of(static_cast<unsigned char>(c)), out);
    return out;
}

std::string utf8_from_1252(std::string_view text) {
    std::string out(utf8_size_from_1252(text), '\0');
    write_utf8_from_1252(text, out.data());
    return out;
}

bool utf8_to_1252(std::string_view utf8, std::string& text) {
    return convert_to_1252(utf8, text, false);
}

std::string utf8_to_1252_replacing(std::string_view utf8) {
    std::string text;
    convert_to_1252(utf8, text, true);
    return text;
}
