// The updater's one text model: every string inside the program is UTF-8.
// Text from the system comes in as the system gives it (UTF-8 from a POSIX
// system, converted from UTF-16 at the Win32 edge); names in packages are
// code page 1252 by the format and are converted where they are read.
//
// Limits on text are counted in characters as Windows counts them: UTF-16
// units, so a character beyond U+FFFF counts as two, and a byte that is not
// UTF-8 counts as one. A text in code page 1252 has as many characters as bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Room, in bytes, for a UTF-8 text of fewer than `characters` characters and
// its NUL: no character takes more than three bytes for each unit it counts.
constexpr size_t utf8_room(size_t characters) {
    return characters * 3;
}

// Decodes the UTF-8 character that starts at `utf8[at]` into `code_point` and
// returns its length in bytes; 0 when the bytes there are not one (a stray or
// cut sequence, an overlong form, a surrogate, a code point past U+10FFFF).
size_t decode_utf8(std::string_view utf8, size_t at, uint32_t& code_point);

// The character that starts at `utf8[at]`, for `at` within `utf8`: its
// length in bytes and its code point. A byte that is not UTF-8 counts as a
// character of one byte, not `valid`, whose `code_point` is the byte's value.
struct utf8_character {
    size_t length = 1;
    uint32_t code_point = 0;
    bool valid = false;
};
utf8_character character_at(std::string_view utf8, size_t at);

// True for a control character (C0, DEL, C1), which a terminal would take as
// a command.
constexpr bool is_control_character(uint32_t code_point) {
    return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F);
}

// Appends the UTF-8 form of `code_point` (at most U+10FFFF, no surrogate).
void append_utf8(uint32_t code_point, std::string& out);

// The length in bytes of the UTF-8 form of `count` UTF-16 units at `units`
// (16 bits each, in the machine's byte order), written to `out` unless it is
// null. A unit of a surrogate pair without its other half becomes "?", as
// the system's ANSI calls give it: such a text never names another file, nor
// runs another program, than the one its writer meant (none can have "?").
size_t utf8_from_utf16(const void* units, size_t count, char* out);

// The number of characters of `utf8`, as Windows counts them.
size_t character_count(std::string_view utf8);

// The length in bytes of the longest start of `utf8` that holds at most
// `characters` characters and does not end inside one.
size_t prefix_within(std::string_view utf8, size_t characters);

// The length in bytes of the UTF-8 form of a code page 1252 text.
size_t utf8_size_from_1252(std::string_view text);

// Writes the UTF-8 form of a code page 1252 text to `out`, which has room
// for utf8_size_from_1252(text) bytes, and returns the end of what it wrote.
// The five bytes that the code page leaves unassigned (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the control characters of the same value, as Windows
// converts them, so that every name converts back to the bytes it came from.
char* write_utf8_from_1252(std::string_view text, char* out);

// The same as a string.
std::string utf8_from_1252(std::string_view text);

// The code page 1252 form of a UTF-8 text into `text`. Returns false, leaving
// `text` unspecified, when the input is not valid UTF-8 or holds a character
// that the code page cannot represent.
bool utf8_to_1252(std::string_view utf8, std::string& text);

// The code page 1252 form of a UTF-8 text, with "?" for each character (or
// malformed byte) that the code page cannot represent, as Windows' ANSI calls do.
std::string utf8_to_1252_replacing(std::string_view utf8);
