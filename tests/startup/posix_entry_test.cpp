// The POSIX program from the outside: arguments, exit code, the message line.
#include "support/package_bytes.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

class posix_updater : public ::testing::Test {
protected:
    scratch_folder folder;
    const std::string package = folder.at("p.upd");

    // Run in the scratch folder, where the install root "C:\..." is a folder.
    process_result run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), ULV_POSIX_UPDATER);
        return run_process(arguments, {"WINDIR=" + folder.windows()}, folder.path());
    }
};

}  // namespace

TEST_F(posix_updater, installs_and_says_so_on_one_utf8_line) {
    write_file(package, whole("windows/a.txt", "abc") + whole("windows_system/b.dll", "b"));
    const process_result result = run({package});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.errors, "Mise-\xC3\xA0-jour d'Ulverno: Mise \xC3\xA0 jour termin\xC3\xA9" "e.\n");
    EXPECT_EQ(read_file(folder.windows() + "/a.txt"), "abc");
    EXPECT_EQ(read_file(folder.system() + "/b.dll"), "b");
    EXPECT_FALSE(file_exists(package));
}

TEST_F(posix_updater, takes_paths_and_folders_in_any_script) {
    // An install folder named in Cyrillic, a package path in Japanese, a name from the package in code page 1252.
    const std::string install = "C:\\\xD0\xA3\xD0\xBB\xD1\x8C\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBD\xD0\xBE";
    folder.write_profile("[ulvekern]\nulvedrive=C\nulvedir=" + install.substr(3) + "\n");
    make_folder(folder.at(install));
    const std::string japanese = folder.at("\xE6\x9B\xB4\xE6\x96\xB0\xC3\xA9.upd");
    write_file(japanese, whole("ulverno/caf\xE9 \x80.txt", "abc"));
    EXPECT_EQ(run({"-s", japanese}).errors, "");
    EXPECT_EQ(read_file(folder.at(install + "/caf\xC3\xA9 \xE2\x82\xAC.txt")), "abc");
    EXPECT_FALSE(file_exists(japanese));
    EXPECT_EQ(run({japanese}).errors, "Mise-\xC3\xA0-jour d'Ulverno: Erreur : ouverture de " + japanese + " impossible.\n");
}

TEST_F(posix_updater, exits_with_0_after_a_failure) {
    const process_result result = run({});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.errors, "Mise-\xC3\xA0-jour d'Ulverno: Erreur : pas de fichier sp\xC3\xA9" "cifi\xC3\xA9.\n");
}

TEST_F(posix_updater, starts_the_follow_up_program) {
    write_file(package, whole("windows/a.txt", "abc"));
    const std::string script = folder.at("follow-up.sh");
    write_file(script, "#!/bin/sh\necho started > " + folder.at("marker") + "\n");
    chmod(script.c_str(), 0755);
    const process_result result = run({"-X", script, "-s", package});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.errors, "");
    for (int i = 0; i < 100 && !file_exists(folder.at("marker")); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(read_file(folder.at("marker")), "started\n");

    write_file(package, whole("windows/a.txt", "abc"));
    EXPECT_EQ(run({"-X", folder.at("absent"), package}).errors,
              "Mise-\xC3\xA0-jour d'Ulverno: Erreur : ex\xC3\xA9" "cution de " + folder.at("absent") + " impossible.\n");
}
