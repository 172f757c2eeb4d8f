#include "package/reader.h"

#include "package/varint.h"
#include "platform/platform.h"

#include <cstring>
#include <new>

T_deserialization::~T_deserialization() {
    release();
}

void T_deserialization::release() {
    delete[] data;
    data = nullptr;
    size = 0;
    pos = 0;
}

bool tee_bytes(byte_tee* tee, const void* bytes, uint32_t count) {
    if (tee == nullptr || count == 0) return true;
    if (tee->digest != nullptr && sha256_add(tee->digest, bytes, count) != 1) tee->digest_failed = true;
    if (tee->copy != -1 && write_bytes(tee->copy, bytes, count) != static_cast<int32_t>(count)) tee->copy_failed = true;
    return !tee->digest_failed && !tee->copy_failed;
}

bool T_deserialization::load_record(int package, load_status* why, byte_tee* tee) {
    const load_status status = load(package, tee);
    if (why != nullptr) *why = status;
    return status == load_status::loaded;
}

load_status T_deserialization::load(int package, byte_tee* tee) {
    // The first four bytes always belong to the record: when its length takes
    // fewer, the rest are its first header bytes.
    unsigned char head[smallest_record_length];
    const int32_t got = read_bytes(package, head, sizeof head);
    if (got < 0) return load_status::read_error;
    if (!tee_bytes(tee, head, static_cast<uint32_t>(got))) return load_status::read_error;
    if (got == 0) return load_status::nothing_left;
    if (got < static_cast<int32_t>(sizeof head)) return load_status::short_tail;
    uint32_t record_length;
    if (!decode_varint(head, sizeof head, record_length)) return load_status::unended_length;
    if (record_length < smallest_record_length) return load_status::length_below_4;

    // Four bytes must not make a 32-bit process take up to 256 MiB: a long
    // record the file cannot hold fails before anything is allocated. A short
    // one costs little to try, and sparing the check keeps small files quick.
    const uint32_t rest = record_length - smallest_record_length;
    if (rest > unchecked_record_bytes) {
        const int64_t left = bytes_left(package);
        if (left < 0) return load_status::read_error;
        if (static_cast<uint64_t>(left) < rest) return load_status::cut_short;
    }

    release();
    data = new (std::nothrow) unsigned char[record_length];
    if (data == nullptr) return load_status::out_of_memory;
    std::memcpy(data, head, sizeof head);
    size = record_length;
    pos = 0;
    if (rest == 0) return load_status::loaded;
    const int32_t body = read_bytes(package, data + sizeof head, rest);
    if (body < 0) return load_status::read_error;
    if (!tee_bytes(tee, data + sizeof head, static_cast<uint32_t>(body))) return load_status::read_error;
    return body == static_cast<int32_t>(rest) ? load_status::loaded : load_status::cut_short;
}

bool T_deserialization::next_varint(uint32_t& value) {
    return decode_varint_at(data, size, pos, value);
}

bool T_deserialization::next_string(heap_string& text, bool* out_of_memory) {
    if (out_of_memory != nullptr) *out_of_memory = false;
    if (pos >= size) return false;
    const void* end = std::memchr(data + pos, '\0', size - pos);
    if (end == nullptr) return false;
    const size_t length = static_cast<const unsigned char*>(end) - (data + pos);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy == nullptr) {
        if (out_of_memory != nullptr) *out_of_memory = true;
        return false;
    }
    std::memcpy(copy, data + pos, length + 1);
    text.reset(copy);
    pos += static_cast<uint32_t>(length + 1);
    return true;
}
