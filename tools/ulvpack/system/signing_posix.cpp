// Signing on POSIX, with OpenSSL's libcrypto: the private key never leaves
// this process, and OpenSSL alone keeps it once it is read.
#include "system/tool_system.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>
#include <new>

// OpenSSL's key, under the tool's name for it.
struct private_key {
    EVP_PKEY* key;
};

namespace {

// Refuses encrypted keys rather than asking for a passphrase: the tool runs
// in pipelines with no one to answer.
int no_passphrase(char* /*buffer*/, int /*size*/, int /*writing*/, void* /*data*/) {
    return -1;
}

}  // namespace

bool signs_packages() {
    return true;
}

private_key* private_key_from_pem(const std::string& pem) {
    BIO* memory = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY* key = memory != nullptr ? PEM_read_bio_PrivateKey(memory, nullptr, no_passphrase, nullptr) : nullptr;
    BIO_free(memory);
    private_key* held = key != nullptr ? new (std::nothrow) private_key{key} : nullptr;
    if (held == nullptr) EVP_PKEY_free(key);
    return held;
}

bool is_p256_key(private_key* key) {
    char group[64] = "";
    size_t length = 0;
    return EVP_PKEY_get_base_id(key->key) == EVP_PKEY_EC &&
           EVP_PKEY_get_utf8_string_param(key->key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

// The point uncompressed, whatever form the private key file uses.
bool public_point_of(private_key* key, unsigned char point[p256_point_size]) {
    BIGNUM* x = nullptr;
    BIGNUM* y = nullptr;
    point[0] = 0x04;
    const bool found = EVP_PKEY_get_bn_param(key->key, OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1 &&
                       EVP_PKEY_get_bn_param(key->key, OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1 &&
                       BN_bn2binpad(x, point + 1, 32) == 32 && BN_bn2binpad(y, point + 33, 32) == 32;
    BN_free(x);
    BN_free(y);
    return found;
}

bool sign_digest(private_key* key, const unsigned char digest[sha256_size], std::string& der) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key->key, nullptr);
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

void discard_private_key(private_key* key) {
    if (key == nullptr) return;
    EVP_PKEY_free(key->key);
    delete key;
}

void forget_secret(std::string& secret) {
    OPENSSL_cleanse(secret.data(), secret.size());
}
