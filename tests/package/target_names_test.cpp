#include "package/target_names.h"

#include "package/name_tree.h"
#include "package/target_roots.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(resolve_roots, reads_the_profile_and_the_directories) {
    scratch_folder folder;
    folder.write_profile("[ulvekern]\nulvedrive=D\nulvedir=ULVERNO\n");
    target_roots roots;
    resolve_roots(roots);
    EXPECT_STREQ(roots.install_root.get(), "D:\\ULVERNO");
    EXPECT_EQ(std::string(roots.windows_dir), folder.windows());
    EXPECT_EQ(std::string(roots.system_dir), folder.system());
}

TEST(resolve_roots, reads_long_values_whole_and_falls_back_without_directories) {
    scratch_folder folder;
    target_roots roots;
    // Whole up to the longest path, in characters as Windows counts them; a longer value is kept longer than any path.
    std::string accented;
    for (int i = 0; i < 32767; ++i) accented += "\xC3\xA9";
    struct row { std::string directory; std::string kept; };
    const row rows[] = {
        {std::string(97, 'A') + "\\sub", std::string(97, 'A') + "\\sub"},
        {accented, accented},
        {std::string(40000, 'd'), std::string(32768, 'd')},
    };
    for (const row& r : rows) {
        folder.write_profile("[ulvekern]\nulvedrive=ABCDEFGHIJ\nulvedir=" + r.directory + "\n");
        resolve_roots(roots);
        ASSERT_NE(roots.install_root, nullptr);
        EXPECT_EQ(std::string(roots.install_root.get()), "ABCDEFGHIJ:\\" + r.kept) << r.directory.size();
    }

    unsetenv("WINDIR");  // no directories, and so no profile either
    resolve_roots(roots);
    EXPECT_STREQ(roots.install_root.get(), ":\\");
    EXPECT_STREQ(roots.windows_dir, "C:windows");
    EXPECT_STREQ(roots.system_dir, "C:windowssystem");
}

TEST(map_name, joins_root_and_rest_with_a_slash) {
    target_roots roots{install_root_of("C", "ULVERNO"), "C:\\WINDOWS", "C:\\WINDOWS\\system32"};
    struct row { const char* name; const char* path; };
    const row rows[] = {
        {"ulverno/bin/x.dll", "C:\\ULVERNO/bin/x.dll"},
        {"windows/x.ini", "C:\\WINDOWS/x.ini"},
        {"windows_system/x.dll", "C:\\WINDOWS\\system32/x.dll"},
        {"ulverno/", "C:\\ULVERNO/"},
        {"ulverno/a\\b c/..d/x..y/.z", "C:\\ULVERNO/a\\b c/..d/x..y/.z"},  // otherwise unchanged
        {"ulverno/./x", "C:\\ULVERNO/./x"},
        {"ulverno/console.txt", "C:\\ULVERNO/console.txt"},  // near a device name, but a file
        {"ulverno/com10/a.nul", "C:\\ULVERNO/com10/a.nul"},
        {"Windows/x.ini", nullptr},  // case counts
        {"windowsx.ini", nullptr},
        {"windows", nullptr},
        {"", nullptr},
        {"/windows/x", nullptr},
    };
    for (const row& r : rows) {
        const heap_string path = map_name(roots, r.name);
        if (r.path == nullptr) {
            EXPECT_EQ(path, nullptr) << r.name;
        } else {
            ASSERT_NE(path, nullptr) << r.name;
            EXPECT_STREQ(path.get(), r.path);
        }
    }
    // No memory was left for the install root: its names map to nothing, the others as before.
    roots.install_root.reset();
    EXPECT_EQ(map_name(roots, "ulverno/bin/x.dll"), nullptr);
    EXPECT_STREQ(map_name(roots, "windows/x.ini").get(), "C:\\WINDOWS/x.ini");
}

