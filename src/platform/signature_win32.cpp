// The Win32 cryptography for signed packages: CNG (bcrypt.dll), through the
// calls that Windows 7 has (no BCryptHash, which came with Windows 10).
//
// bcrypt.dll is not one of the libraries Windows always takes from the
// system folder: imported by name, a copy planted beside the program (in a
// downloads folder, on a share or a stick) would run as administrator and
// check nothing. It is loaded from the system folder alone, when first needed.
#include "platform/platform.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace {

// The CNG calls used, from the system's own bcrypt.dll.
struct cng_calls {
    decltype(&BCryptOpenAlgorithmProvider) open_algorithm;
    decltype(&BCryptCloseAlgorithmProvider) close_algorithm;
    decltype(&BCryptGetProperty) get_property;
    decltype(&BCryptCreateHash) create_hash;
    decltype(&BCryptHashData) hash_data;
    decltype(&BCryptFinishHash) finish_hash;
    decltype(&BCryptDestroyHash) destroy_hash;
    decltype(&BCryptImportKeyPair) import_key_pair;
    decltype(&BCryptDestroyKey) destroy_key;
    decltype(&BCryptVerifySignature) verify_signature;
    decltype(&BCryptGenRandom) generate_random;
};

// Where the loader cannot be told to search the system folder alone (a
// Windows 7 without the update that brought it), the library is named by its
// full path there.
HMODULE load_from_system_folder(const wchar_t* library) {
    const HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    const size_t name_length = std::wcslen(library);
    if (length == 0 || length + 1 + name_length >= MAX_PATH) return nullptr;
    path[length] = L'\\';
    std::wmemcpy(path + length + 1, library, name_length + 1);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Call>
bool find(HMODULE module, const char* name, Call& call) {
    // Through void (*)(void), which converts to any function type without a warning.
    call = reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return call != nullptr;
}

bool load(cng_calls& calls) {
    const HMODULE module = load_from_system_folder(L"bcrypt.dll");
    return module != nullptr && find(module, "BCryptOpenAlgorithmProvider", calls.open_algorithm) &&
           find(module, "BCryptCloseAlgorithmProvider", calls.close_algorithm) &&
           find(module, "BCryptGetProperty", calls.get_property) && find(module, "BCryptCreateHash", calls.create_hash) &&
           find(module, "BCryptHashData", calls.hash_data) && find(module, "BCryptFinishHash", calls.finish_hash) &&
           find(module, "BCryptDestroyHash", calls.destroy_hash) &&
           find(module, "BCryptImportKeyPair", calls.import_key_pair) &&
           find(module, "BCryptDestroyKey", calls.destroy_key) &&
           find(module, "BCryptVerifySignature", calls.verify_signature) &&
           find(module, "BCryptGenRandom", calls.generate_random);
}

// The calls, or null when the system's library cannot give them.
const cng_calls* cng() {
    static cng_calls calls;
    static const bool loaded = load(calls);
    return loaded ? &calls : nullptr;
}

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

// CNG takes its inputs through pointers that are not const; it does not write them.
PUCHAR input(const void* bytes) {
    return static_cast<PUCHAR>(const_cast<void*>(bytes));
}

}  // namespace

int random_bytes(void* buffer, uint32_t count) {
    const cng_calls* calls = cng();
    return calls != nullptr && succeeded(calls->generate_random(nullptr, static_cast<PUCHAR>(buffer), count,
                                                                BCRYPT_USE_SYSTEM_PREFERRED_RNG))
               ? 1
               : 0;
}

struct sha256_state {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char* object = nullptr;  // the hash object's memory, which CNG leaves to its caller
};

sha256_state* sha256_start() {
    const cng_calls* calls = cng();
    if (calls == nullptr) return nullptr;
    sha256_state* state = new (std::nothrow) sha256_state;
    if (state == nullptr) return nullptr;
    DWORD object_size = 0;
    DWORD got = 0;
    const bool started =
        succeeded(calls->open_algorithm(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        succeeded(calls->get_property(state->algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&object_size),
                                      sizeof object_size, &got, 0)) &&
        (state->object = new (std::nothrow) unsigned char[object_size]) != nullptr &&
        succeeded(calls->create_hash(state->algorithm, &state->hash, state->object, object_size, nullptr, 0, 0));
    if (started) return state;
    sha256_discard(state);
    return nullptr;
}

// A state exists only once the calls were found.
int sha256_add(sha256_state* state, const void* bytes, uint32_t count) {
    return count == 0 || succeeded(cng()->hash_data(state->hash, input(bytes), count, 0)) ? 1 : 0;
}

int sha256_finish(sha256_state* state, unsigned char digest[sha256_size]) {
    const bool finished = succeeded(cng()->finish_hash(state->hash, digest, sha256_size, 0));
    sha256_discard(state);
    return finished ? 1 : 0;
}

void sha256_discard(sha256_state* state) {
    if (state == nullptr) return;
    if (state->hash != nullptr) cng()->destroy_hash(state->hash);
    if (state->algorithm != nullptr) cng()->close_algorithm(state->algorithm, 0);
    delete[] state->object;
    delete state;
}

namespace {

// The key as CNG holds it (an ECCPUBLIC_BLOB: its header, then X and Y), or
// null when CNG refuses it.
BCRYPT_KEY_HANDLE import_key(const cng_calls& calls, BCRYPT_ALG_HANDLE algorithm, const unsigned char public_key[65]) {
    if (public_key[0] != 0x04) return nullptr;
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, public_key + 1, 64);
    BCRYPT_KEY_HANDLE key = nullptr;
    const NTSTATUS imported = calls.import_key_pair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob, sizeof blob, 0);
    return succeeded(imported) ? key : nullptr;
}

// Runs `use` on the key, imported: 1 or 0 as it says, -1 when the key cannot
// be imported at all.
template <typename Use>
int with_key(const unsigned char public_key[65], Use use) {
    const cng_calls* calls = cng();
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (calls == nullptr || !succeeded(calls->open_algorithm(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
        return -1;
    }
    const BCRYPT_KEY_HANDLE key = import_key(*calls, algorithm, public_key);
    const int result = key == nullptr ? -1 : use(*calls, key) ? 1 : 0;
    if (key != nullptr) calls->destroy_key(key);
    calls->close_algorithm(algorithm, 0);
    return result;
}

}  // namespace

int ecdsa_p256_key_valid(const unsigned char public_key[65]) {
    return with_key(public_key, [](const cng_calls&, BCRYPT_KEY_HANDLE) { return true; }) == 1 ? 1 : 0;
}

// A signature the key refuses, however CNG says so, does not hold.
int ecdsa_p256_signature_holds(const unsigned char digest[sha256_size], const unsigned char signature[64],
                               const unsigned char public_key[65]) {
    return with_key(public_key, [&](const cng_calls& calls, BCRYPT_KEY_HANDLE key) {
        return calls.verify_signature(key, nullptr, input(digest), sha256_size, input(signature), 64, 0) == 0;
    });
}
