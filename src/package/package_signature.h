// Signed packages. An updater built with the vendor's public key applies only
// a package whose signature file, the package's path followed by ".sig",
// holds an ECDSA P-256 signature of the SHA-256 of every byte of the package,
// in DER: what `openssl dgst -sha256 -sign vendor.key` writes. Built without
// a key, the updater never looks for a signature file.
#pragma once

#include "package/heap_string.h"
#include "platform/platform.h"

#include <cstddef>

// The vendor's public key built into the updater (0x04, then X and Y), or
// null when it was built without one.
const unsigned char* vendor_public_key();

// The longest signature file read: a DER signature of P-256 takes at most 72 bytes.
constexpr unsigned largest_signature_file = 256;

// Takes r and s from a DER signature (a SEQUENCE of two positive INTEGERs,
// in their shortest form) into `raw`, 32 big-endian bytes each. False when
// the bytes are anything else, or a value does not fit in 32 bytes.
bool signature_from_der(const unsigned char* der, size_t length, unsigned char raw[64]);

// The path of the signature file of `package_path`, in a new heap string
// (null when memory runs out).
heap_string signature_path(const char* package_path);

// What checking a package's signature file found.
enum class signature_verdict {
    holds,
    does_not_hold,  // no signature file, or not one of the package's bytes by the key
    cannot_tell,    // the system's cryptography failed: nothing is known of the package
};

// Checks that the signature file of `package_path` holds a signature of
// `digest` by `key`. Leaves the file open at `held` (-1 when it could not be
// opened), unchanged while held where the system allows it, so that the file
// deleted at the end of the update is this one, never one put in its place.
signature_verdict check_signature_file(const char* package_path, const unsigned char digest[sha256_size],
                                       const unsigned char key[65], int& held);
