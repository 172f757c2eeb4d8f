// The POSIX services keep the promises the updater relies on.
#include "platform/platform.h"

#include "platform/text_codec.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

TEST(posix_files, open_create_read_write_and_delete) {
    scratch_folder folder;
    const std::string path = folder.at("f.bin");
    EXPECT_EQ(open_for_reading(path.c_str()), -1);
    EXPECT_EQ(create_for_writing(folder.at("missing/f.bin").c_str(), nullptr, 0), creation_failed);

    write_file(path, "old contents, longer");
    int handle = create_for_writing(path.c_str(), nullptr, 0);
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

    // Deleted as the file held, and only while its path still names it.
    handle = open_for_reading_unchanged(path.c_str());
    write_file(folder.at("other"), "other");
    std::filesystem::rename(folder.at("other"), path);
    EXPECT_EQ(delete_open_file(path.c_str(), handle), 0);
    EXPECT_EQ(read_file(path), "other");
    close_file(handle);
    handle = open_for_reading_unchanged(path.c_str());
    EXPECT_EQ(delete_open_file(path.c_str(), handle), 1);
    close_file(handle);
    EXPECT_FALSE(file_exists(path));
}

// A service that fails keeps why: the system's error, or what it found in
// a file's place; and says it in the system's words.
TEST(posix_files, keep_why_they_failed) {
    scratch_folder folder;
    make_folder(folder.at("folder"));
    ASSERT_EQ(mkfifo(folder.at("fifo").c_str(), 0600), 0);
    struct row { std::string path; error_cause cause; uint32_t code; const char* text; };
    const row rows[] = {
        {folder.at("missing"), error_cause::system, ENOENT, std::strerror(ENOENT)},
        {folder.at("missing/f.bin"), error_cause::system, ENOENT, std::strerror(ENOENT)},
        {folder.at("folder"), error_cause::folder, 0, "it is a folder"},
        {folder.at("fifo"), error_cause::not_a_file, 0, "it is not a regular file"},  // not waited for
    };
    for (const row& r : rows) {
        EXPECT_EQ(open_for_reading(r.path.c_str()), -1) << r.path;
        EXPECT_EQ(last_system_error().cause, r.cause) << r.path;
        EXPECT_EQ(last_system_error().code, r.code) << r.path;
        EXPECT_STREQ(system_error_text(last_system_error()), r.text) << r.path;
    }
    EXPECT_EQ(create_for_writing(folder.at("missing/f.bin").c_str(), nullptr, 0), creation_failed);
    EXPECT_EQ(last_system_error().code, static_cast<uint32_t>(ENOENT));
    write_file(folder.at("f.bin"), "bytes");
    const int reading = open_for_reading(folder.at("f.bin").c_str());
    EXPECT_EQ(write_bytes(reading, "x", 1), 0);  // kept until the next failure, whatever succeeds meanwhile
    EXPECT_EQ(bytes_left(reading), 5);
    EXPECT_EQ(last_system_error().code, static_cast<uint32_t>(EBADF));
    close_file(reading);
}

// A file that must stay is refused by any of its names, untouched; so is a
// path no call can open; neither is worth another attempt.
TEST(posix_files, never_create_over_a_kept_file_or_a_path_too_long) {
    scratch_folder folder;
    const std::string kept_path = folder.at("kept.upd");
    write_file(kept_path, "package");
    ASSERT_EQ(link(kept_path.c_str(), folder.at("other-name").c_str()), 0);
    const int kept_handle = open_for_reading_unchanged(kept_path.c_str());
    file_identity kept;
    ASSERT_EQ(identity_of(kept_handle, kept), 1);
    for (const std::string& path : {kept_path, folder.at("other-name"), folder.at("./kept.upd")}) {
        EXPECT_EQ(create_for_writing(path.c_str(), &kept, 1), creation_refused) << path;
    }
    EXPECT_EQ(read_file(kept_path), "package");
    close_file(kept_handle);

    for (const std::string& path : {folder.at(std::string(256, 'n')), folder.at(std::string(4100, 'd'))}) {
        EXPECT_EQ(path_fits(path.c_str()), 0);
        EXPECT_EQ(create_for_writing(path.c_str(), nullptr, 0), creation_refused);
    }
    EXPECT_EQ(path_fits(folder.at(std::string(255, 'n')).c_str()), 1);
    const int longest = create_for_writing(folder.at(std::string(255, 'n')).c_str(), &kept, 1);
    EXPECT_GE(longest, 0);
    close_file(longest);
}

