// Signing packages is done where the private key is kept, with the Linux
// ulvpack or openssl: ulvpack.exe only checks signatures, and reads no
// private key.
#include "system/tool_system.h"

bool signs_packages() {
    return false;
}

private_key* private_key_from_pem(const std::string& /*pem*/) {
    return nullptr;
}

bool is_p256_key(private_key* /*key*/) {
    return false;
}

bool public_point_of(private_key* /*key*/, unsigned char* /*point*/) {
    return false;
}

bool sign_digest(private_key* /*key*/, const unsigned char* /*digest*/, std::string& /*der*/) {
    return false;
}

void discard_private_key(private_key* /*key*/) {}

void forget_secret(std::string& secret) {
    for (char& byte : secret) static_cast<volatile char&>(byte) = '\0';
}
