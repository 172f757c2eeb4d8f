// The real updater under Wine, started with exact command lines.
#include "wine_bench.h"

#include "notify/messages.h"
#include "package/record_encoder.h"
#include "support/package_bytes.h"
#include "support/package_cases.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string updater = "C:\\ulvbench\\ulvupdate.exe";
const std::string package = "C:\\ulvbench\\p.upd";
const std::string finished = text_update_finished;
const std::string no_package = text_no_package;
const std::string malformed = text_package_malformed;

class wine_updater : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(drive_c() + "/ulvtest");
        make_folder(drive_c() + "/ulvtest/install");
        write_file(drive_c() + "/windows/ulverno.ini", "[ulvekern]\r\nulvedrive=C\r\nulvedir=ulvtest\\install\r\n");
        write_file(package_file(), whole("windows/ulvtest-a.txt", "a"));
    }
    static std::string package_file() { return programs_folder() + "/p.upd"; }
    static std::string in_windows(const std::string& rest) { return drive_c() + "/windows/" + rest; }

    // Runs the updater with `tail` after its name; the exit code is always 0.
    static bench_run run(const std::string& tail, const bench_options& options = {}) {
        bench_run result = run_in_bench(updater + " " + tail, options);
        EXPECT_FALSE(result.timed_out) << result.transcript;
        EXPECT_EQ(result.exit_code, 0) << result.transcript;
        return result;
    }
    static std::vector<std::string> texts(const bench_run& run) {
        std::vector<std::string> out;
        for (const seen_box& box : run.boxes) {
            EXPECT_EQ(box.caption, message_caption);
            EXPECT_EQ(box.buttons, "1");
            out.push_back(box.text);
        }
        return out;
    }
};

}  // namespace

// The install folder as ulverno.ini names it: however long, and in UTF-8 as
// Notepad saves it (with or without its byte order mark), whatever the
// system's code page.
TEST_F(wine_updater, installs_into_the_three_roots_of_the_prefix) {
    const std::string long_folder = std::string(97, 'A');
    const std::string utf8_ini = "[ulvekern]\r\nulvedrive=C\r\nulvedir=ulvtest\\Ulvérno\r\n";
    struct row { std::string ini; std::string folder; const char* locale; };
    const row rows[] = {
        {"[ulvekern]\r\nulvedrive=C\r\nulvedir=ulvtest\\install\r\n", "ulvtest/install", ""},
        {"[ulvekern]\r\nulvedrive=C\r\nulvedir=" + long_folder + "\\sub\r\n", long_folder + "/sub", ""},
        {utf8_ini, "ulvtest/Ulvérno", ""},
        {utf8_ini, "ulvtest/Ulvérno", "ru_RU.UTF-8"},
        {"\xEF\xBB\xBF" + utf8_ini, "ulvtest/Ulvérno", "ru_RU.UTF-8"},
    };
    for (const row& r : rows) {
        bench_options options;
        options.locale = r.locale;
        write_file(drive_c() + "/windows/ulverno.ini", r.ini);
        write_file(package_file(), whole("ulverno/bin.txt", "install") + whole("windows/ulvtest-w.txt", "windows") +
                                       whole("windows_system/ulvtest-s.txt", "system"));
        make_folder(drive_c() + "/" + r.folder);
        const bench_run result = run("-s " + package, options);
        EXPECT_TRUE(texts(result).empty()) << result.transcript;
        EXPECT_EQ(read_tree(drive_c() + "/" + r.folder), (file_tree{{"bin.txt", "install"}})) << r.folder;
        EXPECT_EQ(read_file(in_windows("ulvtest-w.txt")), "windows");
        EXPECT_EQ(read_file(in_windows("system32/ulvtest-s.txt")), "system");
        EXPECT_FALSE(file_exists(package_file()));
        std::filesystem::remove(drive_c() + "/" + r.folder + "/bin.txt");
    }
    std::filesystem::remove_all(drive_c() + "/" + long_folder);
}

TEST_F(wine_updater, shows_the_completion_notice_and_ignores_options_after_the_path) {
    const bench_run result = run(package + " -s");
    EXPECT_EQ(texts(result), std::vector<std::string>{finished});
    EXPECT_EQ(read_file(in_windows("ulvtest-a.txt")), "a");
    EXPECT_FALSE(file_exists(package_file()));
}

