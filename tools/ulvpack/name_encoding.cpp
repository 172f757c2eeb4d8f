#include "name_encoding.h"

#include "platform/text_codec.h"

#include <cstdint>
#include <cstring>

namespace {

// The letters of the code page that have a decomposed form, by combining
// accent: the base letters, and the composed letters in code page 1252.
struct composition {
    uint16_t accent;
    const char* bases;
    const char* composed;
};
constexpr composition compositions[] = {
    {0x0300, "AEIOUaeiou", "\xC0\xC8\xCC\xD2\xD9\xE0\xE8\xEC\xF2\xF9"},                  // grave
    {0x0301, "AEIOUYaeiouy", "\xC1\xC9\xCD\xD3\xDA\xDD\xE1\xE9\xED\xF3\xFA\xFD"},      // acute
    {0x0302, "AEIOUaeiou", "\xC2\xCA\xCE\xD4\xDB\xE2\xEA\xEE\xF4\xFB"},                  // circumflex
    {0x0303, "ANOano", "\xC3\xD1\xD5\xE3\xF1\xF5"},                                      // tilde
    {0x0308, "YAEIOUaeiouy", "\x9F\xC4\xCB\xCF\xD6\xDC\xE4\xEB\xEF\xF6\xFC\xFF"},      // diaeresis
    {0x030A, "Aa", "\xC5\xE5"},                                                          // ring above
    {0x030C, "SZsz", "\x8A\x8E\x9A\x9E"},                                                // caron
    {0x0327, "Cc", "\xC7\xE7"},                                                          // cedilla
};

// The composed letter of `base` and the accent, as UTF-8, or "".
std::string composed_letter(char base, uint16_t accent) {
    for (const composition& c : compositions) {
        const char* at = c.accent == accent && base != '\0' ? std::strchr(c.bases, base) : nullptr;
        if (at != nullptr) return utf8_from_1252(std::string(1, c.composed[at - c.bases]));
    }
    return "";
}

// The text with every base letter and combining accent that the code page
// holds composed into one letter.
std::string composed(const std::string& utf8) {
    std::string out;
    for (size_t at = 0; at < utf8.size(); ++at) {
        uint32_t accent = 0;
        const size_t length = decode_utf8(utf8, at + 1, accent);
        if (length != 0 && accent >= 0x0300 && accent <= 0x036F) {
            const std::string letter = composed_letter(utf8[at], static_cast<uint16_t>(accent));
            if (!letter.empty()) {
                out += letter;
                at += length;
                continue;
            }
        }
        out += utf8[at];
    }
    return out;
}

}  // namespace

bool packable_name(const std::string& utf8, std::string& name, std::string& stored, std::string& problem) {
    const std::string text = composed(utf8);
    if (utf8_to_1252(text, stored)) {
        name = text;
        return true;
    }
    problem = "has characters that code page 1252 cannot represent: it would read \"" +
              utf8_from_1252(utf8_to_1252_replacing(text)) + "\"";
    return false;
}