TEST(map_name, refuses_names_that_climb_out_of_their_root) {
    target_roots roots{install_root_of("C", "ULVERNO"), "C:\\WINDOWS", "C:\\WINDOWS\\system32"};
    for (const char* name : {"ulverno/..", "ulverno/../x", "ulverno/a/../../x", "ulverno/..\\x", "ulverno/a\\..\\..\\x",
                             "windows/...", "windows/.. /x", "windows/ ../x", "windows_system/x/. .", "windows/a/..."}) {
        EXPECT_EQ(map_name(roots, name), nullptr) << name;
        EXPECT_TRUE(climbs_out_of_root(name + std::string(name).find('/') + 1)) << name;
    }
}

TEST(check_target_name, refuses_what_no_windows_file_can_be_named) {
    struct row { const char* name; name_fault fault; };
    const row rows[] = {
        {"windows/NUL", name_fault::device_name},
        {"windows/con.txt", name_fault::device_name},
        {"windows/sub/Aux. .ini", name_fault::device_name},
        {"windows/prn /x", name_fault::device_name},
        {"windows/a\\lpt9.log", name_fault::device_name},
        {"ulverno/COM0", name_fault::device_name},
        {"ulverno/com¹.dll", name_fault::device_name},  // superscript one
        {"ulverno/LPT\xC2\xB3", name_fault::device_name},
        {"ulverno/com\xB9.dll", name_fault::none},  // not UTF-8: no superscript
        {"ulverno/CONIN$", name_fault::device_name},
        {"ulverno/conout$.txt", name_fault::device_name},
        {"windows_system/x.dll:stream", name_fault::stream_name},
        {"ulverno/c:/x", name_fault::stream_name},
        {"ulverno/../x", name_fault::climbs_out},
        {"other/x", name_fault::no_prefix},
        {"ulverno/nul_x/com", name_fault::none},
        {"ulverno/a<b", name_fault::reserved_character},
        {"ulverno/a>b", name_fault::reserved_character},
        {"ulverno/\"a\"", name_fault::reserved_character},
        {"ulverno/a|b", name_fault::reserved_character},
        {"windows/sub/what?", name_fault::reserved_character},
        {"windows/*.dll", name_fault::reserved_character},
        {"windows/a\x01", name_fault::reserved_character},
        {"windows/a\x1F", name_fault::reserved_character},
        {"windows/a\x7F\xC2\x81" "b", name_fault::none},  // DEL and C1 controls are allowed in Windows names
        {"windows/sub\\x.dll", name_fault::none},  // a separator
    };
    for (const row& r : rows) EXPECT_EQ(check_target_name(r.name), r.fault) << r.name;
}

TEST(check_file_name, refuses_what_no_file_can_be) {
    const std::string a255(255, 'a');
    std::string e_acute;  // 255 characters of two bytes each
    for (int i = 0; i < 255; ++i) e_acute += "\xC3\xA9";
    std::string too_long = "ulverno";
    for (int i = 0; i < 128; ++i) too_long += "/" + a255;
    struct row { std::string name; name_fault fault; };
    const row rows[] = {
        {"ulverno/" + a255, name_fault::none},
        {"ulverno/" + a255 + "a", name_fault::long_component},
        {"ulverno/" + a255 + "a/x.dll", name_fault::long_component},  // a folder too
        {"ulverno/" + a255 + ". . .", name_fault::none},                // counted as Windows stores it
        {"ulverno/" + a255 + "\\" + a255, name_fault::none},            // a backslash separates
        {"ulverno/" + e_acute, name_fault::none},                       // characters, not bytes
        {"ulverno/" + e_acute + "e", name_fault::long_component},
        {"ulverno/" + std::string(254, 'a') + "\xF0\x9F\x98\x80", name_fault::long_component},  // two UTF-16 units
        {"ulverno/../" + a255 + "a", name_fault::climbs_out},  // the rule first
        {"ulverno/a/ .", name_fault::folder_name},
        {too_long, name_fault::too_long},
    };
    for (const row& r : rows) EXPECT_EQ(check_file_name(r.name.c_str()), r.fault) << r.name.size();
    // The classic rule takes what creating the file will refuse.
    EXPECT_EQ(check_target_name(("ulverno/" + a255 + "a").c_str()), name_fault::none);
}

