#include "package/varint.h"

bool decode_varint_at(const unsigned char* bytes, uint32_t count, uint32_t& at, uint32_t& value) {
    uint32_t result = 0;
    uint32_t shift = 0;
    for (uint32_t next = at; next < count;) {
        const unsigned char byte = bytes[next++];
        // Values are 32-bit: bits from the 33rd on are dropped, as unsigned arithmetic drops them.
        if (shift < 32) result |= static_cast<uint32_t>(byte & 0x7Fu) << shift;
        if (byte < 0x80) {
            at = next;
            value = result;
            return true;
        }
        if (shift < 32) shift += 7;
    }
    return false;
}

bool decode_varint(const unsigned char* bytes, uint32_t count, uint32_t& value) {
    uint32_t at = 0;
    return decode_varint_at(bytes, count, at, value);
}
