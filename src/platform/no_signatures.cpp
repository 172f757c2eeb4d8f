// The cryptography of an updater built without the vendor's key, which never
// checks a signature: none is linked in (a smaller program, and on POSIX no
// library loaded for nothing). Each service says the system cannot.
#include "platform/platform.h"

sha256_state* sha256_start() {
    return nullptr;
}

int sha256_add(sha256_state* /*state*/, const void* /*bytes*/, uint32_t /*count*/) {
    return 0;
}

int sha256_finish(sha256_state* /*state*/, unsigned char* /*digest*/) {
    return 0;
}

void sha256_discard(sha256_state* /*state*/) {}

int random_bytes(void* /*buffer*/, uint32_t /*count*/) {
    return 0;
}

int ecdsa_p256_key_valid(const unsigned char* /*public_key*/) {
    return 0;
}

int ecdsa_p256_signature_holds(const unsigned char* /*digest*/, const unsigned char* /*signature*/,
                               const unsigned char* /*public_key*/) {
    return -1;
}
