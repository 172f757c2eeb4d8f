// A release tree, packed by ulvpack on Linux, installed by the real updater.
#include "wine_bench.h"

#include "notify/messages.h"
#include "support/package_bytes.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
