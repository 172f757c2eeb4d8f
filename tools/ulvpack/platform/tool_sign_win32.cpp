// Signing packages is done where the private key is kept, with the Linux
// ulvpack or openssl; ulvpack.exe only checks signatures.
#include "signing.h"

namespace {

const char elsewhere[] = "ulvpack.exe does not sign: sign on the machine that keeps the private key, with the "
                         "Linux ulvpack (ulvpack sign) or openssl dgst -sha256 -sign";

}  // namespace

bool private_key_usable(const std::string& /*key_path*/, std::string& why, bool& refused) {
    why = elsewhere;
    refused = true;
    return false;
}

bool sign_package(const std::string& /*path*/, const std::string& key_path, std::string& fingerprint, std::string& why,
                  bool& refused) {
    fingerprint.clear();
    return private_key_usable(key_path, why, refused);
}
