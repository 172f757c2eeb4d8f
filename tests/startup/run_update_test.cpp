#include "startup/run_update.h"

#include "notify/messages.h"
#include "startup/split_command_line.h"
#include "support/package_bytes.h"
#include "support/recording_user.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string no_package = text_no_package;
const std::string finished = text_update_finished;
const std::string malformed = text_package_malformed;

class run_update_test : public ::testing::Test {
protected:
    scratch_folder folder;
    const std::string package = folder.at("p.upd");

    void SetUp() override { write_file(package, whole("windows/x.txt", "x")); }
    // Runs the updater on `tail`, with {pkg} standing for the package path,
    // and checks what the run did: the texts it showed, the programs it
    // started, and the package's fate: installed (its target written, the
    // package deleted) or left as it was, with nothing written.
    void expect_run(std::string tail, const std::vector<std::string>& texts, const std::vector<std::string>& started,
                    bool installed) {
        SCOPED_TRACE(tail);
        recorded().boxes.clear();
        recorded().started.clear();
        const size_t at = tail.find("{pkg}");
        if (at != std::string::npos) tail.replace(at, 5, package);
        split_command_line(tail.c_str());
        std::vector<std::string> shown;
        for (const shown_box& box : recorded().boxes) shown.push_back(box.text);
        EXPECT_EQ(shown, texts);
        EXPECT_EQ(recorded().started, started);
        EXPECT_EQ(file_exists(package), !installed);
        EXPECT_EQ(file_exists(folder.windows() + "/x.txt"), installed);
    }
};

const std::vector<std::string> none;

}  // namespace

TEST_F(run_update_test, asks_for_a_package_when_none_is_given) {
    for (const char* tail : {"", "   ", "-s", "-X", "-X cmd", "-s -X", "-X cmd -s"}) expect_run(tail, {no_package}, none, false);
}

TEST_F(run_update_test, shows_the_completion_notice) {
    expect_run("{pkg}", {finished}, none, true);
}

TEST_F(run_update_test, ignores_options_after_the_package) {
    expect_run("{pkg} -s -X cmd", {finished}, none, true);
}

TEST_F(run_update_test, stays_silent_with_s) {
    expect_run("-s {pkg}", none, none, true);
}

TEST_F(run_update_test, starts_the_follow_up_instead_of_the_notice) {
    expect_run("-X first -X C:\\suite.exe -s {pkg}", none, {"C:\\suite.exe"}, true);
}

TEST_F(run_update_test, reports_a_follow_up_that_does_not_start) {
    recorded().start_result = 31;
    expect_run("-X C:\\absent.exe {pkg}", {"Erreur : exécution de C:\\absent.exe impossible."}, {"C:\\absent.exe"}, true);
}

TEST_F(run_update_test, starts_nothing_after_a_failed_update) {
    write_file(package, "");
    expect_run("-X C:\\suite.exe {pkg}", {malformed}, none, false);
}

TEST_F(run_update_test, takes_other_spellings_of_the_options_as_the_package_path) {
    for (const char* option : {"-x", "-S", "--s", "-s2"}) {
        expect_run(std::string(option) + " {pkg}", {"Erreur : ouverture de " + std::string(option) + " impossible."}, none,
                   false);
    }
}
