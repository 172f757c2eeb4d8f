#include "package/varint.h"

bool decode_varint_at(const unsigned char* bytes, uint32_t count, uint32_t& at, uint32_t& value) {
    uint32_t result = 0;
    uint32_t shift = 0;  // stops growing at 35: bits from there on must all be zero
    for (uint32_t next = at; next < count;) {
        const unsigned char byte = bytes[next++];
        const uint32_t group = byte & 0x7Fu;
        if (shift < 32) {
            if (shift == 28 && group > 0x0Fu) return false;
            result |= group << shift;
            shift += 7;
        } else if (group != 0) {
            return false;
        }
        if (byte < 0x80) {
            at = next;
            value = result;
            return true;
        }
    }
    return false;
}

bool decode_varint(const unsigned char* bytes, uint32_t count, uint32_t& value) {
    uint32_t at = 0;
    return decode_varint_at(bytes, count, at, value);
}