TEST(posix_files, take_names_as_the_bytes_they_are) {
    scratch_folder folder;
    // UTF-8 in any script, and a byte that is not UTF-8: the file has exactly that name.
    for (const std::string name : {"\xE6\x9B\xB4\xE6\x96\xB0\xC3\xA9.txt", "caf\xE9.txt"}) {
        const std::string path = folder.at(name);
        const int handle = create_for_writing(path.c_str(), nullptr, 0);
        ASSERT_NE(handle, -1);
        close_file(handle);
        EXPECT_EQ(read_tree(folder.path()).count(name), 1u) << name;
        const int reading = open_for_reading_unchanged(path.c_str());
        EXPECT_NE(reading, -1);
        EXPECT_EQ(delete_open_file(path.c_str(), reading), 1);
        close_file(reading);
        EXPECT_FALSE(file_exists(path));
    }
}

TEST(posix_directories, come_from_windir) {
    scratch_folder folder;
    char buffer[utf8_room(260)];
    ASSERT_EQ(windows_directory(buffer, 260), folder.windows().size());
    EXPECT_EQ(std::string(buffer), folder.windows());
    ASSERT_EQ(system_directory(buffer, 260), folder.system().size());
    EXPECT_EQ(std::string(buffer), folder.system());

    setenv("WINDIR", "", 1);
    EXPECT_EQ(windows_directory(buffer, 260), 0u);
    EXPECT_EQ(system_directory(buffer, 260), 0u);
    unsetenv("WINDIR");
    EXPECT_EQ(windows_directory(buffer, 260), 0u);

    // Taken as given, whatever the script; the limit counts characters, not bytes.
    struct row { std::string windir; uint32_t windows; uint32_t system; };
    const row rows[] = {
        {std::string(259, 'w'), 259, 0},                // 259 characters and the NUL fill the buffer; /system32 does not fit
        {std::string(260, 'w'), 0, 0},
        {"/tmp/d\xC3\xA9j\xC3\xA0", 11, 20},  // lengths are in bytes
        {"/tmp/\xD0\xA3\xD0\xBB\xD1\x8C\xE2\x98\x83", 14, 23},  // Cyrillic and a snowman, outside code page 1252
        {std::string(250, 'w') + "\xC3\xA9", 252, 0},
    };
    for (const row& r : rows) {
        setenv("WINDIR", r.windir.c_str(), 1);
        EXPECT_EQ(windows_directory(buffer, 260), r.windows) << r.windir.size();
        if (r.windows != 0) {
            EXPECT_EQ(std::string(buffer), r.windir);
        }
        EXPECT_EQ(system_directory(buffer, 260), r.system) << r.windir.size();
    }
    std::string wide_letters;
    for (int i = 0; i < 259; ++i) wide_letters += "\xE2\x82\xAC";  // 259 characters in 777 bytes still fit
    setenv("WINDIR", wide_letters.c_str(), 1);
    EXPECT_EQ(windows_directory(buffer, 260), wide_letters.size());
}

TEST(posix_profile, reads_like_windows) {
    scratch_folder folder;
    char value[utf8_room(9)];
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedrive", "dflt", value, 9, "ulverno.ini"), 4u);
    EXPECT_STREQ(value, "dflt");  // no file: the default

    folder.write_profile("; comment\r\n[other]\nulvedrive=X\n[ ULVEKERN ]\r\n  UlveDrive =  D  \r\n"
                         "ulvedir=a very long directory name\nulvedrive=E\n");
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedrive", "", value, 9, "ulverno.ini"), 1u);
    EXPECT_STREQ(value, "D");  // the first key, trimmed, names compared without case
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedir", "", value, 9, "ulverno.ini"), 8u);
    EXPECT_STREQ(value, "a very l");  // cut to the buffer
    EXPECT_EQ(read_profile_string("ulvekern", "missing", "", value, 9, "ulverno.ini"), 0u);
    EXPECT_STREQ(value, "");

    // Values in any script, cut to 8 characters, never inside one; quotes as Windows drops them; a byte order mark.
    struct row { std::string file; const char* value; };
    const row rows[] = {
        {"[ulvekern]\nulvedir=Caf\xC3\xA9 \xE2\x98\x83\n", "Caf\xC3\xA9 \xE2\x98\x83"},
        {"[ulvekern]\nulvedir=\xD0\xA3\xD0\xBB\xD1\x8C\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBD\xD0\xBE\xD0\x96\n",
         "\xD0\xA3\xD0\xBB\xD1\x8C\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBD\xD0\xBE"},  // 9 Cyrillic letters: 8 kept
        {"[ulvekern]\nulvedir=abcdefg\xF0\x9F\x98\x80\n", "abcdefg"},  // two units do not fit in the one left
        {"[ulvekern]\nulvedir = \" a b \" \n", " a b "},
        {"[ulvekern]\nulvedir='a b'\n", "a b"},
        {"[ulvekern]\nulvedir=\"\"\n", ""},
        {"[ulvekern]\nulvedir=\"a'\n", "\"a'"},  // quotes that differ stay
        {"[ulvekern]\nulvedir=\"\n", "\""},
        {"[ulvekern]\nulvedir=a\"b\"\n", "a\"b\""},
        {"\xEF\xBB\xBF[ulvekern]\r\nulvedir=Ulv\xC3\xA9rno\r\n", "Ulv\xC3\xA9rno"},  // the mark is no text
    };
    for (const row& r : rows) {
        folder.write_profile(r.file);
        EXPECT_EQ(read_profile_string("ulvekern", "ulvedir", "", value, 9, "ulverno.ini"), std::strlen(r.value)) << r.file;
        EXPECT_STREQ(value, r.value);
    }
    // A value as long as the longest path is read whole.
    const std::string longest(32767, 'd');
    folder.write_profile("[ulvekern]\nulvedir=" + longest + "\n");
    std::string whole(utf8_room(32768), '\0');
    EXPECT_EQ(read_profile_string("ulvekern", "ulvedir", "", whole.data(), 32768, "ulverno.ini"), longest.size());
    EXPECT_EQ(whole.c_str(), longest);
}

