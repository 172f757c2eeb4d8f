// Each check of a protected package on its own: records built so that every
// other check passes (their checksums hold), walked as the updater walks them.
#include "package/package_walk.h"

#include "package/crc32c.h"

#include "support/package_bytes.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// How a walk of `bytes` with `options` ended: its last event, and why it
// stopped if it did.
struct walk_end {
    walk_event event;
    walk_failure failure;
};

walk_end walk_to_the_end(const std::string& bytes, const walk_options& options = {}) {
    scratch_folder folder;
    write_file(folder.at("p.upd"), bytes);
    const int handle = open_for_reading(folder.at("p.upd").c_str());
    package_walk walk(handle, options);
    walk_event event;
    do event = walk.next();
    while (event != walk_event::package_ended && event != walk_event::stopped);
    close_file(handle);
    return {event, walk.failure()};
}

// The walk's verdict on `bytes`: the integrity fault it ended with, or none.
integrity_fault walked(const std::string& bytes) {
    const walk_end end = walk_to_the_end(bytes);
    EXPECT_EQ(end.event == walk_event::package_ended, end.failure.broken() == integrity_fault::none);
    return end.failure.broken();
}

}  // namespace

TEST(integrity_check, refuses_each_fault_a_protected_package_can_show) {
    const protected_piece a{"windows/a.txt", 6, 0, "abc", "", -1, 0};
    const protected_piece a_end{"windows/a.txt", 6, 3, "def", "", -1, 0};
    std::string damaged_crc = protected_records({a, a_end});
    damaged_crc.back() ^= 0x01;
    std::string damaged_marker = protected_records({a, a_end});
    damaged_marker[damaged_marker.find("\xD5\x98")] ^= 0x01;
    std::string damaged_marker_v2 = protected_records({a, a_end}, 2);
    damaged_marker_v2[damaged_marker_v2.find("\xD5\x98")] ^= 0x01;
    std::string replaced_marker = protected_records({a, a_end});  // a whole byte, far from any marker
    replaced_marker[replaced_marker.find("\xD5\x98")] = '\x80';
    std::string v1_damaged_piece = protected_records({a, a_end}, 1);
    v1_damaged_piece.back() ^= 0x01;
    std::string v2_damaged_crc = protected_records({a, a_end}, 2);
    v2_damaged_crc.back() ^= 0x01;
    // Another release of the same layout: its records are as long, each sound on its own.
    const protected_piece b{"windows/a.txt", 6, 0, "ABC", "", -1, 0};
    const protected_piece b_end{"windows/a.txt", 6, 3, "DEF", "", -1, 0};
    const size_t boundary = protected_records({a}).size();
    struct row { const char* what; std::string bytes; integrity_fault fault; };
    const row rows[] = {
        {"sound", protected_records({a, a_end}), integrity_fault::none},
        {"sound, version 1", protected_records({a, a_end}, 1), integrity_fault::none},
        {"sound, version 2", protected_records({a, a_end}, 2), integrity_fault::none},
        {"a record of another release after the first",
         protected_records({a, a_end}).substr(0, boundary) + protected_records({b, b_end}).substr(boundary),
         integrity_fault::wrong_checksum},
        {"a record of another release after the first, reversed",
         protected_records({b, b_end}).substr(0, boundary) + protected_records({a, a_end}).substr(boundary),
         integrity_fault::wrong_checksum},
        {"cut short", protected_records({a, a_end}).substr(0, protected_records({a, a_end}).size() - 2), integrity_fault::wrong_length},
        {"extended", protected_records({a, a_end}) + "x", integrity_fault::wrong_length},
        {"a marker with a bit flipped", damaged_marker, integrity_fault::damaged_marker},
        {"a marker with a bit flipped, version 2", damaged_marker_v2, integrity_fault::damaged_marker},
        {"a marker with a byte replaced", replaced_marker, integrity_fault::damaged_marker},
        {"a record without the marker", protected_records({a, {"windows/a.txt", 6, 3, "def", "", -1, 7}}), integrity_fault::no_marker},
        {"another version's marker later", protected_records({a, {"windows/a.txt", 6, 3, "def", "", -1, integrity_marker_v1}}),
         integrity_fault::no_marker},
        {"a record out of order", protected_records({a, {"windows/a.txt", 6, 3, "def", "", 2, 0}}), integrity_fault::wrong_index},
        {"padding after a piece", protected_records({a, {"windows/a.txt", 6, 3, "def", "PAD", -1, 0}}), integrity_fault::padded},
        {"a target continued under another name", protected_records({a, {"windows/b.txt", 6, 3, "def", "", -1, 0}}),
         integrity_fault::renamed},
        {"a target continued with another size", protected_records({a, {"windows/a.txt", 7, 3, "def", "", -1, 0}}),
         integrity_fault::resized},
        {"a piece not where the last one ended", protected_records({a, {"windows/a.txt", 6, 2, "def", "", -1, 0}}),
         integrity_fault::misplaced},
        {"a first piece not at 0", protected_records({{"windows/a.txt", 3, 1, "abc", "", -1, 0}}), integrity_fault::misplaced},
        {"a last piece past its size", protected_records({{"windows/a.txt", 2, 0, "abc", "", -1, 0}}), integrity_fault::overshoots},
        {"a record's bytes changed", damaged_crc, integrity_fault::wrong_checksum},
        {"a piece changed, version 1", v1_damaged_piece, integrity_fault::wrong_checksum},
        {"a record's bytes changed, version 2", v2_damaged_crc, integrity_fault::wrong_checksum},
        {"stray bytes after the last target", protected_records({a, a_end}, 2, "\x01"), integrity_fault::stray_bytes},
    };
    for (const row& r : rows) EXPECT_EQ(walked(r.bytes), r.fault) << r.what;
}

