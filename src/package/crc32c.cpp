#include "package/crc32c.h"

#include <array>
#include <cstring>

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define ULV_CRC32_INSTRUCTION 1
#include <nmmintrin.h>
#endif

namespace {

using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0] is the classic byte table; tables[k] advances a byte k further.
constexpr crc_tables make_tables() {
    crc_tables tables{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1u)));
        tables[0][byte] = crc;
    }
    for (uint32_t byte = 0; byte < 256; ++byte) {
        for (size_t k = 1; k < 8; ++k) {
            const uint32_t previous = tables[k - 1][byte];
            tables[k][byte] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr crc_tables tables = make_tables();

// The register (without the inversions before and after) over `length` bytes.
uint32_t register_by_tables(const unsigned char* bytes, size_t length, uint32_t crc) {
    while (length >= 8) {
        uint32_t low;
        uint32_t high;
        std::memcpy(&low, bytes, 4);  // both builds run on little-endian x86
        std::memcpy(&high, bytes + 4, 4);
        low ^= crc;
        crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
              tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
              tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
        bytes += 8;
        length -= 8;
    }
    while (length-- > 0) crc = (crc >> 8) ^ tables[0][(crc ^ *bytes++) & 0xFF];
    return crc;
}

#ifdef ULV_CRC32_INSTRUCTION

// The instruction waits for its previous result: three streams over three
// blocks keep the processor busy, and are joined by moving a register past a
// block's worth of zero bytes, which is linear, so four byte tables do it.
constexpr size_t stream_block = 4096;

struct shift_tables {
    uint32_t by_byte[4][256];
};

const shift_tables& block_shift() {
    static const shift_tables shift = [] {
        shift_tables made{};
        uint32_t bit_image[32];
        for (int bit = 0; bit < 32; ++bit) {
            uint32_t crc = 1u << bit;
            for (size_t i = 0; i < stream_block; ++i) crc = (crc >> 8) ^ tables[0][crc & 0xFF];
            bit_image[bit] = crc;
        }
        for (int k = 0; k < 4; ++k) {
            for (uint32_t byte = 0; byte < 256; ++byte) {
                uint32_t image = 0;
                for (int bit = 0; bit < 8; ++bit) {
                    if (byte & (1u << bit)) image ^= bit_image[8 * k + bit];
                }
                made.by_byte[k][byte] = image;
            }
        }
        return made;
    }();
    return shift;
}

uint32_t past_block(uint32_t crc) {
    const shift_tables& shift = block_shift();
    return shift.by_byte[0][crc & 0xFF] ^ shift.by_byte[1][(crc >> 8) & 0xFF] ^ shift.by_byte[2][(crc >> 16) & 0xFF] ^
           shift.by_byte[3][crc >> 24];
}

#ifdef __x86_64__
using word = uint64_t;
__attribute__((target("sse4.2"))) inline uint32_t crc_word(uint32_t crc, word value) {
    return static_cast<uint32_t>(_mm_crc32_u64(crc, value));
}
#else
using word = uint32_t;
__attribute__((target("sse4.2"))) inline uint32_t crc_word(uint32_t crc, word value) {
    return _mm_crc32_u32(crc, value);
}
#endif

__attribute__((target("sse4.2"))) uint32_t register_by_instruction(const unsigned char* bytes, size_t length,
                                                                     uint32_t crc) {
    while (length >= 3 * stream_block) {
        uint32_t first = crc;
        uint32_t second = 0;
        uint32_t third = 0;
        for (size_t at = 0; at < stream_block; at += sizeof(word)) {
            word a;
            word b;
            word c;
            std::memcpy(&a, bytes + at, sizeof a);
            std::memcpy(&b, bytes + stream_block + at, sizeof b);
            std::memcpy(&c, bytes + 2 * stream_block + at, sizeof c);
            first = crc_word(first, a);
            second = crc_word(second, b);
            third = crc_word(third, c);
        }
        crc = past_block(past_block(first) ^ second) ^ third;
        bytes += 3 * stream_block;
        length -= 3 * stream_block;
    }
    for (; length >= sizeof(word); bytes += sizeof(word), length -= sizeof(word)) {
        word value;
        std::memcpy(&value, bytes, sizeof value);
        crc = crc_word(crc, value);
    }
    while (length-- > 0) crc = _mm_crc32_u8(crc, *bytes++);
    return crc;
}

bool has_crc32_instruction() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2");
}

#endif

}  // namespace

uint32_t crc32c_by_tables(const unsigned char* bytes, size_t length, uint32_t crc) {
    return ~register_by_tables(bytes, length, ~crc);
}

uint32_t crc32c(const unsigned char* bytes, size_t length, uint32_t crc) {
#ifdef ULV_CRC32_INSTRUCTION
    static const bool instruction = has_crc32_instruction();
    if (instruction) return ~register_by_instruction(bytes, length, ~crc);
#endif
    return crc32c_by_tables(bytes, length, crc);
}
