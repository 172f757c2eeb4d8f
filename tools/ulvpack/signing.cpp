#include "signing.h"

#include "report.h"

#include "package/package_signature.h"
#include "system/tool_system.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The bytes of a base64 text, ignoring line ends; false on anything else.
bool from_base64(const std::string& text, std::string& bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    uint32_t bits = 0;
    int count = 0;
    bool padded = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
        if (c == '=') {
            padded = true;
            continue;
        }
        const char* at = std::strchr(alphabet, c);
        if (at == nullptr || c == '\0' || padded) return false;
        bits = (bits << 6) | static_cast<uint32_t>(at - alphabet);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return true;
}

bool read_small_file(const std::string& path, std::string& contents, std::string& why) {
    const int handle = open_package(std::filesystem::u8path(path), why);
    if (handle == -1) return false;
    char chunk[4096];
    int32_t got;
    while ((got = read_bytes(handle, chunk, sizeof chunk)) > 0 && contents.size() < 65536) {
        contents.append(chunk, static_cast<size_t>(got));
    }
    if (got < 0) why = system_error_text(last_system_error());
    close_file(handle);
    return got >= 0;
}

}  // namespace

std::string key_fingerprint(const unsigned char* der, size_t length) {
    unsigned char digest[sha256_size];
    sha256_state* state = sha256_start();
    if (state == nullptr || sha256_add(state, der, static_cast<uint32_t>(length)) != 1) {
        sha256_discard(state);
        return "";
    }
    if (sha256_finish(state, digest) != 1) return "";
    std::string digits;
    char two[3];
    for (const unsigned char byte : digest) {
        std::snprintf(two, sizeof two, "%02x", byte);
        digits += two;
    }
    return digits;
}

bool read_public_key(const std::string& path, public_key& key, std::string& why) {
    std::string pem;
    if (!read_small_file(path, pem, why)) return false;
    const std::string begin = "-----BEGIN PUBLIC KEY-----";
    const size_t start = pem.find(begin);
    const size_t end = pem.find("-----END PUBLIC KEY-----");
    std::string der;
    if (start == std::string::npos || end == std::string::npos || end < start ||
        !from_base64(pem.substr(start + begin.size(), end - start - begin.size()), der)) {
        why = "it is not a PEM public key (-----BEGIN PUBLIC KEY-----)";
        return false;
    }
    if (der.size() != sizeof p256_public_key_prefix + p256_point_size ||
        std::memcmp(der.data(), p256_public_key_prefix, sizeof p256_public_key_prefix) != 0 ||
        der[sizeof p256_public_key_prefix] != 0x04) {
        why = "it is not an ECDSA P-256 public key";
        return false;
    }
    if (ecdsa_p256_key_valid(reinterpret_cast<const unsigned char*>(der.data()) + sizeof p256_public_key_prefix) != 1) {
        why = "its point is not on the P-256 curve: it is no key";
        return false;
    }
    std::memcpy(key.point, der.data() + sizeof p256_public_key_prefix, p256_point_size);
    key.fingerprint = key_fingerprint(reinterpret_cast<const unsigned char*>(der.data()), der.size());
    if (key.fingerprint.empty()) why = "the system cannot compute SHA-256";
    return !key.fingerprint.empty();
}

bool digest_file(const std::string& path, unsigned char digest[sha256_size], std::string& why) {
    const int handle = open_package(std::filesystem::u8path(path), why);
    if (handle == -1) return false;
    sha256_state* state = sha256_start();
    std::vector<char> chunk(1 << 20);
    int32_t got = 0;
    bool added = state != nullptr;
    while (added && (got = read_bytes(handle, chunk.data(), static_cast<uint32_t>(chunk.size()))) > 0) {
        added = sha256_add(state, chunk.data(), static_cast<uint32_t>(got)) == 1;
    }
    if (got < 0) why = system_error_text(last_system_error());
    close_file(handle);
    if (!added || got < 0) {
        sha256_discard(state);
        if (got >= 0) why = "the system cannot compute SHA-256";
        return false;
    }
    if (sha256_finish(state, digest) != 1) {
        why = "the system cannot compute SHA-256";
        return false;
    }
    return true;
}

std::string signature_problem(const std::string& path, const public_key& key) {
    const std::string signature = path + ".sig";
    std::string der;
    std::string why;
    if (!read_small_file(signature, der, why)) return "no signature: cannot open " + printable_text(signature) + ": " + why;
    unsigned char raw[64];
    if (der.size() > largest_signature_file ||
        !signature_from_der(reinterpret_cast<const unsigned char*>(der.data()), der.size(), raw)) {
        return printable_text(signature) + " is not an ECDSA signature in DER";
    }
    unsigned char digest[sha256_size];
    if (!digest_file(path, digest, why)) return "cannot read " + printable_text(path) + ": " + why;
    const int holds = ecdsa_p256_signature_holds(digest, raw, key.point);
    if (holds < 0) return "the system's cryptography failed: the signature could not be checked";
    if (holds == 0) {
        return printable_text(signature) + " is not a signature of this package by this key (key SHA-256 " +
               key.fingerprint + ")";
    }
    return "";
}