TEST(text_codec, converts_code_page_1252_both_ways) {
    EXPECT_EQ(utf8_from_1252("Mise-\xE0-jour \x80\x9F\x81"), "Mise-\xC3\xA0-jour \xE2\x82\xAC\xC5\xB8\xC2\x81");
    // Every byte but NUL converts, and back to itself: a package's name is never changed on the way.
    std::string every_byte;
    for (int byte = 1; byte < 256; ++byte) every_byte += static_cast<char>(byte);
    const std::string utf8 = utf8_from_1252(every_byte);
    EXPECT_EQ(utf8.size(), utf8_size_from_1252(every_byte));
    EXPECT_EQ(character_count(utf8), every_byte.size());
    std::string back;
    ASSERT_TRUE(utf8_to_1252(utf8, back));
    EXPECT_EQ(back, every_byte);
    std::string text;
    ASSERT_TRUE(utf8_to_1252("d\xC3\xA9j\xC3\xA0 \xE2\x82\xAC", text));
    EXPECT_EQ(text, "d\xE9j\xE0 \x80");
    EXPECT_FALSE(utf8_to_1252("\xE2\x98\x83", text));  // a snowman has no byte in the code page
    EXPECT_FALSE(utf8_to_1252("\xC3", text));          // cut sequence
    EXPECT_FALSE(utf8_to_1252("\xC0\xAF", text));      // overlong "/"
    EXPECT_FALSE(utf8_to_1252("\xED\xA0\x80", text));  // surrogate
    EXPECT_EQ(utf8_to_1252_replacing("a\xE2\x98\x83" "b\xFF" "c\xC3\xA9"), "a?b?c\xE9");
}

// What Windows gives in UTF-16 comes in whole, but a unit of a pair without
// its other half, which UTF-8 cannot hold, becomes "?": no Windows file nor
// program has that name, where a replacement character would name another.
TEST(text_codec, takes_utf16_as_windows_gives_it) {
    struct row { std::u16string units; std::string utf8; };
    const row rows[] = {
        {u"C:\\x.upd", "C:\\x.upd"},
        {u"caf\u00E9 \u20AC \u66F4", "caf\xC3\xA9 \xE2\x82\xAC \xE6\x9B\xB4"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(u"x") + char16_t(0xDC00) + u".upd", "x?.upd"},
        {std::u16string(u"x") + char16_t(0xD800), "x?"},
        {std::u16string(1, char16_t(0xD83D)) + char16_t(0xD83D) + char16_t(0xDE00), "?\xF0\x9F\x98\x80"},
    };
    for (const row& r : rows) {
        std::string out(utf8_from_utf16(r.units.data(), r.units.size(), nullptr), '\0');
        EXPECT_EQ(utf8_from_utf16(r.units.data(), r.units.size(), out.data()), r.utf8.size());
        EXPECT_EQ(out, r.utf8);
    }
}

TEST(text_codec, counts_characters_as_windows_does) {
    const std::string text = "a\xF0\x9F\x98\x80\xFF\xC3\xA9";  // a, a character of two units, a stray byte, é
    EXPECT_EQ(character_count(text), 5u);
    const size_t prefixes[] = {0, 1, 1, 5, 6, 8, 8};
    for (size_t characters = 0; characters < std::size(prefixes); ++characters) {
        EXPECT_EQ(prefix_within(text, characters), prefixes[characters]) << characters;
    }
}
