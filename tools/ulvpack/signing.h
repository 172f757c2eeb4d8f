// Signatures of packages, as a signed updater checks them: an ECDSA P-256
// signature (DER) in PACKAGE.sig of the SHA-256 of every byte of PACKAGE,
// what `openssl dgst -sha256 -sign KEY` writes and `openssl dgst -sha256
// -verify PUBKEY -signature PACKAGE.sig PACKAGE` checks.
#pragma once

#include "platform/p256_public_key.h"
#include "platform/platform.h"

#include <string>

// A public key as the updater holds it, and its fingerprint: the SHA-256 of
// its DER form, as `openssl pkey -pubin -outform DER | sha256sum` gives it.
struct public_key {
    unsigned char point[p256_point_size];
    std::string fingerprint;  // 64 hexadecimal digits
};

// Reads a PEM public key ("-----BEGIN PUBLIC KEY-----") of ECDSA P-256.
// False, with the reason in `why`, when it cannot be read or is another key.
bool read_public_key(const std::string& path, public_key& key, std::string& why);

// The SHA-256 of every byte of the file at `path`. False, with `why`, when
// it cannot be read.
bool digest_file(const std::string& path, unsigned char digest[sha256_size], std::string& why);

// Says whether PACKAGE.sig signs the package at `path` with `key`: "" when
// it does, else why not.
std::string signature_problem(const std::string& path, const public_key& key);

// Signs the package at `path` with the private key in the file `key_path`
// (PEM, ECDSA P-256, readable by its owner alone) and writes PACKAGE.sig in
// one step. False, with `why` and `refused` set when the key is refused
// rather than a file unreadable or unwritable. `fingerprint` receives the
// fingerprint of the key's public half.
bool sign_package(const std::string& path, const std::string& key_path, std::string& fingerprint, std::string& why,
                  bool& refused);

// Checks the private key at `key_path` without signing anything: the same
// refusals as sign_package, before a package is written.
bool private_key_usable(const std::string& key_path, std::string& why, bool& refused);

// The fingerprint of a public key from its DER form: the SHA-256 of those
// bytes in hexadecimal digits, or "" when the system cannot compute it.
std::string key_fingerprint(const unsigned char* der, size_t length);
