// The Win32 cryptography for signed packages: CNG (bcrypt.dll), through the
// calls that Windows 7 has (no BCryptHash, which came with Windows 10).
#include "platform/platform.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>
#include <new>

struct sha256_state {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char* object = nullptr;  // the hash object's memory, which CNG leaves to its caller
};

namespace {

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

// CNG takes its inputs through pointers that are not const; it does not write them.
PUCHAR input(const void* bytes) {
    return static_cast<PUCHAR>(const_cast<void*>(bytes));
}

}  // namespace

sha256_state* sha256_start() {
    sha256_state* state = new (std::nothrow) sha256_state;
    if (state == nullptr) return nullptr;
    DWORD object_size = 0;
    DWORD got = 0;
    const bool started =
        succeeded(BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        succeeded(BCryptGetProperty(state->algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&object_size),
                                    sizeof object_size, &got, 0)) &&
        (state->object = new (std::nothrow) unsigned char[object_size]) != nullptr &&
        succeeded(BCryptCreateHash(state->algorithm, &state->hash, state->object, object_size, nullptr, 0, 0));
    if (started) return state;
    sha256_discard(state);
    return nullptr;
}

int sha256_add(sha256_state* state, const void* bytes, uint32_t count) {
    return count == 0 || succeeded(BCryptHashData(state->hash, input(bytes), count, 0)) ? 1 : 0;
}

int sha256_finish(sha256_state* state, unsigned char digest[sha256_size]) {
    const bool finished = succeeded(BCryptFinishHash(state->hash, digest, sha256_size, 0));
    sha256_discard(state);
    return finished ? 1 : 0;
}

void sha256_discard(sha256_state* state) {
    if (state == nullptr) return;
    if (state->hash != nullptr) BCryptDestroyHash(state->hash);
    if (state->algorithm != nullptr) BCryptCloseAlgorithmProvider(state->algorithm, 0);
    delete[] state->object;
    delete state;
}

namespace {

// The key as CNG holds it (an ECCPUBLIC_BLOB: its header, then X and Y), or
// null when CNG refuses it.
BCRYPT_KEY_HANDLE import_key(BCRYPT_ALG_HANDLE algorithm, const unsigned char public_key[65]) {
    if (public_key[0] != 0x04) return nullptr;
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, public_key + 1, 64);
    BCRYPT_KEY_HANDLE key = nullptr;
    return succeeded(BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob, sizeof blob, 0)) ? key
                                                                                                                 : nullptr;
}

// Runs `use` on the key, imported; false when it cannot be.
template <typename Use>
bool with_key(const unsigned char public_key[65], Use use) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    const BCRYPT_KEY_HANDLE key = import_key(algorithm, public_key);
    const bool result = key != nullptr && use(key);
    if (key != nullptr) BCryptDestroyKey(key);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return result;
}

}  // namespace

int ecdsa_p256_key_valid(const unsigned char public_key[65]) {
    return with_key(public_key, [](BCRYPT_KEY_HANDLE) { return true; }) ? 1 : 0;
}

int ecdsa_p256_signature_holds(const unsigned char digest[sha256_size], const unsigned char signature[64],
                               const unsigned char public_key[65]) {
    return with_key(public_key, [&](BCRYPT_KEY_HANDLE key) {
               return BCryptVerifySignature(key, nullptr, input(digest), sha256_size, input(signature), 64, 0) == 0;
           })
               ? 1
               : 0;
}
