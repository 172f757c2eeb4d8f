// The private key a package is signed with, and what the tool requires of
// it: an ECDSA P-256 key in PEM, unencrypted, in a regular file that nobody
// but its owner can read. Signing is done where that key is kept.
#include "signing.h"

#include "system/tool_system.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

const char elsewhere[] = "ulvpack.exe does not sign: sign on the machine that keeps the private key, with the "
                         "Linux ulvpack (ulvpack sign) or openssl dgst -sha256 -sign";

bool refuse(std::string& why, bool& refused, const std::string& text) {
    why = text;
    refused = true;
    return false;
}

// A private key file that others than its owner can read is no longer private.
bool private_to_its_owner(const std::string& key_path, unsigned bits, std::string& why, bool& refused) {
    if ((bits & 077) == 0) return true;
    char mode[12];
    std::snprintf(mode, sizeof mode, "%04o", bits);
    return refuse(why, refused,
                  key_path + " can be read by others than its owner (mode " + mode + "): a private key must not be; "
                  "chmod 600 " + key_path);
}

// Why the bytes of the file at `key_path` are no private key the tool signs
// with. An encrypted key is refused rather than a passphrase asked for: the
// tool runs in pipelines with no one to answer.
std::string not_a_private_key(const std::string& key_path, const std::string& bytes) {
    if (bytes.find("ENCRYPTED") != std::string::npos) {
        return key_path + " is encrypted: sign with an unencrypted copy kept on the signing machine alone "
                          "(openssl pkey -in " + key_path + " -out KEY)";
    }
    if (bytes.find("PUBLIC KEY") != std::string::npos) return key_path + " is a public key: signing takes the private one";
    return key_path + " is not an ECDSA P-256 private key in PEM";
}

// A PEM private key takes a few hundred bytes; a file far larger is none.
constexpr size_t largest_key_file = 64 * 1024;

// Reads the key file once, through one open file that is checked itself: what
// is checked is what is read, whatever is renamed into its path meanwhile.
// Only a regular file is read, as the updater reads one: a FIFO could hold the tool.
bool read_key_file(const std::string& key_path, std::string& bytes, unsigned& bits, std::string& why, bool& refused) {
    const int handle = open_for_reading(key_path.c_str());
    if (handle == -1) {
        const system_error error = last_system_error();
        if (error.cause != error_cause::system) return refuse(why, refused, key_path + " is not a regular file");
        why = "cannot open " + key_path + ": " + system_error_text(error);
        return false;
    }
    const bool told = permission_bits(handle, bits);
    bytes.resize(told ? largest_key_file + 1 : 0);
    const int32_t got = told ? read_bytes(handle, bytes.data(), static_cast<uint32_t>(bytes.size())) : 0;
    const std::string reason = got < 0 ? system_error_text(last_system_error()) : "";
    close_file(handle);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    if (!told) why = "cannot open " + key_path + ": the system cannot tell who may read it";
    if (got < 0) why = "cannot read " + key_path + ": " + reason;
    if (!told || got < 0) return false;
    if (bytes.size() > largest_key_file) return refuse(why, refused, key_path + " is too large to be a private key file");
    return true;
}

// The private key of `key_path`, or null with the reason.
private_key* read_private_key(const std::string& key_path, std::string& why, bool& refused) {
    refused = false;
    if (!signs_packages()) {
        refuse(why, refused, elsewhere);
        return nullptr;
    }
    std::string bytes;
    unsigned bits = 0;
    if (!read_key_file(key_path, bytes, bits, why, refused)) return nullptr;
    private_key* key = private_key_from_pem(bytes);
    if (key == nullptr || !is_p256_key(key)) {
        refuse(why, refused, key != nullptr ? key_path + " is not an ECDSA P-256 private key" : not_a_private_key(key_path, bytes));
        discard_private_key(key);
        key = nullptr;
    } else if (!private_to_its_owner(key_path, bits, why, refused)) {
        discard_private_key(key);
        key = nullptr;
    }
    forget_secret(bytes);  // the private key stays in the system's keeping alone
    return key;
}

// The fingerprint of the key's public half in its standard form: the fixed
// prefix and the uncompressed point, whatever form the private key file uses.
std::string fingerprint_of(private_key* key) {
    unsigned char der[sizeof p256_public_key_prefix + p256_point_size];
    std::memcpy(der, p256_public_key_prefix, sizeof p256_public_key_prefix);
    const bool found = public_point_of(key, der + sizeof p256_public_key_prefix);
    const std::string fingerprint = found ? key_fingerprint(der, sizeof der) : "";
    return fingerprint.empty() ? "unknown" : fingerprint;
}

// Writes `bytes` to `path` in one step: a new file beside it, then renamed.
bool write_whole(const std::string& path, const std::string& bytes, std::string& why) {
    std::filesystem::path temporary;
    const int handle = create_temporary_beside(std::filesystem::u8path(path), temporary, why);
    if (handle == -1) return false;
    const bool written = write_all(handle, bytes.data(), bytes.size(), why) && flush_file(handle) == 1;
    const bool closed = close_file(handle) == 1;
    if (written && closed && replace_file(temporary, std::filesystem::u8path(path), why, "the signature")) return true;
    if (!written || !closed) why = "cannot write " + path + (why.empty() ? "" : ": " + why);
    remove_path(temporary);
    return false;
}

}  // namespace

bool private_key_usable(const std::string& key_path, std::string& why, bool& refused) {
    private_key* key = read_private_key(key_path, why, refused);
    discard_private_key(key);
    return key != nullptr;
}

bool sign_package(const std::string& path, const std::string& key_path, std::string& fingerprint, std::string& why,
                  bool& refused) {
    fingerprint.clear();
    private_key* key = read_private_key(key_path, why, refused);
    if (key == nullptr) return false;
    unsigned char digest[sha256_size];
    std::string der;
    bool signed_it = digest_file(path, digest, why);
    if (!signed_it) why = "cannot read " + path + ": " + why;  // the key was read: say which file this is
    if (signed_it && !sign_digest(key, digest, der)) {
        why = "OpenSSL could not sign with " + key_path;
        signed_it = false;
    }
    fingerprint = fingerprint_of(key);
    discard_private_key(key);
    return signed_it && write_whole(path + ".sig", der, why);
}
