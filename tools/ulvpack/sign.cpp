// ulvpack sign: writes the signature that an updater built with the
// vendor's key requires beside a package.
#include "commands.h"
#include "report.h"
#include "signing.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char usage[] =
    "usage: ulvpack sign --key KEY PKG\n"
    "\n"
    "Writes PKG.sig: the ECDSA P-256 signature (DER) of the SHA-256 of PKG, with\n"
    "the private key KEY (PEM, readable by its owner alone), the same bytes that\n"
    "openssl dgst -sha256 -sign KEY -out PKG.sig PKG writes. An updater built\n"
    "with the public half of KEY applies PKG only beside it. PKG.sig is replaced\n"
    "in one step.\n"
    "Exit status: 0 signed, 1 the key is refused, 2 usage or I/O error.\n";

}  // namespace

int sign_written_package(const char* command, const std::string& path, const std::string& key) {
    std::string fingerprint;
    std::string why;
    bool refused = false;
    if (!sign_package(path, key, fingerprint, why, refused)) {
        say(command, why);
        return refused ? exit_refused : exit_io_error;
    }
    say(command, "signed " + path + ": wrote " + path + ".sig (key SHA-256 " + fingerprint + ")");
    return exit_ok;
}

int run_sign(int argc, char** argv) {
    const char* key = nullptr;
    std::vector<const char*> operands;
    const command_line line{"sign", usage, {{"--key", nullptr, &key, "KEY"}}, 1, 1, "one package, please"};
    if (const int status = parse_arguments(line, argc, argv, operands); status != arguments_parsed) return status;
    if (key == nullptr) return usage_error("sign", usage, "no --key KEY given");
    return sign_written_package("sign", operands[0], key);
}
