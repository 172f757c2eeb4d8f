#include "notify/show_message.h"

#include "notify/messages.h"
#include "support/recording_user.h"

#include <gtest/gtest.h>

#include <string>

// Spelled out byte by byte, in code page 1252 (0xE0 is à, 0xE9 is é), so that
// a slip in the catalogue shows here.
TEST(message_catalogue, holds_the_exact_bytes) {
    EXPECT_EQ(std::string(message_caption), "Mise-\xE0-jour d'Ulverno");
    EXPECT_EQ(std::string(text_no_package), "Erreur : pas de fichier sp\xE9" "cifi\xE9.");
    EXPECT_EQ(std::string(text_package_not_opened), "Erreur : ouverture de %s impossible.");
    EXPECT_EQ(std::string(text_package_malformed), "Erreur : fichier de mise \xE0 jour incorrect.");
    EXPECT_EQ(std::string(text_target_not_written), "Erreur : \xE9" "criture du fichier %s impossible.");
    EXPECT_EQ(std::string(text_command_not_started), "Erreur : ex\xE9" "cution de %s impossible.");
    EXPECT_EQ(std::string(text_update_finished), "Mise \xE0 jour termin\xE9" "e.");
}

TEST(show_message, shows_one_warning_box_with_the_caption) {
    reset_recording();
    show_message(text_update_finished);
    ASSERT_EQ(recorded().boxes.size(), 1u);
    EXPECT_EQ(recorded().boxes[0].text, text_update_finished);
    EXPECT_EQ(recorded().boxes[0].caption, message_caption);
    EXPECT_EQ(recorded().boxes[0].style, 0x30u);  // MB_OK | MB_ICONWARNING
}

TEST(show_message, shows_a_long_path_whole_and_cuts_only_past_the_buffer) {
    reset_recording();
    const std::string path300 = "C:\\" + std::string(297, 'p');
    show_message(text_package_not_opened, path300.c_str());
    const std::string huge(5000, 'q');
    show_message(text_target_not_written, huge.c_str());
    ASSERT_EQ(recorded().boxes.size(), 2u);
    EXPECT_EQ(recorded().boxes[0].text, "Erreur : ouverture de " + path300 + " impossible.");
    EXPECT_EQ(recorded().boxes[1].text.size(), message_buffer_size - 1);
    const std::string start = "Erreur : \xE9" "criture du fichier qqqq";
    EXPECT_EQ(recorded().boxes[1].text.substr(0, start.size()), start);
}
