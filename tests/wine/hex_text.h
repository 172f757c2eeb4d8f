// Texts as hexadecimal digits, two a byte: how the Win32 bench helper and the
// tests that drive it pass texts that no shell, loader or console may alter.
#pragma once

#include <string>

inline std::string to_hex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : text) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline std::string from_hex(const std::string& hex) {
    const auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
    return out;
}
