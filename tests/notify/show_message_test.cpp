#include "notify/show_message.h"

#include "notify/messages.h"
#include "platform/text_codec.h"
#include "support/recording_user.h"

#include <gtest/gtest.h>

#include <string>

// Each text of the catalogue as its box shows it, spelled out byte by byte in
// UTF-8 (C3 A0 is à, C3 A9 is é), so that a slip in the catalogue shows here.
TEST(show_message, shows_each_catalogue_text_in_one_warning_box_with_the_caption) {
    struct row { const char* format; const char* argument; std::string text; };
    const row rows[] = {
        {text_no_package, nullptr, "Erreur : pas de fichier sp\xC3\xA9" "cifi\xC3\xA9."},
        {text_package_not_opened, "C:\\p.upd", "Erreur : ouverture de C:\\p.upd impossible."},
        {text_package_malformed, nullptr, "Erreur : fichier de mise \xC3\xA0 jour incorrect."},
        {text_target_not_written, "C:\\x.dll", "Erreur : \xC3\xA9" "criture du fichier C:\\x.dll impossible."},
        {text_command_not_started, "C:\\suite.exe", "Erreur : ex\xC3\xA9" "cution de C:\\suite.exe impossible."},
        {text_update_finished, nullptr, "Mise \xC3\xA0 jour termin\xC3\xA9" "e."},
    };
    for (const row& r : rows) {
        reset_recording();
        show_message(r.format, r.argument);
        ASSERT_EQ(recorded().boxes.size(), 1u) << r.text;
        EXPECT_EQ(recorded().boxes[0].text, r.text);
        EXPECT_EQ(recorded().boxes[0].caption, "Mise-\xC3\xA0-jour d'Ulverno");
        EXPECT_EQ(recorded().boxes[0].style, 0x30u);  // MB_OK | MB_ICONWARNING
    }
}

TEST(show_message, shows_a_long_path_whole_and_cuts_only_past_the_buffer) {
    reset_recording();
    const std::string path300 = "C:\\" + std::string(297, 'p');
    show_message(text_package_not_opened, path300.c_str());
    const std::string huge(5000, 'q');
    show_message(text_target_not_written, huge.c_str());
    ASSERT_EQ(recorded().boxes.size(), 2u);
    EXPECT_EQ(recorded().boxes[0].text, "Erreur : ouverture de " + path300 + " impossible.");
    EXPECT_EQ(character_count(recorded().boxes[1].text), message_buffer_size - 1);
    const std::string start = "Erreur : écriture du fichier qqqq";
    EXPECT_EQ(recorded().boxes[1].text.substr(0, start.size()), start);
}

// The buffer holds 1999 characters as Windows counts them, whatever bytes
// they take, and a cut never splits one.
TEST(show_message, cuts_between_characters) {
    const std::string prefix = "Erreur : ouverture de ";  // 22 characters before the argument
    std::string euros;
    for (int i = 0; i < 2500; ++i) euros += "\xE2\x82\xAC";  // more bytes than the buffer holds
    struct row { std::string argument; std::string ends_with; size_t characters; };
    const row rows[] = {
        {std::string(1977, 'a') + " impossible", "a", 1999},
        {std::string(1976, 'a') + "\xC3\xA9", "a\xC3\xA9", 1999},
        {std::string(1975, 'a') + "\xF0\x9F\x98\x80", "a\xF0\x9F\x98\x80", 1999},  // two units: just fits
        {std::string(1976, 'a') + "\xF0\x9F\x98\x80", "a", 1998},  // does not
        {euros, "\xE2\x82\xAC", 1999},
    };
    for (const row& r : rows) {
        reset_recording();
        show_message(text_package_not_opened, r.argument.c_str());
        ASSERT_EQ(recorded().boxes.size(), 1u);
        const std::string& text = recorded().boxes[0].text;
        EXPECT_EQ(character_count(text), r.characters) << r.argument.size();
        EXPECT_EQ(text.substr(0, prefix.size()), prefix);
        EXPECT_EQ(text.substr(text.size() - r.ends_with.size()), r.ends_with) << r.argument.size();
        uint32_t code_point;
        for (size_t at = 0, length; at < text.size(); at += length) {
            length = decode_utf8(text, at, code_point);
            ASSERT_NE(length, 0u) << "a character was cut at byte " << at;
        }
    }
}
