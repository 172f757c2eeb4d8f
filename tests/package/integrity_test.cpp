// Each check of a protected package on its own: records built so that every
// other check passes (their checksums hold), walked as the updater walks them.
#include "package/package_walk.h"

#include "support/package_bytes.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The walk's verdict on `bytes`: the integrity fault it ended with, or none.
integrity_fault walked(const std::string& bytes) {
    scratch_folder folder;
    write_file(folder.at("p.upd"), bytes);
    const int handle = open_for_reading(folder.at("p.upd").c_str());
    package_walk walk(handle, nullptr);
    walk_event event;
    do event = walk.next();
    while (event != walk_event::package_ended && event != walk_event::package_malformed && event != walk_event::read_failed);
    close_file(handle);
    EXPECT_EQ(event == walk_event::package_ended, walk.failure().broken == integrity_fault::none);
    return walk.failure().broken;
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