TEST(name_tree, tells_how_each_name_clashes_with_those_before) {
    const uint64_t large = 1ull << 40;
    struct row { const char* name; uint64_t ordinal; name_clash clash; uint64_t other; };
    const row rows[] = {
        {"ulverno/bin/a.dll", 1, name_clash::none, 0},
        {"ulverno/BIN/A.DLL", 2, name_clash::same_file, 1},           // whatever the case
        {"ulverno/bin\\a.dll. . ", 3, name_clash::same_file, 1},      // a backslash separates; dots and spaces dropped
        {"ulverno/bin/a.dll/x", 4, name_clash::below_a_file, 1},
        {"ulverno/Bin. ", 5, name_clash::over_a_folder, 1},
        {"ulverno/bin/a.dl", 6, name_clash::none, 0},                 // near names stay apart
        {"ulverno/bin/a.dlll", 7, name_clash::none, 0},
        {"ulverno/bina.dll", 8, name_clash::none, 0},
        {"windows/bin/a.dll", 9, name_clash::none, 0},                // another root
        {"windows_system/bin", 10, name_clash::none, 0},
        {"windows_system/BIN/x", 11, name_clash::below_a_file, 10},
        {"ulverno/d/e/f/g/h/i/j/k", 12, name_clash::none, 0},         // deep
        {"ulverno/d/e/f/g/h/i/j/k2", 13, name_clash::none, 0},
        {"ulverno/d/e/f/g/h/i/j/k/l", 14, name_clash::below_a_file, 12},
        {"ulverno/./d//e\\f", 15, name_clash::over_a_folder, 12},      // "." and empty components skipped
        {"ulverno/\xC3\x89t\xC3\xA9", 16, name_clash::none, 0},       // code page 1252's letters: "Été"
        {"ulverno/\xC3\xA9T\xC3\x89", 17, name_clash::same_file, 16},
        {"ulverno/\xC5\x92uvre \xC5\xB8 \xC5\xA0", 18, name_clash::none, 0},  // OE, Y with diaeresis, S with caron
        {"ulverno/\xC5\x93UVRE \xC3\xBF \xC5\xA1", 19, name_clash::same_file, 18},
        {"ulverno/\xC3\x97", 20, name_clash::none, 0},                // the multiplication sign is no capital
        {"ulverno/\xC3\xB7", 21, name_clash::none, 0},
        {"windows/big", large, name_clash::none, 0},                  // any ordinal
        {"windows/BIG/x", 22, name_clash::below_a_file, large},
        {"windows/big/", 0xFFFFFFFF, name_clash::same_file, large},
        {"./", 23, name_clash::none, 0},                              // no component: nothing to install
    };
    name_tree tree;
    for (const row& r : rows) {
        clash_found found;
        ASSERT_TRUE(tree.add(r.name, r.ordinal, found)) << r.name;
        EXPECT_EQ(found.clash, r.clash) << r.name;
        EXPECT_EQ(found.other, r.other) << r.name;
    }
}

TEST(name_tree, keeps_many_names_apart_and_finds_each_again) {
    name_tree tree;
    clash_found found;
    // Each file name in 300 folders, each folder name in two.
    const auto name = [](uint64_t i, const char* file) {
        return std::string(i % 2 ? "windows" : "ulverno") + "/d" + std::to_string(i % 300) + "/" + file +
               std::to_string(i / 300);
    };
    for (uint64_t i = 0; i < 100000; ++i) {
        ASSERT_TRUE(tree.add(name(i, "f"), i, found));
        ASSERT_EQ(found.clash, name_clash::none) << i;
    }
    for (uint64_t i = 0; i < 100000; i += 7) {
        ASSERT_TRUE(tree.add(name(i, "F"), i + 100000, found));
        EXPECT_EQ(found.clash, name_clash::same_file) << i;
        EXPECT_EQ(found.other, i) << i;
        ASSERT_TRUE(tree.add(name(i, "f") + "/x", 0, found));
        EXPECT_EQ(found.clash, name_clash::below_a_file) << i;
        EXPECT_EQ(found.other, i) << i;
    }
}
