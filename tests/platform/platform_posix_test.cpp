// The POSIX services keep the promises the updater relies on.
#include "platform/platform.h"

#include "platform/codepage_1252.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(posix_files, open_create_read_write_and_delete) {
    scratch_folder folder;
    const std::string path = folder.at("f.bin");
    EXPECT_EQ(open_for_reading(path.c_str()), -1);
    EXPECT_EQ(create_for_writing(folder.at("missing/f.bin").c_str()), -1);

    write_file(path, "old contents, longer");
    int handle = create_for_writing(path.c_str());
    ASSERT_NE(handle, -1);
    EXPECT_EQ(write_bytes(handle, "new\0bin", 7), 7);
    EXPECT_EQ(write_bytes(handle, "", 0), 0);
    EXPECT_EQ(close_file(handle), 1);
    EXPECT_EQ(read_file(path), std::string("new\0bin", 7));  // truncated, binary

    handle = open_for_reading(path.c_str());
    ASSERT_NE(handle, -1);
    char buffer[16];
    EXPECT_EQ(bytes_left(handle), 7);
    EXPECT_EQ(read_bytes(handle, buffer, 4), 4);
    EXPECT_EQ(bytes_left(handle), 3);
    EXPECT_EQ(read_bytes(handle, buffer, 16), 3);  // short read at the end
    EXPECT_EQ(read_bytes(handle, buffer, 16), 0);
    EXPECT_EQ(read_bytes(handle, buffer, 0), 0);
    close_file(handle);

    delete_file(path.c_str());
    EXPECT_FALSE(file_exists(path));
}

TEST(posix_files, take_code_page_1252_names_to_utf8_file_names) {
    scratch_folder folder;
    const std::string name = folder.at("caf\xE9.txt");
    const int handle = create_for_writing(name.c_str());
    ASSERT_NE(handle, -1);
    close_file(handle);
    EXPECT_TRUE(file_exists(folder.at("caf\xC3\xA9.txt")));
    EXPECT_NE(open_for_reading(name.c_str()), -1);
    delete_file(name.c_str());
    EXPECT_FALSE(file_exists(folder.at("caf\xC3\xA9.txt")));
}

TEST(posix_directories, come_from_windir) {
    scratch_folder folder;
    char buffer[260];
    ASSERT_EQ(windows_directory(buffer, sizeof buffer), folder.windows().size());
    EXPECT_EQ(std::string(buffer), folder.windows());
    ASSERT_EQ(system_directory(buffer, sizeof buffer), folder.system().size());
    EXPECT_EQ(std::string(buffer), folder.system());

    setenv("WINDIR", "", 1);
    EXPECT_EQ(windows_directory(buffer, sizeof buffer), 0u);
    EXPECT_EQ(system_directory(buffer, sizeof buffer), 0u);
    unsetenv("WINDIR");
    EXPECT_EQ(windows_directory(buffer, sizeof buffer), 0u);

    const std::string longest(259, 'w');  // 259 characters and the NUL fill the buffer
    setenv("WINDIR", longest.c_str(), 1);
    EXPECT_EQ(windows_directory(buffer, sizeof buffer), 259u);
    EXPECT_EQ(system_directory(buffer, sizeof buffer), 0u);  // with /system32 it no longer fits
    setenv("WINDIR", (longest + "w").c_str(), 1);
    EXPECT_EQ(windows_directory(buffer, sizeof buffer), 0u);

    setenv("WINDIR", "/tmp/d\xC3\xA9j\xC3\xA0", 1);  // UTF-8 in, code page 1252 out
    EXPECT_EQ(windows_directory(buffer, sizeof buffer), 9u);
    EXPECT_EQ(std::string(buffer), "/tmp/d\xE9j\xE0");
    setenv("WINDIR", "/tmp/\xE2\x98\x83", 1);  // not in the code page: unknown
    EXPECT_EQ(windows_directory(buffer, sizeof buffer), 0u);
}

TEST(posix_profile, reads_like_windows) {
    scratch_folder folder;
    char value[9];
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedrive", "dflt", value, sizeof value, "ulverno.ini"), 4u);
    EXPECT_STREQ(value, "dflt");  // no file: the default

    folder.write_profile("; comment\r\n[other]\nulvedrive=X\n[ ULVEKERN ]\r\n  UlveDrive =  D  \r\n"
                         "ulvedir=a very long directory name\nulvedrive=E\n");
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedrive", "", value, sizeof value, "ulverno.ini"), 1u);
    EXPECT_STREQ(value, "D");  // the first key, trimmed, names compared without case
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedir", "", value, sizeof value, "ulverno.ini"), 8u);
    EXPECT_STREQ(value, "a very l");  // cut to the buffer
    EXPECT_EQ(read_profile_string("ulvekern", "missing", "", value, sizeof value, "ulverno.ini"), 0u);
    EXPECT_STREQ(value, "");

    folder.write_profile("[ulvekern]\nulvedir=Caf\xC3\xA9 \xE2\x98\x83\n");
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedir", "", value, sizeof value, "ulverno.ini"), 6u);
    EXPECT_STREQ(value, "Caf\xE9 ?");
}

TEST(codepage_1252, converts_both_ways) {
    EXPECT_EQ(utf8_from_1252("Mise-\xE0-jour \x80\x9F\x81"), "Mise-\xC3\xA0-jour \xE2\x82\xAC\xC5\xB8\xC2\x81");
    std::string text;
    ASSERT_TRUE(utf8_to_1252("d\xC3\xA9j\xC3\xA0 \xE2\x82\xAC", text));
    EXPECT_EQ(text, "d\xE9j\xE0 \x80");
    EXPECT_FALSE(utf8_to_1252("\xE2\x98\x83", text));  // a snowman has no byte in the code page
    EXPECT_FALSE(utf8_to_1252("\xC3", text));          // cut sequence
    EXPECT_FALSE(utf8_to_1252("\xC0\xAF", text));      // overlong "/"
    EXPECT_FALSE(utf8_to_1252("\xED\xA0\x80", text));  // surrogate
    EXPECT_EQ(utf8_to_1252_replacing("a\xE2\x98\x83" "b\xFF" "c\xC3\xA9"), "a?b?c\xE9");
}
