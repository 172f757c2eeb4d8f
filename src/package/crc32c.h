// CRC-32C (Castagnoli), the checksum of each piece of a protected package.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32C of `length` bytes, continuing from `crc` (0 to start): the
// reflected polynomial 0x82F63B78, all ones before and after. Uses the
// processor's CRC32 instruction where it has one (SSE4.2, checked when the
// program runs), and crc32c_by_tables otherwise.
uint32_t crc32c(const unsigned char* bytes, size_t length, uint32_t crc = 0);

// The same, eight bytes a step through eight tables: the portable way, the
// same code for 32-bit and 64-bit builds.
uint32_t crc32c_by_tables(const unsigned char* bytes, size_t length, uint32_t crc = 0);
