// The POSIX cryptography for signed packages: OpenSSL's libcrypto.
#include "platform/p256_public_key.h"
#include "platform/platform.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cstring>
#include <new>

struct sha256_state {
    EVP_MD_CTX* context = nullptr;
};

sha256_state* sha256_start() {
    sha256_state* state = new (std::nothrow) sha256_state;
    if (state == nullptr) return nullptr;
    state->context = EVP_MD_CTX_new();
    if (state->context != nullptr && EVP_DigestInit_ex(state->context, EVP_sha256(), nullptr) == 1) return state;
    sha256_discard(state);
    return nullptr;
}

int sha256_add(sha256_state* state, const void* bytes, uint32_t count) {
    return EVP_DigestUpdate(state->context, bytes, count) == 1 ? 1 : 0;
}

int sha256_finish(sha256_state* state, unsigned char digest[sha256_size]) {
    unsigned int length = 0;
    const bool finished = EVP_DigestFinal_ex(state->context, digest, &length) == 1 && length == sha256_size;
    sha256_discard(state);
    return finished ? 1 : 0;
}

void sha256_discard(sha256_state* state) {
    if (state == nullptr) return;
    EVP_MD_CTX_free(state->context);
    delete state;
}

int random_bytes(void* buffer, uint32_t count) {
    return RAND_bytes(static_cast<unsigned char*>(buffer), static_cast<int>(count)) == 1 ? 1 : 0;
}

namespace {

// The key as OpenSSL reads it: its DER form, the fixed prefix and the point.
EVP_PKEY* public_key_of(const unsigned char point[p256_point_size]) {
    unsigned char der[sizeof p256_public_key_prefix + p256_point_size];
    std::memcpy(der, p256_public_key_prefix, sizeof p256_public_key_prefix);
    std::memcpy(der + sizeof p256_public_key_prefix, point, p256_point_size);
    const unsigned char* at = der;
    return d2i_PUBKEY(nullptr, &at, sizeof der);
}

// The signature as OpenSSL verifies it: DER again. Returns its length, 0 on failure.
int der_signature(const unsigned char signature[64], unsigned char** der) {
    ECDSA_SIG* parts = ECDSA_SIG_new();
    BIGNUM* r = BN_bin2bn(signature, 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature + 32, 32, nullptr);
    int length = 0;
    if (parts != nullptr && r != nullptr && s != nullptr && ECDSA_SIG_set0(parts, r, s) == 1) {
        r = s = nullptr;  // now the signature's
        length = i2d_ECDSA_SIG(parts, der);
    }
    BN_free(r);
    BN_free(s);
    ECDSA_SIG_free(parts);
    return length > 0 ? length : 0;
}

}  // namespace

int ecdsa_p256_key_valid(const unsigned char public_key[65]) {
    EVP_PKEY* key = public_key_of(public_key);  // OpenSSL refuses a point off the curve
    EVP_PKEY_free(key);
    return key != nullptr ? 1 : 0;
}

// A signature the key refuses, however OpenSSL says so, does not hold; only
// what fails before the check is a failure of the system.
int ecdsa_p256_signature_holds(const unsigned char digest[sha256_size], const unsigned char signature[64],
                               const unsigned char public_key[65]) {
    EVP_PKEY* key = public_key_of(public_key);
    unsigned char* der = nullptr;
    const int der_length = key != nullptr ? der_signature(signature, &der) : 0;
    EVP_PKEY_CTX* context = der_length > 0 ? EVP_PKEY_CTX_new(key, nullptr) : nullptr;
    const bool ready = context != nullptr && EVP_PKEY_verify_init(context) == 1 &&
                       EVP_PKEY_CTX_set_signature_md(context, EVP_sha256()) == 1;
    const bool holds =
        ready && EVP_PKEY_verify(context, der, static_cast<size_t>(der_length), digest, sha256_size) == 1;
    EVP_PKEY_CTX_free(context);
    OPENSSL_free(der);
    EVP_PKEY_free(key);
    return !ready ? -1 : holds ? 1 : 0;
}
