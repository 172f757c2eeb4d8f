// Every text of the catalogue, shown in a real message box and read back.
#include "wine_bench.h"

#include "notify/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string with(const char* format, const std::string& argument) {
    std::string text = format;
    return text.replace(text.find("%s"), 2, argument);
}

}  // namespace

TEST(wine_message_boxes, show_every_catalogue_text_byte_for_byte) {
    const bench_run run = run_in_bench("C:\\ulvbench\\show_catalogue.exe");
    const std::string long_path = "C:\\" + std::string(290, 'l') + "\\x.upd";
    const std::string expected[] = {
        text_no_package,
        with(text_package_not_opened, "C:\\ulverno\\paquet.upd"),
        with(text_package_not_opened, long_path),
        text_package_malformed,
        with(text_target_not_written, "C:\\ulverno/bin/x.dll"),
        with(text_command_not_started, "C:\\ulverno\\suite.exe"),
        text_update_finished,
    };
    ASSERT_EQ(run.boxes.size(), std::size(expected)) << run.transcript;
    for (size_t i = 0; i < run.boxes.size(); ++i) {
        EXPECT_EQ(run.boxes[i].caption, message_caption) << i;
        EXPECT_EQ(run.boxes[i].text, expected[i]) << i;
        EXPECT_EQ(run.boxes[i].buttons, "1") << "OK must be the one button of box " << i;
    }
    EXPECT_EQ(run.exit_code, 0);
}
