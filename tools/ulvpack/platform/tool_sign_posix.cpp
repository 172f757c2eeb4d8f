// Signing packages on POSIX, with OpenSSL's libcrypto: the private key never
// leaves this process, and a key file that others may read is refused.
#include "signing.h"

#include "platform/tool_files.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool refuse(std::string& why, bool& refused, const std::string& text) {
    why = text;
    refused = true;
    return false;
}

// A private key file that others than its owner can read is no longer private.
bool private_to_its_owner(const std::string& key_path, const struct stat& status, std::string& why, bool& refused) {
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) == 0) return true;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return refuse(why, refused,
                  key_path + " can be read by others than its owner (mode " + mode + "): a private key must not be; "
                  "chmod 600 " + key_path);
}

// Refuses encrypted keys rather than asking for a passphrase: the tool runs
// in pipelines with no one to answer.
int no_passphrase(char* /*buffer*/, int /*size*/, int /*writing*/, void* /*data*/) {
    return -1;
}

// Why the bytes of the file at `key_path` are no private key the tool signs with.
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
// Only a regular file is read; opening without waiting keeps a FIFO from
// holding the tool (and means nothing for a regular file's reads).
bool read_key_file(const std::string& key_path, std::string& bytes, struct stat& status, std::string& why,
                   bool& refused) {
    const int handle = open(key_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (handle < 0 || fstat(handle, &status) != 0) {
        why = "cannot open " + key_path + ": " + std::strerror(errno);
        if (handle >= 0) close(handle);
        return false;
    }
    const bool regular = S_ISREG(status.st_mode);
    bytes.resize(regular ? largest_key_file + 1 : 0);
    const int32_t got = regular ? read_bytes(handle, bytes.data(), static_cast<uint32_t>(bytes.size())) : 0;
    const int read_error = errno;
    close(handle);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    if (!regular) return refuse(why, refused, key_path + " is not a regular file");
    if (got < 0) {
        why = "cannot read " + key_path + ": " + std::strerror(read_error);
        return false;
    }
    if (bytes.size() > largest_key_file) return refuse(why, refused, key_path + " is too large to be a private key file");
    return true;
}

// The private key in `bytes`, or null. A passphrase is never asked for.
EVP_PKEY* parse_private_key(const std::string& bytes) {
    BIO* memory = BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()));
    EVP_PKEY* key = memory != nullptr ? PEM_read_bio_PrivateKey(memory, nullptr, no_passphrase, nullptr) : nullptr;
    BIO_free(memory);
    return key;
}

bool is_p256_key(EVP_PKEY* key) {
    char group[64] = "";
    size_t length = 0;
    return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

// The private key of `key_path`, or null with the reason. It must be an
// ECDSA P-256 key that nobody but its owner can read.
EVP_PKEY* read_private_key(const std::string& key_path, std::string& why, bool& refused) {
    refused = false;
    std::string bytes;
    struct stat status;
    if (!read_key_file(key_path, bytes, status, why, refused)) return nullptr;
    EVP_PKEY* key = parse_private_key(bytes);
    if (key == nullptr || !is_p256_key(key)) {
        refuse(why, refused, key != nullptr ? key_path + " is not an ECDSA P-256 private key" : not_a_private_key(key_path, bytes));
        EVP_PKEY_free(key);
        key = nullptr;
    } else if (!private_to_its_owner(key_path, status, why, refused)) {
        EVP_PKEY_free(key);
        key = nullptr;
    }
    OPENSSL_cleanse(bytes.data(), bytes.size());  // the private key stays in OpenSSL's keeping alone
    return key;
}

bool sign_digest(EVP_PKEY* key, const unsigned char digest[sha256_size], std::string& der) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
    size_t length = 0;
    bool signed_it = context != nullptr && EVP_PKEY_sign_init(context) == 1 &&
                     EVP_PKEY_CTX_set_signature_md(context, EVP_sha256()) == 1 &&
                     EVP_PKEY_sign(context, nullptr, &length, digest, sha256_size) == 1;
    if (signed_it) {
        der.resize(length);
        signed_it = EVP_PKEY_sign(context, reinterpret_cast<unsigned char*>(der.data()), &length, digest, sha256_size) == 1;
        der.resize(length);
    }
    EVP_PKEY_CTX_free(context);
    return signed_it;
}

// The fingerprint of the key's public half in its standard form: the fixed
// prefix and the uncompressed point, whatever form the private key file uses.
std::string fingerprint_of(EVP_PKEY* key) {
    BIGNUM* x = nullptr;
    BIGNUM* y = nullptr;
    unsigned char der[sizeof p256_public_key_prefix + p256_point_size];
    std::memcpy(der, p256_public_key_prefix, sizeof p256_public_key_prefix);
    der[sizeof p256_public_key_prefix] = 0x04;
    const bool found = EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1 &&
                       EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1 &&
                       BN_bn2binpad(x, der + sizeof p256_public_key_prefix + 1, 32) == 32 &&
                       BN_bn2binpad(y, der + sizeof p256_public_key_prefix + 33, 32) == 32;
    BN_free(x);
    BN_free(y);
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
    EVP_PKEY* key = read_private_key(key_path, why, refused);
    EVP_PKEY_free(key);
    return key != nullptr;
}

bool sign_package(const std::string& path, const std::string& key_path, std::string& fingerprint, std::string& why,
                  bool& refused) {
    EVP_PKEY* key = read_private_key(key_path, why, refused);
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
    EVP_PKEY_free(key);
    return signed_it && write_whole(path + ".sig", der, why);
}
