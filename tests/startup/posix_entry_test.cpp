// The POSIX program from the outside: arguments, exit code, the message line.
#include "support/package_bytes.h"
#include "support/package_cases.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
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
    // Nothing in a path reaches the terminal as a command: control characters (C0, DEL, C1) and bytes
    // that are not UTF-8 show as "?".
    EXPECT_EQ(run({"x\x1B[2J\x7F\xC2\x9B" "31m\xC2\x9D\xFF\xC3\xA9.upd"}).errors,
              "Mise-\xC3\xA0-jour d'Ulverno: Erreur : ouverture de x?[2J??31m??\xC3\xA9.upd impossible.\n");
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

#ifdef ULV_SIGNED_UPDATER
// An updater built with a key applies only what that key signed, as openssl
// signs it, and refuses the rest with nothing written and both files kept;
// the updater built without a key ignores signatures.
TEST_F(posix_updater, built_with_a_key_applies_only_signed_packages) {
    const std::string keys = ULV_TEST_KEY_DIR;
    const std::string contents = whole("windows/a.txt", "signed") + whole("windows/b.txt", "too");
    const auto sign = [&](const std::string& key) {
        ASSERT_EQ(run_process({"openssl", "dgst", "-sha256", "-sign", keys + "/" + key, "-out", package + ".sig", package})
                      .exit_code, 0);
    };
    const auto flip_last_byte = [](const std::string& path) { std::string b = read_file(path); b.back() ^= 1; write_file(path, b); };
    struct row {
        const char* what;
        std::function<void()> prepare;
        bool applies;
    };
    const row rows[] = {
        {"signed", [&] { sign("vendor.key"); }, true},
        {"a byte of the package changed", [&] { sign("vendor.key"); flip_last_byte(package); }, false},
        {"a byte of the signature changed", [&] { sign("vendor.key"); flip_last_byte(package + ".sig"); }, false},
        {"no signature", [&] { std::filesystem::remove(package + ".sig"); }, false},
        {"signed by another key", [&] { sign("other.key"); }, false},
        {"a signature of something else", [&] { sign("vendor.key"); write_file(package, contents + "x"); }, false},
        {"a malformed package, signed", [&] { write_file(package, whole("windows/a.txt", "signed") + whole("windowz/b", ""));
                                               sign("vendor.key"); }, false},
    };
    for (const row& r : rows) {
        std::filesystem::remove_all(folder.windows());
        make_folder(folder.system());
        write_file(package, contents);
        r.prepare();
        const std::string package_bytes = read_file(package);
        const bool signed_file = file_exists(package + ".sig");
        const std::string signature = signed_file ? read_file(package + ".sig") : "";
        const process_result result = run_process({ULV_SIGNED_UPDATER, "-s", package}, {"WINDIR=" + folder.windows()});
        if (r.applies) {
            EXPECT_EQ(result.errors, "") << r.what;
            EXPECT_EQ(read_file(folder.windows() + "/b.txt"), "too") << r.what;
            EXPECT_FALSE(file_exists(package)) << r.what;
            EXPECT_FALSE(file_exists(package + ".sig")) << r.what;
        } else {
            EXPECT_EQ(result.errors, "Mise-\xC3\xA0-jour d'Ulverno: Erreur : fichier de mise \xC3\xA0 jour incorrect.\n") << r.what;
            EXPECT_EQ(read_tree(folder.windows()), file_tree{}) << r.what;
            EXPECT_EQ(read_file(package), package_bytes) << r.what;
            EXPECT_EQ(signed_file ? read_file(package + ".sig") : "", signature) << r.what;
        }
    }
    // Bytes changed in place after their signature was checked are never installed: the updater installs
    // from its own copy of the bytes it checked, and keeps the changed package.
    std::filesystem::remove_all(folder.windows());
    make_folder(folder.system());
    write_file(package, whole("windows/late/a.txt", "signed") + whole("windows/b.txt", "too"));
    sign("vendor.key");
    write_file(folder.at("evil.upd"), whole("windows/late/a.txt", "signed") + whole("windows/b.txt", "BAD"));
    const process_result swapped = run_process(
        {"sh", "-c", "\"$0\" -s \"$1\" & sleep 1; cat \"$2\" 1<>\"$1\"; mkdir \"$3\"; wait", ULV_SIGNED_UPDATER, package,
         folder.at("evil.upd"), folder.windows() + "/late"},
        {"WINDIR=" + folder.windows()});
    EXPECT_EQ(swapped.errors, "");
    EXPECT_EQ(read_file(folder.windows() + "/b.txt"), "too");
    EXPECT_EQ(read_file(package), read_file(folder.at("evil.upd")));

    // The system failing is never blamed on the package: a temporary folder that cannot take the copy is named
    // as the file that could not be written. A target that is the package's own signature file is refused as
    // one that is the package itself, and the signature is not deleted with it.
    const std::string in_windows = folder.windows() + "/ulvtest.upd";
    struct failure { const char* what; std::string package; std::string contents; std::string tmpdir; std::string error; };
    const failure failures[] = {
        {"no temporary folder", package, contents, folder.at("absent"), "\xC3\xA9" "criture du fichier " + folder.at("absent")},
        {"a target named as the signature", in_windows, whole("windows/a.txt", "a") + whole("windows/ulvtest.upd.sig", "x"),
         folder.path(), "\xC3\xA9" "criture du fichier " + in_windows + ".sig"},
    };
    for (const failure& f : failures) {
        std::filesystem::remove_all(folder.windows());
        make_folder(folder.system());
        write_file(f.package, f.contents);
        ASSERT_EQ(run_process({"openssl", "dgst", "-sha256", "-sign", keys + "/vendor.key", "-out", f.package + ".sig", f.package})
                      .exit_code, 0);
        const std::string signature = read_file(f.package + ".sig");
        const process_result result =
            run_process({ULV_SIGNED_UPDATER, "-s", f.package}, {"WINDIR=" + folder.windows(), "TMPDIR=" + f.tmpdir});
        EXPECT_EQ(result.errors, "Mise-\xC3\xA0-jour d'Ulverno: Erreur : " + f.error + " impossible.\n") << f.what;
        EXPECT_EQ(read_file(f.package), f.contents) << f.what;
        EXPECT_EQ(read_file(f.package + ".sig"), signature) << f.what;
    }

    // Without a key, a signature file is neither needed nor looked at.
    write_file(package, contents);
    write_file(package + ".sig", "not a signature");
    EXPECT_EQ(run({"-s", package}).errors, "");
    EXPECT_FALSE(file_exists(package));
    EXPECT_EQ(read_file(package + ".sig"), "not a signature");
}

