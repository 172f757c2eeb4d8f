#include "package/reader.h"

#include "package/crc32c.h"
#include "package/package_walk.h"
#include "package/siphash.h"

#include "package/record_header.h"
#include "package/varint.h"
#include "platform/platform.h"
#include "package/record_encoder.h"
#include "support/package_bytes.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <string>

namespace {

using bytes = std::string;

// A package file in a scratch folder, opened for reading.
class package_file {
public:
    explicit package_file(const bytes& contents) {
        write_file(folder.at("p.upd"), contents);
        handle = open_for_reading(folder.at("p.upd").c_str());
    }
    ~package_file() { close_file(handle); }
    int handle;

private:
    scratch_folder folder;
};

}  // namespace

TEST(decode_varint, reads_one_two_and_four_byte_numbers_and_stops_at_count) {
    struct row { bytes in; uint32_t count; bool ok; uint32_t value; };
    const row rows[] = {
        {"\x05", 1, true, 5},
        {bytes("\x80\x01", 2), 2, true, 128},
        {"\xFF\x7F", 2, true, 16383},
        {"\xFF\xFF\xFF\x7F", 4, true, 268435455},
        {"\x80\x80\x80\x80", 4, false, 0},
        {"\x80\x01", 1, false, 0},       // the end byte lies past count
        {"\x03\xFF", 2, true, 3},       // bytes after the end are not read
    };
    for (const row& r : rows) {
        uint32_t value = 0xDEAD;
        EXPECT_EQ(decode_varint(reinterpret_cast<const unsigned char*>(r.in.data()), r.count, value), r.ok) << r.count;
        EXPECT_EQ(value, r.ok ? r.value : 0xDEADu);
    }
}

TEST(decode_varint, keeps_the_low_32_bits) {
    struct row { bytes in; bool ok; uint32_t value; };
    const row rows[] = {
        {"\xFF\xFF\xFF\xFF\x0F", true, 0xFFFFFFFFu},
        {"\xFF\xFF\xFF\xFF\x1F", true, 0xFFFFFFFFu},
        {"\x80\x80\x80\x80\x7F", true, 0xF0000000u},
        {"\x80\x80\x80\x80\x70", true, 0},
        {bytes("\x80\x80\x80\x80\x80\x00", 6), true, 0},
        {bytes("\x81\x80\x80\x80\x80\x80\x00", 7), true, 1},
        {"\x85\x80\x80\x80\x80\x01", true, 5},
        {"\x80\x80\x80\x80\x80\x80", false, 0},  // the number never ends
    };
    for (const row& r : rows) {
        uint32_t value = 0;
        uint32_t at = 0;
        const auto* data = reinterpret_cast<const unsigned char*>(r.in.data());
        EXPECT_EQ(decode_varint_at(data, static_cast<uint32_t>(r.in.size()), at, value), r.ok) << r.in.size();
        if (r.ok) {
            EXPECT_EQ(value, r.value);
            EXPECT_EQ(at, r.in.size());
        } else {
            EXPECT_EQ(at, 0u);
        }
    }
}

TEST(decode_varint, round_trips_what_the_packer_writes) {
    for (uint32_t value : {0u, 1u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, 268435455u, 268435456u, 0xFFFFFFFFu}) {
        const bytes encoded = encode_varint(value);
        uint32_t decoded = 0;
        uint32_t at = 0;
        ASSERT_TRUE(decode_varint_at(reinterpret_cast<const unsigned char*>(encoded.data()),
                                     static_cast<uint32_t>(encoded.size()), at, decoded));
        EXPECT_EQ(decoded, value);
        EXPECT_EQ(at, encoded.size());
    }
}

TEST(load_record, tells_what_it_found_instead_of_a_record) {
    struct row { bytes in; load_status status; };
    const row rows[] = {
        {"", load_status::nothing_left},
        {bytes("\x04\x00\x00", 3), load_status::short_tail},
        {bytes("\x01\x00\x00\x00", 4), load_status::length_below_4},
        {bytes("\x03\x00\x00\x00", 4), load_status::length_below_4},
        {bytes("\x00\x00\x00\x00", 4), load_status::length_below_4},
        {"\x80\x80\x80\x80xxxx", load_status::unended_length},
        {bytes("\x08\x00\x00\x00\x01\x02\x03", 7), load_status::cut_short},
        {encode_varint(unchecked_record_bytes + 5) + "abcdefgh", load_status::cut_short},  // refused before allocating
    };
    for (const row& r : rows) {
        package_file package(r.in);
        T_deserialization reader;
        load_status status = load_status::loaded;
        EXPECT_FALSE(reader.load_record(package.handle, &status)) << r.in.size();
        EXPECT_EQ(status, r.status) << r.in.size();
    }
}

