#include "package/package_signature.h"

#include <cstring>
#include <new>

namespace {

// One INTEGER of the signature at `der[at]`, into 32 bytes. False unless it
// is positive, in its shortest form, and fits.
bool take_integer(const unsigned char* der, size_t length, size_t& at, unsigned char value[32]) {
    if (length - at < 2 || der[at] != 0x02) return false;
    const size_t size = der[at + 1];
    at += 2;
    if (size == 0 || size > 33 || length - at < size) return false;
    const unsigned char* bytes = der + at;
    if ((bytes[0] & 0x80) != 0) return false;                         // negative
    if (size > 1 && bytes[0] == 0 && (bytes[1] & 0x80) == 0) return false;  // a needless leading zero
    const size_t significant = bytes[0] == 0 ? size - 1 : size;
    if (significant > 32) return false;
    std::memset(value, 0, 32);
    std::memcpy(value + 32 - significant, bytes + size - significant, significant);
    at += size;
    return true;
}

}  // namespace

bool signature_from_der(const unsigned char* der, size_t length, unsigned char raw[64]) {
    // Both INTEGERs take at most 35 bytes each: the SEQUENCE's length has its short form.
    if (length < 2 || der[0] != 0x30 || der[1] != length - 2 || der[1] >= 0x80) return false;
    size_t at = 2;
    return take_integer(der, length, at, raw) && take_integer(der, length, at, raw + 32) && at == length;
}

heap_string signature_path(const char* package_path) {
    const size_t length = std::strlen(package_path);
    heap_string path(new (std::nothrow) char[length + 5]);
    if (path) {
        std::memcpy(path.get(), package_path, length);
        std::memcpy(path.get() + length, ".sig", 5);
    }
    return path;
}

signature_verdict check_signature_file(const char* package_path, const unsigned char digest[sha256_size],
                                       const unsigned char key[65], int& held) {
    const heap_string path = signature_path(package_path);
    held = path ? open_for_reading_unchanged(path.get()) : -1;
    if (held == -1) return signature_verdict::does_not_hold;
    unsigned char der[largest_signature_file + 1];
    const int32_t length = read_bytes(held, der, sizeof der);
    unsigned char raw[64];
    if (length <= 0 || length > static_cast<int32_t>(largest_signature_file) ||
        !signature_from_der(der, static_cast<size_t>(length), raw)) {
        return signature_verdict::does_not_hold;
    }
    const int holds = ecdsa_p256_signature_holds(digest, raw, key);
    return holds == 1 ? signature_verdict::holds : holds == 0 ? signature_verdict::does_not_hold : signature_verdict::cannot_tell;
}