namespace {

// Changes the four bytes at `at` so that the CRC-32C of `bytes` is `wanted`:
// what any writer can do to a CRC, which is linear, by solving for them.
void choose_bytes_for_crc(std::string& bytes, size_t at, uint32_t wanted) {
    const auto crc = [&bytes] { return crc32c(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()); };
    bytes.replace(at, 4, 4, '\0');
    const uint32_t base = crc();
    uint32_t value[32] = {};  // by pivot bit: an effect of flipping bits, and which bits
    uint32_t bits[32] = {};
    for (unsigned bit = 0; bit < 32; ++bit) {
        bytes[at + bit / 8] ^= static_cast<char>(1 << (bit % 8));
        uint32_t effect = crc() ^ base;
        uint32_t mask = 1u << bit;
        bytes[at + bit / 8] ^= static_cast<char>(1 << (bit % 8));
        for (int pivot = 31; pivot >= 0 && effect != 0; --pivot) {
            if (((effect >> pivot) & 1) == 0) continue;
            if (value[pivot] == 0) {
                value[pivot] = effect;
                bits[pivot] = mask;
                break;
            }
            effect ^= value[pivot];
            mask ^= bits[pivot];
        }
    }
    uint32_t need = base ^ wanted;
    uint32_t chosen = 0;
    for (int pivot = 31; pivot >= 0; --pivot) {
        if (((need >> pivot) & 1) == 0) continue;
        need ^= value[pivot];
        chosen ^= bits[pivot];
    }
    for (unsigned bit = 0; bit < 32; ++bit) {
        if ((chosen >> bit) & 1) bytes[at + bit / 8] ^= static_cast<char>(1 << (bit % 8));
    }
}

}  // namespace

// A record changed between the two readings so that its CRC-32C stays (four
// bytes chosen) passes a CRC; a signed update's keyed checksums refuse it.
TEST(record_checksums, refuse_a_record_changed_to_keep_its_crc_only_when_keyed) {
    const std::string first = whole("windows/a.txt", "a");
    const std::string original = first + whole("windows/b.txt", "the release's bytes");
    std::string record = whole("windows/b.txt", "EVIL and four bytes");
    const uint32_t original_crc = crc32c(reinterpret_cast<const unsigned char*>(original.data()) + first.size(),
                                         original.size() - first.size());
    choose_bytes_for_crc(record, record.size() - 4, original_crc);
    ASSERT_EQ(crc32c(reinterpret_cast<const unsigned char*>(record.data()), record.size()), original_crc);
    for (const bool keyed : {false, true}) {
        record_checksums proven;
        proven.keyed = keyed;
        for (unsigned i = 0; i < sizeof proven.key; ++i) proven.key[i] = static_cast<unsigned char>(i * 37);
        ASSERT_EQ(walk_to_the_end(original, walk_options{nullptr, nullptr, &proven, nullptr}).event, walk_event::package_ended);
        proven.whole = true;
        EXPECT_EQ(walk_to_the_end(first + record, walk_options{nullptr, nullptr, nullptr, &proven}).event,
                  keyed ? walk_event::stopped : walk_event::package_ended) << keyed;
    }
}
