#include "package/target_names.h"

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
