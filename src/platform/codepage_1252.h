// Conversions between code page 1252, in which the updater's names, paths and
// texts are written, and UTF-8, which POSIX terminals and file names use.
#pragma once

#include <string>
#include <string_view>

// The UTF-8 form of a code-page-1252 text. The five bytes that the code page
// leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control
// characters of the same value, as Windows converts them.
std::string utf8_from_1252(std::string_view text);

// The same into `utf8`, for the file services: false, instead of an
// exception, when memory runs out (a name may be as long as a record).
bool utf8_from_1252(std::string_view text, std::string& utf8);

// The code-page-1252 form of a UTF-8 text, with "?" for each character (or
// malformed byte) that the code page cannot represent, as Windows' ANSI calls do.
std::string utf8_to_1252_replacing(std::string_view utf8);

// The code-page-1252 form of a UTF-8 text into `text`. Returns false, leaving
// `text` unspecified, when the input is not valid UTF-8 or holds a character
// that the code page cannot represent.
bool utf8_to_1252(std::string_view utf8, std::string& text);
