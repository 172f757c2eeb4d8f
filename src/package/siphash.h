// SipHash-2-4: a keyed hash that nobody without the key can match, for
// telling whether bytes changed when whoever could change them might choose
// the change (a CRC, linear, is matched by choosing four bytes).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t siphash_key_size = 16;

// The 64-bit SipHash-2-4 of `length` bytes under `key`.
uint64_t siphash_2_4(const unsigned char key[siphash_key_size], const unsigned char* bytes, size_t length);