// A signed update never takes an installation back: an older release, none
// once the installation holds one, or a release target out of place is
// refused, with nothing written and both files kept. The updater built
// without a key installs them all, the release file as any other file.
TEST_F(posix_updater, built_with_a_key_never_takes_an_installation_back) {
    const std::string keys = ULV_TEST_KEY_DIR;
    const std::string install = folder.at("C:\\ULVERNO");
    const std::string release_file = install + "/ulvupdate.release";
    folder.write_profile("[ulvekern]\nulvedrive=C\nulvedir=ULVERNO\n");
    const auto apply = [&](const std::string& updater, const std::string& contents) {
        write_file(package, contents);
        EXPECT_EQ(run_process({"openssl", "dgst", "-sha256", "-sign", keys + "/vendor.key", "-out", package + ".sig", package})
                      .exit_code, 0);
        return run_process({updater, "-s", package}, {"WINDIR=" + folder.windows()}, folder.path()).errors;
    };
    const auto release = [](const std::string& text) { return whole("ulverno/ulvupdate.release", text); };
    const std::string says = "Mise-\xC3\xA0-jour d'Ulverno: Erreur : ";
    for (const bool keyed : {true, false}) {
        std::filesystem::remove_all(install);
        make_folder(install);
        for (const release_step& r : release_steps()) {
            const file_tree before = read_tree(install);
            const std::string errors = apply(keyed ? ULV_SIGNED_UPDATER : ULV_POSIX_UPDATER, r.bytes);
            if (keyed && !r.signed_takes) {
                EXPECT_EQ(errors, says + "fichier de mise \xC3\xA0 jour incorrect.\n") << r.what;
                EXPECT_EQ(read_tree(install), before) << r.what;
                EXPECT_EQ(read_file(package), r.bytes) << r.what;
                EXPECT_TRUE(file_exists(package + ".sig")) << r.what;
                continue;
            }
            EXPECT_EQ(errors, "") << r.what << keyed;
            EXPECT_FALSE(file_exists(package)) << r.what << keyed;
            file_tree after = before;
            after["a.txt"] = r.what;
            if (r.release != nullptr) after["ulvupdate.release"] = r.release;
            EXPECT_EQ(read_tree(install), after) << r.what << keyed;
        }
    }

    // Whatever stops a release midway (here a name longer than a file system stores, in a classic package; on
    // Windows a release file held open meanwhile), the installation holds it already: an older one is refused.
    std::filesystem::remove_all(install);
    make_folder(install);
    write_file(release_file, "5\n");
    const std::string too_long = "ulverno/" + std::string(300, 'x');
    EXPECT_EQ(apply(ULV_SIGNED_UPDATER, whole("ulverno/a.txt", "7") + whole(too_long, "") + release("7\n")),
              says + "\xC3\xA9" "criture du fichier C:\\ULVERNO/" + too_long.substr(8) + " impossible.\n");
    EXPECT_EQ(read_file(release_file), "7\n");
    EXPECT_EQ(apply(ULV_SIGNED_UPDATER, whole("ulverno/a.txt", "6") + release("6\n")),
              says + "fichier de mise \xC3\xA0 jour incorrect.\n");
    EXPECT_EQ(read_file(install + "/a.txt"), "7");

    // An installed release file that cannot be read is said as such; one that holds no number (cut short by a
    // power cut, say) counts as none.
    struct installed { const char* what; std::function<void()> make; std::string error; };
    const installed installations[] = {
        {"a FIFO", [&] { ASSERT_EQ(mkfifo(release_file.c_str(), 0600), 0); },
         says + "ouverture de C:\\ULVERNO/ulvupdate.release impossible.\n"},
        {"a folder", [&] { make_folder(release_file); }, says + "ouverture de C:\\ULVERNO/ulvupdate.release impossible.\n"},
        {"a release cut short", [&] { write_file(release_file, "9"); }, ""},
    };
    for (const installed& i : installations) {
        std::filesystem::remove_all(install);
        make_folder(install);
        i.make();
        const std::string contents = whole("ulverno/a.txt", "8") + release("8\n");
        EXPECT_EQ(apply(ULV_SIGNED_UPDATER, contents), i.error) << i.what;
        EXPECT_EQ(file_exists(install + "/a.txt"), i.error.empty()) << i.what;
        EXPECT_EQ(file_exists(package) && file_exists(package + ".sig"), !i.error.empty()) << i.what;
        if (i.error.empty()) {
            EXPECT_EQ(read_file(release_file), "8\n");
        }
    }
}
#endif
