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
    // Runs the updater on `tail`, with {pkg} standing for the package path.
    void run(std::string tail) {
        const size_t at = tail.find("{pkg}");
        if (at != std::string::npos) tail.replace(at, 5, package);
        EXPECT_EQ(split_command_line(tail.c_str()), 0);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const shown_box& box : recorded().boxes) out.push_back(box.text);
        return out;
    }
    bool applied() const { return !file_exists(package) && file_exists(folder.windows() + "/x.txt"); }
};

}  // namespace

TEST_F(run_update_test, asks_for_a_package_when_none_is_given) {
    for (const char* tail : {"", "   ", "-s", "-X", "-X cmd", "-s -X", "-X cmd -s"}) {
        reset_recording();
        run(tail);
        EXPECT_EQ(texts(), std::vector<std::string>{no_package}) << tail;
        EXPECT_TRUE(recorded().started.empty());
    }
    EXPECT_TRUE(file_exists(package));
}

TEST_F(run_update_test, shows_the_completion_notice) {
    run("{pkg}");
    EXPECT_TRUE(applied());
    EXPECT_EQ(texts(), std::vector<std::string>{finished});
}

TEST_F(run_update_test, ignores_options_after_the_package) {
    run("{pkg} -s -X cmd");
    EXPECT_TRUE(applied());
    EXPECT_EQ(texts(), std::vector<std::string>{finished});
    EXPECT_TRUE(recorded().started.empty());
}

TEST_F(run_update_test, stays_silent_with_s) {
    run("-s {pkg}");
    EXPECT_TRUE(applied());
    EXPECT_TRUE(texts().empty());
}

TEST_F(run_update_test, starts_the_follow_up_instead_of_the_notice) {
    run("-X first -X C:\\suite.exe -s {pkg}");
    EXPECT_TRUE(applied());
    EXPECT_TRUE(texts().empty());
    EXPECT_EQ(recorded().started, std::vector<std::string>{"C:\\suite.exe"});
}

TEST_F(run_update_test, reports_a_follow_up_that_does_not_start) {
    recorded().start_result = 31;
    run("-X C:\\absent.exe {pkg}");
    EXPECT_TRUE(applied());
    EXPECT_EQ(texts(), std::vector<std::string>{"Erreur : exécution de C:\\absent.exe impossible."});
}

TEST_F(run_update_test, starts_nothing_after_a_failed_update) {
    write_file(package, "");
    run("-X C:\\suite.exe {pkg}");
    EXPECT_EQ(texts(), std::vector<std::string>{malformed});
    EXPECT_TRUE(recorded().started.empty());
    EXPECT_TRUE(file_exists(package));
}

TEST_F(run_update_test, takes_other_spellings_of_the_options_as_the_package_path) {
    for (const char* option : {"-x", "-S", "--s", "-s2"}) {
        reset_recording();
        run(std::string(option) + " {pkg}");
        EXPECT_EQ(texts(), std::vector<std::string>{"Erreur : ouverture de " + std::string(option) + " impossible."});
        EXPECT_TRUE(file_exists(package));
    }
}