TEST_F(wine_updater, starts_the_follow_up_program_instead_of_the_notice) {
    const std::string marker = programs_folder() + "/marker.exe.ran";
    std::filesystem::remove(marker);
    const bench_run result = run("-X C:\\ulvbench\\marker.exe " + package);
    EXPECT_TRUE(texts(result).empty()) << result.transcript;
    for (long i = 0; i < 250 * time_factor && !file_exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(file_exists(marker));
    EXPECT_FALSE(file_exists(package_file()));
}

TEST_F(wine_updater, reports_a_follow_up_program_that_cannot_start) {
    const bench_run result = run("-X C:\\ulvbench\\absent.exe " + package);
    EXPECT_EQ(texts(result), std::vector<std::string>{"Erreur : exécution de C:\\ulvbench\\absent.exe impossible."});
    EXPECT_FALSE(file_exists(package_file()));
}

// Whatever the system's code page: names install as the package spells them
// (code page 1252), a package, a follow-up program and an install folder are
// found under names the code page cannot spell or spells in its own bytes
// (ulverno.ini is written in it), and the boxes read right.
TEST_F(wine_updater, is_right_under_any_system_code_page) {
    struct row {
        const char* locale;
        std::string folder_in_code_page;  // ulvedir, in the system code page
        std::string folder;                // the same folder, as the file system names it
        std::string package;               // names of files in C:\ulvbench that the code page cannot spell
        std::string follow_up;
    };
    const row rows[] = {
        {"ru_RU.UTF-8", "\xD3\xEB\xFC\xE2\xE5\xF0\xED\xEE", "Ульверно", "更新é.upd", "suite-更新.exe"},
        {"el_GR.UTF-8", "\xC5\xED\xE7\xEC\xDD\xF1\xF9\xF3\xE7", "Ενημέρωση", "更新é.upd", "suite-Ульверно.exe"},
        {"ja_JP.UTF-8", "\x83\x86\x83\x8B\x83\x78\x83\x8B\x83\x6D", "ユルベルノ", "mise-à-jour-é.upd", "suite-é€.exe"},
    };
    const std::string contents = whole("ulverno/\xE9.txt", "accent") + whole("windows/\xDCn\xEF" "c\xF6" "d\xE9 \x80.txt", "euro");
    for (const row& r : rows) {
        bench_options options;
        options.locale = r.locale;
        const std::string install = drive_c() + "/ulvtest/" + r.folder;
        make_folder(install);
        write_file(drive_c() + "/windows/ulverno.ini", "[ulvekern]\r\nulvedrive=C\r\nulvedir=ulvtest\\" + r.folder_in_code_page + "\r\n");
        write_file(programs_folder() + "/" + r.package, contents);
        std::filesystem::copy_file(programs_folder() + "/marker.exe", programs_folder() + "/" + r.follow_up,
                                   std::filesystem::copy_options::overwrite_existing);

        const std::string windows_package = "C:\\ulvbench\\" + r.package;
        EXPECT_EQ(texts(run(windows_package, options)), std::vector<std::string>{finished}) << r.locale;
        EXPECT_EQ(read_file(install + "/é.txt"), "accent") << r.locale;
        EXPECT_EQ(read_file(in_windows("Ünïcödé €.txt")), "euro") << r.locale;
        EXPECT_FALSE(file_exists(programs_folder() + "/" + r.package)) << r.locale;

        write_file(programs_folder() + "/" + r.package, contents);
        const std::string marker = programs_folder() + "/" + r.follow_up + ".ran";
        std::filesystem::remove(marker);
        EXPECT_TRUE(texts(run("-X C:\\ulvbench\\" + r.follow_up + " " + windows_package, options)).empty()) << r.locale;
        for (long i = 0; i < 250 * time_factor && !file_exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(file_exists(marker) ? read_file(marker) : "", "C:\\ulvbench\\" + r.follow_up) << r.locale;

        EXPECT_EQ(texts(run(windows_package, options)),
                  std::vector<std::string>{"Erreur : ouverture de " + windows_package + " impossible."}) << r.locale;
        std::filesystem::remove(in_windows("Ünïcödé €.txt"));
    }
}

TEST_F(wine_updater, reads_the_command_line_as_words_between_spaces) {
    struct row { std::string tail; std::string text; bool applied; };
    const row rows[] = {
        {"", no_package, false},
        {"-X", no_package, false},
        {"-s -X", no_package, false},
        {"-x " + package, "Erreur : ouverture de -x impossible.", false},
        {"-s\t" + package, "Erreur : ouverture de -s\t" + package + " impossible.", false},
        {"   -s    " + package + "   ", "", true},
    };
    for (const row& r : rows) {
        write_file(package_file(), whole("windows/ulvtest-a.txt", "a"));
        const bench_run result = run(r.tail);
        EXPECT_EQ(texts(result), r.text.empty() ? std::vector<std::string>{} : std::vector<std::string>{r.text}) << r.tail;
        EXPECT_EQ(file_exists(package_file()), !r.applied) << r.tail;
    }
}

TEST_F(wine_updater, finds_the_tail_after_the_program_name_however_it_is_written) {
    bench_options named;
    named.module = updater;
    for (const std::string& line : {"  \t " + updater + " -s " + package, "\"" + updater + "\"-s " + package}) {
        write_file(package_file(), whole("windows/ulvtest-a.txt", "tail"));
        const bench_run result = run_in_bench(line, named);
        EXPECT_EQ(result.exit_code, 0) << result.transcript;
        EXPECT_TRUE(texts(result).empty()) << line << "\n" << result.transcript;
        EXPECT_EQ(read_file(in_windows("ulvtest-a.txt")), "tail") << line;
        EXPECT_FALSE(file_exists(package_file())) << line;
    }
}

TEST_F(wine_updater, waits_for_a_target_held_by_another_program) {
    write_file(package_file(), whole("windows/ulvtest-held.txt", "written"));
    bench_options hold;
    hold.hold_path = "C:\\windows\\ulvtest-held.txt";
    hold.hold_ms = 500;
    const bench_run result = run("-s " + package, hold);
    EXPECT_TRUE(texts(result).empty()) << result.transcript;
    EXPECT_EQ(read_file(in_windows("ulvtest-held.txt")), "written");
    EXPECT_GE(result.elapsed_ms, 600);  // the hold, and the pause after the attempt that succeeds
    EXPECT_LT(result.elapsed_ms, 5000 * time_factor);
    std::filesystem::remove(in_windows("ulvtest-held.txt"));
}

// From its first read to its deletion, no other program can write or delete
// the package, classic or protected: what is installed is what was read.
TEST_F(wine_updater, holds_the_package_so_that_no_other_program_changes_it) {
    const std::vector<std::pair<std::string, std::string>> targets = {{"windows/ulvtest-a.txt", "a"},
                                                                      {"windows/ulvtest-held.txt", "held"}};
    for (const bool protect : {false, true}) {
        std::filesystem::remove(in_windows("ulvtest-a.txt"));
        write_file(package_file(), protect ? protected_package(targets) : whole(targets[0].first, "a") + whole(targets[1].first, "held"));
        bench_options intruder;
        intruder.hold_path = "C:\\windows\\ulvtest-held.txt";  // keeps the updater at its second target
        intruder.hold_ms = 60000;
        intruder.intrude_when = "C:\\windows\\ulvtest-a.txt";
        intruder.intrude_on = package;
        const bench_run result = run("-s " + package, intruder);
        EXPECT_EQ(result.intrusion_write_error, 32) << result.transcript;  // ERROR_SHARING_VIOLATION
        EXPECT_EQ(result.intrusion_delete_error, 32) << result.transcript;
        EXPECT_TRUE(texts(result).empty()) << result.transcript;
        EXPECT_EQ(read_file(in_windows("ulvtest-a.txt")), "a");
        EXPECT_EQ(read_file(in_windows("ulvtest-held.txt")), "held");
        EXPECT_FALSE(file_exists(package_file()));
        std::filesystem::remove(in_windows("ulvtest-held.txt"));
    }
}

TEST_F(wine_updater, gives_up_on_a_missing_directory_after_about_15_seconds) {
    write_file(package_file(), whole("windows/ulvtest-a.txt", "a") + whole("windows/ulvtest-missing/x.dll", "x"));
    const bench_run result = run("-s " + package);
    EXPECT_EQ(texts(result),
              std::vector<std::string>{"Erreur : écriture du fichier C:\\windows/ulvtest-missing/x.dll impossible."});
    EXPECT_GE(result.elapsed_ms, 14900);
    EXPECT_LT(result.elapsed_ms, 30000 * time_factor);
    EXPECT_TRUE(file_exists(package_file()));
}

TEST_F(wine_updater, reports_a_missing_or_empty_package) {
    const bench_run missing = run("C:\\ulvbench\\absent.upd");
    EXPECT_EQ(texts(missing), std::vector<std::string>{"Erreur : ouverture de C:\\ulvbench\\absent.upd impossible."});

    write_file(package_file(), "");
    const bench_run empty = run(package);
    EXPECT_EQ(texts(empty), std::vector<std::string>{malformed});
    EXPECT_TRUE(file_exists(package_file()));
}

TEST_F(wine_updater, checks_long_records_against_what_the_package_holds) {
    const std::string big(200000, 'b');  // one record past the size read without a check
    write_file(package_file(), whole("windows/ulvtest-big.bin", big));
    EXPECT_TRUE(texts(run("-s " + package)).empty());
    EXPECT_EQ(read_file(in_windows("ulvtest-big.bin")), big);

    write_file(package_file(), encode_varint(268435455) + "abcdefgh");  // 256 MiB claimed by 12 bytes
    EXPECT_EQ(texts(run(package)), std::vector<std::string>{malformed});
    EXPECT_TRUE(file_exists(package_file()));
}

TEST_F(wine_updater, refuses_names_that_lead_out_of_their_root_or_to_no_file) {
    for (const char* name : {"ulverno/..\\escaped.txt", "windows/NUL", "windows/sub/con.txt", "windows/ulvtest-a.txt:hidden",
                             "windows/ulvtest-b?.txt", "windows/ulvtest-b\x1F.txt"}) {
        const std::string contents = whole("windows/ulvtest-a.txt", "a") + whole(name, "x");
        write_file(package_file(), contents);
        const bench_run result = run(package);
        EXPECT_EQ(texts(result), std::vector<std::string>{malformed}) << name;
        EXPECT_FALSE(file_exists(drive_c() + "/ulvtest/escaped.txt"));
        EXPECT_EQ(read_file(in_windows("ulvtest-a.txt")), "a");
        EXPECT_EQ(read_file(package_file()), contents) << name;
    }
    // A protected package is refused whole, and at once: no 15 s of attempts at a name no file can have.
    std::filesystem::remove(in_windows("ulvtest-a.txt"));
    const std::string reserved_last = protected_package({{"windows/ulvtest-a.txt", "a"}, {"windows/ulvtest-b|.txt", "b"}});
    write_file(package_file(), reserved_last);
    const bench_run at_once = run(package);
    EXPECT_EQ(texts(at_once), std::vector<std::string>{malformed});
    EXPECT_LT(at_once.elapsed_ms, 5000 * time_factor);
    EXPECT_FALSE(file_exists(in_windows("ulvtest-a.txt")));
    EXPECT_EQ(read_file(package_file()), reserved_last);
}

// A path longer than Windows opens without long-path support gets no 15 s of
// attempts: a protected package is refused before anything is written, a
// classic one at that target's turn.
TEST_F(wine_updater, reports_a_path_too_long_to_open_at_once) {
    // C:\windows/ and this: 274 characters, each component within what a file system stores
    const std::string name = "ulvtest-" + std::string(130, 'n') + "/" + std::string(120, 'n') + ".txt";
    for (const bool protect : {true, false}) {
        std::filesystem::remove(in_windows("ulvtest-a.txt"));
        const std::string contents = protect ? protected_package({{"windows/ulvtest-a.txt", "a"}, {"windows/" + name, "x"}})
                                             : whole("windows/ulvtest-a.txt", "a") + whole("windows/" + name, "x");
        write_file(package_file(), contents);
        const bench_run result = run(package);
        EXPECT_EQ(texts(result), std::vector<std::string>{"Erreur : \xC3\xA9" "criture du fichier C:\\windows/" + name + " impossible."});
        EXPECT_LT(result.elapsed_ms, 5000 * time_factor);
        EXPECT_EQ(file_exists(in_windows("ulvtest-a.txt")), !protect);
        EXPECT_EQ(read_file(package_file()), contents);
    }
}

TEST_F(wine_updater, refuses_to_write_the_package_over_itself) {
    const std::string contents = whole("windows/ulvtest-a.txt", "a") + whole("windows/ulvtest-self.upd", "x") +
                                 whole("windows/ulvtest-b.txt", "b");
    write_file(in_windows("ulvtest-self.upd"), contents);
    const bench_run result = run("C:\\windows\\ulvtest-self.upd");
    EXPECT_EQ(texts(result),
              std::vector<std::string>{"Erreur : écriture du fichier C:\\windows/ulvtest-self.upd impossible."});
    EXPECT_EQ(read_file(in_windows("ulvtest-self.upd")), contents);
    EXPECT_FALSE(file_exists(in_windows("ulvtest-b.txt")));
}

// The product built with the tests' key, under Windows' own cryptography.
TEST_F(wine_updater, built_with_a_key_applies_only_signed_packages) {
    const std::string keys = ULV_TEST_KEY_DIR;
    const std::string signed_updater = "C:\\ulvbench\\ulvupdate_signed.exe -s " + package;
    const std::string contents = whole("windows/ulvtest-signed.txt", "signed");
    for (const bool tampered : {true, false}) {
        write_file(package_file(), contents);
        ASSERT_EQ(run_process({"openssl", "dgst", "-sha256", "-sign", keys + "/vendor.key", "-out", package_file() + ".sig",
                               package_file()}).exit_code, 0);
        const std::string signature = read_file(package_file() + ".sig");
        if (tampered) write_file(package_file(), whole("windows/ulvtest-signed.txt", "Signed"));
        // The package is installed from itself, held unchanged: a temporary folder, even a missing one, plays no part.
        bench_options no_temporary_folder;
        no_temporary_folder.environment = {"TEMP=C:\\ulvtest-absent", "TMP=C:\\ulvtest-absent"};
        const bench_run result = run_in_bench(signed_updater, no_temporary_folder);
        EXPECT_EQ(result.exit_code, 0) << result.transcript;
        if (tampered) {
            EXPECT_EQ(texts(result), std::vector<std::string>{malformed});
            EXPECT_FALSE(file_exists(in_windows("ulvtest-signed.txt")));
            EXPECT_EQ(read_file(package_file() + ".sig"), signature);
            EXPECT_TRUE(file_exists(package_file()));
        } else {
            EXPECT_TRUE(texts(result).empty()) << result.transcript;
            EXPECT_EQ(read_file(in_windows("ulvtest-signed.txt")), "signed");
            EXPECT_FALSE(file_exists(package_file()));
            EXPECT_FALSE(file_exists(package_file() + ".sig"));
        }
    }
}

// The product built with the tests' key never takes an installation back: an
// older release, none once the installation holds one, or a release target
// in the middle is refused with nothing written; the product without a key
// installs them all, the release file as any other file.
TEST_F(wine_updater, built_with_a_key_never_takes_an_installation_back) {
    const std::string keys = ULV_TEST_KEY_DIR;
    const std::string install = drive_c() + "/ulvtest/install";
    for (const bool keyed : {true, false}) {
        std::filesystem::remove_all(install);
        make_folder(install);
        for (const release_step& r : release_steps()) {
            const file_tree before = read_tree(install);
            write_file(package_file(), r.bytes);
            ASSERT_EQ(run_process({"openssl", "dgst", "-sha256", "-sign", keys + "/vendor.key", "-out", package_file() + ".sig",
                                   package_file()}).exit_code, 0);
            const bench_run result = run_in_bench((keyed ? "C:\\ulvbench\\ulvupdate_signed.exe" : updater) + " -s " + package);
            EXPECT_EQ(result.exit_code, 0) << result.transcript;
            if (keyed && !r.signed_takes) {
                EXPECT_EQ(texts(result), std::vector<std::string>{malformed}) << r.what;
                EXPECT_EQ(read_tree(install), before) << r.what;
                EXPECT_EQ(read_file(package_file()), r.bytes) << r.what;
                EXPECT_TRUE(file_exists(package_file() + ".sig")) << r.what;
                continue;
            }
            EXPECT_TRUE(texts(result).empty()) << r.what << "\n" << result.transcript;
            EXPECT_FALSE(file_exists(package_file())) << r.what;
            file_tree after = before;
            after["a.txt"] = r.what;
            if (r.release != nullptr) after["ulvupdate.release"] = r.release;
            EXPECT_EQ(read_tree(install), after) << r.what << keyed;
        }
    }
}
