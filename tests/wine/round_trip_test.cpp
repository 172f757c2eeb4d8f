// A release tree, packed by ulvpack on Linux, installed by the real updater;
// ulvpack.exe extracting below a folder in which links are planted.
#include "wine_bench.h"

#include "notify/messages.h"
#include "support/package_bytes.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

TEST(wine_round_trip, installs_a_packed_tree_byte_for_byte) {
    const file_tree install = {
        {"bin/ulverno.dll", every_byte_value(9000)},
        {"bin/exactly-one-piece.dat", every_byte_value(4096)},
        {"bin/one-piece-and-a-byte.dat", every_byte_value(4097)},
        {"doc/caf\xC3\xA9.txt", "accented name\n"},  // UTF-8 on disk, code page 1252 in the package
        {"doc/empty.txt", ""},
    };
    scratch_folder folder;
    write_tree(folder.at("tree/ulverno"), install);
    write_tree(folder.at("tree/windows"), {{"ulvtest-rt.ini", "[x]\r\n"}});
    const std::string package = programs_folder() + "/release.upd";
    const process_result packed = run_process({ULV_PACK_TOOL, "create", "-o", package, "--piece-size", "4K",
                                               "ulverno=" + folder.at("tree/ulverno"), "windows=" + folder.at("tree/windows")});
    ASSERT_EQ(packed.exit_code, 0) << packed.errors;

    // In an administrator's console, ulvpack.exe writes UTF-8 and then gives the console its code page back.
    bench_options console;
    console.console_code_page = 850;
    const bench_run verified = run_in_bench("C:\\ulvbench\\ulvpack.exe verify C:\\ulvbench\\release.upd", console);
    EXPECT_EQ(verified.exit_code, 0) << "ulvpack.exe verify" << verified.transcript;
    EXPECT_EQ(verified.console_code_page, 850u) << verified.transcript;

    std::filesystem::remove_all(drive_c() + "/ulvtest-rt");
    for (const char* sub : {"/ulvtest-rt/bin", "/ulvtest-rt/doc"}) make_folder(drive_c() + sub);
    write_file(drive_c() + "/windows/ulverno.ini", "[ulvekern]\r\nulvedrive=C\r\nulvedir=ulvtest-rt\r\n");

    // A download cut short: the package is protected, so nothing of it is installed.
    const std::string whole_package = read_file(package);
    write_file(package, whole_package.substr(0, whole_package.size() * 2 / 3));
    const bench_run cut = run_in_bench("C:\\ulvbench\\ulvupdate.exe -s C:\\ulvbench\\release.upd");
    ASSERT_EQ(cut.boxes.size(), 1u) << cut.transcript;
    EXPECT_EQ(cut.boxes[0].text, text_package_malformed);
    EXPECT_EQ(read_tree(drive_c() + "/ulvtest-rt"), file_tree{});
    EXPECT_EQ(read_file(package), whole_package.substr(0, whole_package.size() * 2 / 3));

    write_file(package, whole_package);
    const bench_run applied = run_in_bench("C:\\ulvbench\\ulvupdate.exe -s C:\\ulvbench\\release.upd");
    EXPECT_EQ(applied.exit_code, 0);
    EXPECT_TRUE(applied.boxes.empty()) << applied.transcript;
    EXPECT_FALSE(file_exists(package));
    EXPECT_EQ(read_tree(drive_c() + "/ulvtest-rt"), install);
    EXPECT_EQ(read_file(drive_c() + "/windows/ulvtest-rt.ini"), "[x]\r\n");
}

// Wine shows a Unix link in its drive as a reparse point when it lists a
// folder, but follows it when asked to open it as itself, and cannot make
// Windows links or junctions: the links are planted from the Unix side.
TEST(wine_round_trip, extract_writes_nothing_outside_dir_through_a_planted_link) {
    const std::string bench = drive_c() + "/ulvtest-x";
    const std::string outside = bench + "/outside";
    std::string targets;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt", "g.txt", "h.txt"}) {
        targets += whole(std::string("windows/sub/") + name, "new");
    }
    write_file(programs_folder() + "/x.upd", targets);
    // DIR/windows/sub, with `link` (below DIR) leading to `to`.
    const auto plant = [&](const std::string& link, const std::string& to) {
        std::filesystem::remove_all(bench);
        write_tree(outside, {{"a.txt", "outside"}});
        make_folder(bench + "/DIR/windows" + (link == "windows/sub" ? "" : "/sub"));
        std::filesystem::create_symlink(to, bench + "/DIR/" + link);
    };
    const auto extract = [](const std::string& force) {
        std::vector<std::string> arguments = {"C:\\ulvbench\\ulvpack.exe", "extract", "C:\\ulvbench\\x.upd", "C:\\ulvtest-x\\DIR"};
        if (!force.empty()) arguments.insert(arguments.begin() + 2, force);
        return run_under_wine(arguments);
    };
    const file_tree untouched = {{"a.txt", "outside"}};

    // A link left in place, of the folder or of the file itself.
    struct row { std::string link; std::string to; std::string force; const char* says; };
    const row rows[] = {
        {"windows/sub", outside, "", "DIR\\windows\\sub: it is a link or not a folder"},
        {"windows/sub", outside, "--force", "DIR\\windows\\sub: it is a link or not a folder"},
        {"windows/sub", outside + "/absent", "", "DIR\\windows\\sub: "},
        {"windows/sub/a.txt", outside + "/a.txt", "--force", "DIR\\windows\\sub\\a.txt: it is a link"},
    };
    for (const row& r : rows) {
        plant(r.link, r.to);
        const process_result result = extract(r.force);
        EXPECT_EQ(result.exit_code, 2) << r.link << " " << r.force;
        EXPECT_NE(result.errors.find(r.says), std::string::npos) << result.errors;
        EXPECT_EQ(read_tree(outside), untouched) << r.link << " " << r.force;
        EXPECT_FALSE(std::filesystem::exists(outside + "/absent"));
    }

    // A link swapped in for the folder and out again while files are written:
    // whatever each extraction finds in between, no file lands outside DIR.
    std::atomic<bool> swapping{true};
    std::atomic<long> swaps{0};
    for (int run = 0; run < 25; ++run) {
        plant("windows/other", outside);
        const int windows = open((bench + "/DIR/windows").c_str(), O_RDONLY | O_DIRECTORY);
        swapping = true;
        std::thread swapper([&] {
            while (swapping && renameat2(windows, "sub", windows, "other", RENAME_EXCHANGE) == 0) ++swaps;
        });
        extract("");
        swapping = false;
        swapper.join();
        close(windows);
        EXPECT_EQ(read_tree(outside), untouched) << "run " << run;
    }
    EXPECT_GT(swaps, 1000) << "the link was not swapped in and out";
    std::filesystem::remove_all(bench);
}
