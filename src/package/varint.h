// The unsigned variable-length integers of update packages: 7 bits of value
// a byte, least significant group first, bit 7 set on every byte but the last.
#pragma once

#include <cstdint>

// Decodes the varint that starts at `bytes[at]`, reading no byte at or past
// `count`. On success stores the value's low 32 bits (whatever a fifth or a
// later byte carries beyond them is dropped), moves `at` past the varint and
// returns true. Returns false, changing nothing, when the number does not end
// before `count`.
bool decode_varint_at(const unsigned char* bytes, uint32_t count, uint32_t& at, uint32_t& value);

// Decodes one varint from at most `count` bytes at `bytes`; true when a byte
// below 0x80 ended it within them.
bool decode_varint(const unsigned char* bytes, uint32_t count, uint32_t& value);