// ... and a walk says the system's reason.
TEST(load_record, tells_a_read_error_from_the_end_of_the_package) {
    scratch_folder folder;
    const int directory = open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);  // reading a folder fails
    T_deserialization reader;
    load_status status = load_status::loaded;
    EXPECT_FALSE(reader.load_record(directory, &status));
    EXPECT_EQ(status, load_status::read_error);
    EXPECT_TRUE(is_system_failure(status));
    package_walk walk(directory, nullptr);
    EXPECT_EQ(walk.next(), walk_event::stopped);
    EXPECT_EQ(walk.failure().fault(), walk_fault::read_error);
    EXPECT_TRUE(walk.failure().of_the_system());
    EXPECT_EQ(walk.failure().system().code, static_cast<uint32_t>(EISDIR));
    EXPECT_EQ(walk.record_number(), 1u);
    close(directory);
}

TEST(load_record, takes_a_record_of_exactly_four_bytes) {
    package_file package(bytes("\x04\xAA\xBB\xCC", 4));
    T_deserialization reader;
    ASSERT_TRUE(reader.load_record(package.handle));
    EXPECT_EQ(reader.size, 4u);
    EXPECT_EQ(reader.pos, 0u);
    EXPECT_EQ(bytes(reinterpret_cast<char*>(reader.data), 4), bytes("\x04\xAA\xBB\xCC", 4));
    EXPECT_FALSE(reader.load_record(package.handle));  // the end of the package
}

TEST(load_record, counts_the_bytes_read_ahead_in_a_two_byte_length) {
    bytes body(198, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i);
    package_file package(bytes("\xC8\x01", 2) + body + "next");
    T_deserialization reader;
    ASSERT_TRUE(reader.load_record(package.handle));
    EXPECT_EQ(reader.size, 200u);
    EXPECT_EQ(bytes(reinterpret_cast<char*>(reader.data) + 2, 198), body);
    EXPECT_EQ(bytes_left(package.handle), 4);  // exactly the record was consumed
}

TEST(load_record, refuses_a_long_length_on_a_short_file_without_allocating) {
    for (const uint32_t length : {largest_record_length, unchecked_record_bytes + 5}) {
        package_file package(encode_varint(length) + "abcdefgh");
        T_deserialization reader;
        EXPECT_FALSE(reader.load_record(package.handle)) << length;
        EXPECT_EQ(reader.data, nullptr);
        EXPECT_EQ(reader.size, 0u);
    }
}

TEST(load_record, holds_one_record_at_a_time_and_skips_padding) {
    bytes first = whole("windows/a", "abc");
    first[0] = static_cast<char>(first[0] + 5);  // five bytes of padding after the payload
    first += "PPPPP";
    const bytes second = whole("windows/b", "xy");
    package_file package(first + second);
    T_deserialization reader;
    ASSERT_TRUE(reader.load_record(package.handle));
    EXPECT_EQ(reader.size, first.size());
    ASSERT_TRUE(reader.load_record(package.handle));
    EXPECT_EQ(reader.size, second.size());
    record_header header;
    ASSERT_TRUE(read_record_header(reader, header));
    EXPECT_STREQ(header.entry_name.get(), "windows/b");
    EXPECT_EQ(bytes(reinterpret_cast<char*>(reader.data) + reader.pos, header.piece_length), "xy");
}

TEST(next_varint, fails_when_the_record_ends_inside_a_number) {
    package_file package(bytes("\x06\x00\x00\x00\x01\x80", 6));
    T_deserialization reader;
    ASSERT_TRUE(reader.load_record(package.handle));
    uint32_t value;
    for (int field = 0; field < 5; ++field) ASSERT_TRUE(reader.next_varint(value)) << field;
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(reader.next_varint(value));
}

TEST(next_string, copies_up_to_the_nul_and_fails_without_one) {
    package_file package(bytes("\x0A\x00\x00\x00" "ab\0" "cde", 10));
    T_deserialization reader;
    ASSERT_TRUE(reader.load_record(package.handle));
    reader.pos = 4;
    heap_string text;
    ASSERT_TRUE(reader.next_string(text));
    EXPECT_STREQ(text.get(), "ab");
    EXPECT_EQ(reader.pos, 7u);
    EXPECT_FALSE(reader.next_string(text));  // "cde" runs to the record's end
    reader.pos = reader.size;
    EXPECT_FALSE(reader.next_string(text));
}

