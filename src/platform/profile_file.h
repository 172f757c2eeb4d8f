// Profile files (ulverno.ini) read from their bytes, with the rules of
// GetPrivateProfileString: how the POSIX port reads every profile file, and
// the Win32 port one in UTF-8, which the system's call would read in the
// system's code page ("Ulvérno" would become "UlvÃ©rno"). Both ports build it
// over their own file services (platform.h): it includes no OS header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// The bytes of a file read whole, on the heap.
struct file_bytes {
    std::unique_ptr<char[]> data;
    size_t size = 0;

    std::string_view text() const { return {data.get(), size}; }
};

// Reads whole the profile file `file`, named without a folder, from the
// Windows directory, where GetPrivateProfileString looks for such a file.
// False when there is none, when it cannot be read, or when memory runs out.
bool read_profile_file(const char* file, file_bytes& bytes);

// True when `bytes` are UTF-8 and not plain ASCII: a UTF-8 byte order mark,
// or a character beyond ASCII, written as UTF-8 writes it.
bool utf8_beyond_ascii(std::string_view bytes);

// Finds `key` of `section` in the text of a profile file, as
// GetPrivateProfileString does: a UTF-8 byte order mark at its start is no
// text; sections and keys are compared without regard to ASCII case; blanks
// around names and values are dropped; the first key that matches wins; a
// value in matching single or double quotes loses them. `value` points into
// `text`. False when there is no such key.
bool find_profile_value(std::string_view text, const char* section, const char* key, std::string_view& value);

// Copies `text`, cut to `characters` - 1 characters as Windows counts them
// (never inside one), and a NUL into `buffer`, which holds
// utf8_room(characters) bytes. Returns the number of bytes copied, without
// the NUL.
uint32_t copy_cut(std::string_view text, char* buffer, uint32_t characters);
