#include "package/siphash.h"

namespace {

uint64_t rotate(uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

// Little-endian, whatever the processor.
uint64_t word_at(const unsigned char* bytes, size_t count) {
    uint64_t word = 0;
    for (size_t i = 0; i < count; ++i) word |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return word;
}

struct sip_state {
    uint64_t v0, v1, v2, v3;

    void round() {
        v0 += v1;
        v1 = rotate(v1, 13) ^ v0;
        v0 = rotate(v0, 32);
        v2 += v3;
        v3 = rotate(v3, 16) ^ v2;
        v0 += v3;
        v3 = rotate(v3, 21) ^ v0;
        v2 += v1;
        v1 = rotate(v1, 17) ^ v2;
        v2 = rotate(v2, 32);
    }

    void take(uint64_t word) {
        v3 ^= word;
        round();
        round();
        v0 ^= word;
    }
};

}  // namespace

uint64_t siphash_2_4(const unsigned char key[siphash_key_size], const unsigned char* bytes, size_t length) {
    const uint64_t k0 = word_at(key, 8);
    const uint64_t k1 = word_at(key + 8, 8);
    sip_state state{k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull, k0 ^ 0x6c7967656e657261ull,
                    k1 ^ 0x7465646279746573ull};
    size_t at = 0;
    for (; length - at >= 8; at += 8) state.take(word_at(bytes + at, 8));
    state.take(word_at(bytes + at, length - at) | (static_cast<uint64_t>(length & 0xFF) << 56));
    state.v2 ^= 0xFF;
    for (int i = 0; i < 4; ++i) state.round();
    return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}