TEST(read_record_header, reads_a_whole_three_byte_target_in_24_bytes) {
    const bytes example("\x18\x00\x00\x00windows/a.txt\0\x03\x00\x03" "abc", 24);
    package_file package(example);
    T_deserialization reader;
    ASSERT_TRUE(reader.load_record(package.handle));
    record_header header;
    ASSERT_TRUE(read_record_header(reader, header));
    EXPECT_EQ(header.record_length, 24u);
    EXPECT_STREQ(header.entry_name.get(), "windows/a.txt");
    EXPECT_EQ(header.file_size, 3u);
    EXPECT_EQ(header.piece_offset, 0u);
    EXPECT_EQ(header.piece_length, 3u);
    EXPECT_TRUE(payload_within_record(reader, header));
    EXPECT_TRUE(completes_target(header));
    EXPECT_EQ(bytes(reinterpret_cast<char*>(reader.data) + reader.pos, 3), "abc");
}

TEST(read_record_header, tells_a_payload_that_reaches_past_its_record) {
    bytes example("\x18\x00\x00\x00windows/a.txt\0\x03\x00\x04" "abc", 24);
    package_file package(example);
    T_deserialization reader;
    ASSERT_TRUE(reader.load_record(package.handle));
    record_header header;
    ASSERT_TRUE(read_record_header(reader, header));
    EXPECT_FALSE(payload_within_record(reader, header));
}

TEST(crc32c, gives_the_published_check_values_in_one_call_or_several) {
    std::string ascending(32, '\0');
    for (size_t i = 0; i < ascending.size(); ++i) ascending[i] = static_cast<char>(i);
    // Continued from a value no prefix gave, as zlib's crc32c(crc, buf, len) and Python's crc32c(data, crc)
    // continue (inverted before and after): the values from a bit-by-bit CRC-32C written apart from this one.
    struct row { bytes in; uint32_t from; uint32_t crc; };
    const row rows[] = {
        {"123456789", 0, 0xE3069283u},
        {bytes(32, '\0'), 0, 0x8A9136AAu},
        {bytes(32, '\xFF'), 0, 0x62A8AB43u},
        {ascending, 0, 0x46DD794Eu},
        {"", 0, 0u},
        {"123456789", 0x12345678u, 0x27D87B6Au},
        {ascending, 0xFFFFFFFFu, 0x33B3B01Bu},
        {"", 0x12345678u, 0x12345678u},
    };
    for (const row& r : rows) {
        const auto* data = reinterpret_cast<const unsigned char*>(r.in.data());
        EXPECT_EQ(crc32c(data, r.in.size(), r.from), r.crc) << r.in.size();
        EXPECT_EQ(crc32c_by_tables(data, r.in.size(), r.from), r.crc) << r.in.size();
        const size_t split = r.in.size() / 3;  // not a multiple of 8: both the tables and the byte loop
        EXPECT_EQ(crc32c(data + split, r.in.size() - split, crc32c(data, split, r.from)), r.crc) << r.in.size();
    }
    // Past three blocks of 4 KiB the instruction runs three streams and joins them: twice here, then a tail,
    // from starts that are not aligned; the values come from the same bit-by-bit CRC-32C as those above.
    const bytes long_text = every_byte_value(3 * 4096 * 2 + 77);
    struct long_row { size_t start; uint32_t crc; };
    for (const long_row& r : {long_row{0, 0x8A6FD44Eu}, long_row{1, 0xD8FD1CDAu}, long_row{5, 0x0499F9CAu}}) {
        const auto* data = reinterpret_cast<const unsigned char*>(long_text.data()) + r.start;
        EXPECT_EQ(crc32c(data, long_text.size() - r.start), r.crc) << r.start;
        EXPECT_EQ(crc32c_by_tables(data, long_text.size() - r.start), r.crc) << r.start;
    }
}

// The vectors of SipHash-2-4's authors (key 00..0F, messages 00, 01, ...): every tail length the last word takes.
TEST(siphash_2_4, gives_the_published_values) {
    unsigned char key[siphash_key_size];
    unsigned char message[63];
    for (unsigned i = 0; i < sizeof key; ++i) key[i] = static_cast<unsigned char>(i);
    for (unsigned i = 0; i < sizeof message; ++i) message[i] = static_cast<unsigned char>(i);
    struct row { size_t length; uint64_t hash; };
    const row rows[] = {{0, 0x726FDB47DD0E0E31ull}, {7, 0xAB0200F58B01D137ull}, {8, 0x93F5F5799A932462ull},
                        {15, 0xA129CA6149BE45E5ull}, {63, 0x958A324CEB064572ull}};
    for (const row& r : rows) EXPECT_EQ(siphash_2_4(key, message, r.length), r.hash) << r.length;
}
