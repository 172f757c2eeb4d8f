// The package tool, as release engineers use it, and against the updater.
#include "package_scan.h"
#include "system/tool_system.h"

#include "package/apply_package.h"
#include "package/varint.h"
#include "package/record_encoder.h"
#include "support/package_bytes.h"
#include "support/package_cases.h"
#include "support/process.h"
#include "support/recording_user.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

process_result ulvpack(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), ULV_PACK_TOOL);
    return run_process(arguments);
}

// The tree of a release: nested folders, empty files, files of one piece and
// one byte more, every byte value, and an accented name (UTF-8 on disk).
file_tree release_tree() {
    return {
        {"ulverno/bin/ulverno.dll", every_byte_value(10000)},
        {"ulverno/bin/exactly-one-piece.dat", every_byte_value(4096)},
        {"ulverno/bin/one-piece-and-a-byte.dat", every_byte_value(4097)},
        {"ulverno/doc/caf\xC3\xA9.txt", "accented name\n"},
        {"ulverno/doc/empty.txt", ""},
        {"ulverno/a/b/c/deep.txt", "deep\n"},
        {"windows/ulvtest.ini", "[x]\r\ny=1\r\n"},
        {"windows_system/ulvtest.dll", every_byte_value(256)},
    };
}

std::vector<std::string> sources_of(const std::string& tree) {
    return {"ulverno=" + tree + "/ulverno", "windows=" + tree + "/windows", "windows_system=" + tree + "/windows_system"};
}

}  // namespace

TEST(ulvpack_create, writes_a_classic_three_byte_target_byte_for_byte) {
    scratch_folder folder;
    write_file(folder.at("a.txt"), "abc");
    const process_result result =
        ulvpack({"create", "--plain", "-o", folder.at("a.upd"), "windows/a.txt=" + folder.at("a.txt")});
    ASSERT_EQ(result.exit_code, 0) << result.errors;
    EXPECT_NE(ulvpack({"verify", folder.at("a.upd")}).errors.find("integrity: none (classic package)"), std::string::npos);
    EXPECT_EQ(read_file(folder.at("a.upd")),
              std::string("\x18\x00\x00\x00windows/a.txt\0\x03\x00\x03" "abc", 24));
    EXPECT_NE(result.errors.find("1 target, 3 bytes"), std::string::npos) << result.errors;

    // A name stored decomposed (e and a combining acute) is packed as the letter of the code page.
    ASSERT_EQ(ulvpack({"create", "--plain", "-o", folder.at("e.upd"), "windows/e\xCC\x81.txt=" + folder.at("a.txt")}).exit_code, 0);
    EXPECT_NE(read_file(folder.at("e.upd")).find("windows/\xE9.txt"), std::string::npos);
}

TEST(ulvpack_create, protects_a_package_so_that_no_damage_gets_installed) {
    scratch_folder folder;
    const std::string b = every_byte_value(300);
    write_tree(folder.at("tree"), {{"a.txt", "first"}, {"b.bin", b}, {"c.txt", ""}});
    const std::string path = folder.at("p.upd");
    ASSERT_EQ(ulvpack({"create", "--piece-size", "100", "-o", path, "windows=" + folder.at("tree")}).exit_code, 0);
    const std::string whole_package = read_file(path);
    EXPECT_NE(ulvpack({"verify", path}).errors.find("integrity: version 3,"), std::string::npos);
    for (const int version : {1, 2}) {  // as made by earlier releases
        write_file(folder.at("old.upd"), protected_package({{"windows/a.txt", "a"}}, version));
        EXPECT_NE(ulvpack({"verify", folder.at("old.upd")}).errors.find("integrity: version " + std::to_string(version) + ","),
                  std::string::npos);
    }
    // Another release of the same names and sizes, so of the same length, every record's bytes but the last
    // target's different.
    write_tree(folder.at("tree 2"), {{"a.txt", "FIRST"}, {"b.bin", std::string(b.rbegin(), b.rend())}, {"c.txt", ""}});
    ASSERT_EQ(ulvpack({"create", "--piece-size", "100", "-o", folder.at("p2.upd"), "windows=" + folder.at("tree 2")}).exit_code, 0);
    const std::string release_2 = read_file(folder.at("p2.upd"));
    ASSERT_EQ(release_2.size(), whole_package.size());

    // Every cut point, an extension, a bit flipped in every byte (names, header fields, the pieces of the last
    // target), the two releases spliced at every record boundary (a download resumed after the file was
    // replaced), and names Windows cannot store or that name folders: each is refused whole, before anything is
    // written.
    std::vector<std::string> damaged = {whole_package + "x", whole_package + whole_package};
    for (size_t cut = 1; cut < whole_package.size(); ++cut) damaged.push_back(whole_package.substr(0, cut));
    for (size_t at = 0; at < whole_package.size(); ++at) {
        damaged.push_back(whole_package);
        damaged.back()[at] ^= 0x02;
    }
    uint32_t length = 0;
    for (size_t at = 0; at < whole_package.size(); at += length) {
        ASSERT_TRUE(decode_varint(reinterpret_cast<const unsigned char*>(whole_package.data()) + at, 4, length));
        if (at == 0) continue;
        damaged.push_back(whole_package.substr(0, at) + release_2.substr(at));
        damaged.push_back(release_2.substr(0, at) + whole_package.substr(at));
    }
    ASSERT_EQ(damaged.size(), 2 + 2 * whole_package.size() - 1 + 2 * 4);  // 5 records, 4 boundaries
    write_file(folder.at("spliced.upd"), damaged.back());
    const std::string said = ulvpack({"verify", folder.at("spliced.upd")}).errors;
    EXPECT_NE(said.find("error: record 5 at byte "), std::string::npos) << said;
    EXPECT_NE(said.find("continued from the record before (stored "), std::string::npos) << said;
    // (and folders, and a component longer than a file system stores)
    for (const std::string& reserved :
         std::vector<std::string>{"<", ">", "\"", "|", "?", "*", "\x01", "\x1F", "/", "\\.", "/ ", std::string(255, 'b')}) {
        damaged.push_back(protected_package({{"windows/a.txt", "first"}, {"windows/b" + reserved, "b"}}));
    }
    // A file where another name needs a folder, either way round, as Windows compares names.
    damaged.push_back(protected_package({{"windows/a.txt", "first"}, {"windows/A.TXT /b", "b"}}));
    damaged.push_back(protected_package({{"windows/d/e.txt", "e"}, {"windows/D. ", "d"}}));
    for (size_t i = 0; i < damaged.size(); ++i) {
        reset_recording();
        write_file(path, damaged[i]);
        EXPECT_EQ(apply_package(path.c_str()), 0) << i;
        EXPECT_EQ(recorded().boxes.size(), 1u) << i;
        EXPECT_EQ(recorded().pauses.size(), 0u) << i;
        EXPECT_EQ(read_tree(folder.windows()), file_tree{}) << i;
        EXPECT_EQ(read_file(path), damaged[i]) << i;
        if (i % 23 == 0 || i + 8 >= damaged.size()) {  // extract refuses them whole too
            EXPECT_EQ(ulvpack({"extract", path, folder.at("out")}).exit_code, 1) << i;
            EXPECT_FALSE(file_exists(folder.at("out"))) << i;
        }
    }
    write_file(path, whole_package);
    EXPECT_EQ(apply_package(path.c_str()), 1);
    EXPECT_EQ(read_tree(folder.windows()), (file_tree{{"a.txt", "first"}, {"b.bin", b}, {"c.txt", ""}}));

    // A package that shrinks to its first record while the first target waits for its folder: only the
    // declared end is an end.
    for (const char* name : {"a.txt", "b.bin", "c.txt"}) std::filesystem::remove(folder.windows() + "/" + name);
    const std::string late = protected_package({{"windows/late/a.txt", "a"}, {"windows/b.txt", "b"}, {"windows/c.txt", "c"}});
    write_file(path, late);
    const std::string first_record = late.substr(0, late.find("windows/b.txt") - 7);
    reset_recording();
    recorded().on_pause = [&](size_t pauses) {
        if (pauses == 2) std::filesystem::resize_file(path, first_record.size());
        if (pauses == 3) make_folder(folder.windows() + "/late");
    };
    EXPECT_EQ(apply_package(path.c_str()), 0);
    EXPECT_EQ(recorded().boxes.size(), 1u);
    EXPECT_EQ(read_file(path), first_record);
    EXPECT_EQ(read_tree(folder.windows()), (file_tree{{"late/a.txt", "a"}}));
}

TEST(ulvpack_create, leaves_out_as_it_was_unless_the_whole_package_is_written) {
    scratch_folder folder;
    const std::string source = "ulverno/f=" + folder.at("f");
    const std::string out = folder.at("out.upd");
    write_file(folder.at("f"), std::string(100000, 'x'));
    write_file(folder.at("victim"), "victim");
    ASSERT_EQ(symlink(folder.at("victim").c_str(), (out + ".partial").c_str()), 0);  // a link planted beside OUT
    write_file(out, "old package");

    // The disk fills up: a file size limit makes a write fall short.
    const process_result limited = run_process({"sh", "-c", "ulimit -f 20; exec \"$0\" \"$@\"", ULV_PACK_TOOL,
                                                "create", "-o", out, source});
    EXPECT_EQ(limited.exit_code, 2);
    EXPECT_NE(limited.errors.find("cannot write"), std::string::npos) << limited.errors;
    EXPECT_EQ(read_file(out), "old package");
    // A source the system fails to read (a file that looks empty, its first read failing) says the system's
    // reason, not that it grew.
    const process_result unreadable = ulvpack({"create", "-o", out, "ulverno/mem=/proc/self/mem"});
    EXPECT_EQ(unreadable.exit_code, 2);
    EXPECT_NE(unreadable.errors.find("cannot read /proc/self/mem: " + std::string(std::strerror(EIO))), std::string::npos)
        << unreadable.errors;
    EXPECT_EQ(read_file(out), "old package");

    make_folder(folder.at("folder.upd/inside"));  // OUT names a folder: the package cannot take its place
    const process_result folder_out = ulvpack({"create", "-o", folder.at("folder.upd"), source});
    EXPECT_EQ(folder_out.exit_code, 2);
    EXPECT_NE(folder_out.errors.find("cannot put the package in the place of"), std::string::npos) << folder_out.errors;
    ASSERT_EQ(mkfifo(folder.at("fifo.upd").c_str(), 0600), 0);  // nor a FIFO, a device (-o /dev/null) or a socket
    EXPECT_EQ(ulvpack({"create", "-o", folder.at("fifo.upd"), source}).exit_code, 2);
    EXPECT_TRUE(std::filesystem::is_fifo(folder.at("fifo.upd")));
    std::filesystem::remove(folder.at("fifo.upd"));

    // Nothing is left behind, and the planted link was not followed.
    EXPECT_EQ(read_tree(folder.path()), (file_tree{{"f", std::string(100000, 'x')}, {"out.upd", "old package"},
                                                   {"out.upd.partial", "victim"}, {"victim", "victim"}}));
    ASSERT_EQ(ulvpack({"create", "-o", out, source}).exit_code, 0);
    EXPECT_EQ(read_file(folder.at("victim")), "victim");
    EXPECT_NE(read_file(out), "old package");
}

TEST(ulvpack_round_trip, tree_to_package_to_updater_and_back) {
    scratch_folder folder;
    const std::string tree = folder.at("tree");
    write_tree(tree, release_tree());
    const std::string package = folder.at("release.upd");
    std::vector<std::string> create = {"create", "-o", package, "--piece-size", "4K", "--release", "4294967295"};
    for (const std::string& source : sources_of(tree)) create.push_back(source);
    ASSERT_EQ(ulvpack(create).exit_code, 0);
    const process_result verified = ulvpack({"verify", package});
    EXPECT_EQ(verified.exit_code, 0) << verified.errors;
    EXPECT_EQ(verified.errors.find("warning"), std::string::npos) << verified.errors;
    EXPECT_NE(verified.errors.find(": release: 4294967295\n"), std::string::npos) << verified.errors;
    // The release file comes last, after names that sort after its own.
    const std::string listed = ulvpack({"list", "--json", package}).output;
    EXPECT_EQ(listed.rfind("{\"name\": "), listed.find("{\"name\": \"ulverno/ulvupdate.release\", \"size\": 11,")) << listed;
    EXPECT_NE(listed.find("\"release\": 4294967295, \"release_problem\": null}"), std::string::npos) << listed;
    EXPECT_NE(ulvpack({"list", package}).output.find("\nrelease: 4294967295\n"), std::string::npos);
    file_tree released = release_tree();
    released["ulverno/ulvupdate.release"] = "4294967295\n";

    ASSERT_EQ(ulvpack({"extract", package, folder.at("extracted")}).exit_code, 0);
    EXPECT_EQ(read_tree(folder.at("extracted")), released);

    // The updater: the install root "C:\ULVERNO" is a folder of the current one on POSIX.
    folder.write_profile("[ulvekern]\nulvedrive=C\nulvedir=ULVERNO\n");
    for (const char* root : {"C:\\ULVERNO/bin", "C:\\ULVERNO/doc", "C:\\ULVERNO/a/b/c"}) make_folder(folder.at(root));
    const process_result applied =
        run_process({ULV_POSIX_UPDATER, "-s", package}, {"WINDIR=" + folder.windows()}, folder.path());
    EXPECT_EQ(applied.errors, "");
    EXPECT_FALSE(file_exists(package));
    file_tree installed;
    for (const auto& [path, contents] : read_tree(folder.at("C:\\ULVERNO"))) installed["ulverno/" + path] = contents;
    installed["windows/ulvtest.ini"] = read_file(folder.windows() + "/ulvtest.ini");
    installed["windows_system/ulvtest.dll"] = read_file(folder.system() + "/ulvtest.dll");
    EXPECT_EQ(installed, released);  // an updater without a key installs the release file as any other
}

TEST(ulvpack_create, refuses_what_the_updater_or_windows_cannot_take) {
    scratch_folder folder;
    write_file(folder.at("f"), "x");
    const std::string f = folder.at("f");
    struct row { std::vector<std::string> sources; const char* says; };
    const row rows[] = {
        {{"other/x=" + f}, "does not start with ulverno/"},
        {{"ulverno/../x=" + f}, "climbs out of its root"},
        {{"ulverno/a:b=" + f}, "does not allow"},
        {{"ulverno/a?b=" + f}, "does not allow"},
        {{"ulverno/dir./x=" + f}, "ending in a dot"},
        {{"ulverno/con.txt=" + f}, "device name"},
        {{"ulverno/a//b=" + f}, "empty path component"},
        {{"ulverno/" + std::string(256, 'x') + "=" + f}, "has a component longer than 255 characters"},
        {{"ulverno/=" + f}, "names a folder"},
        {{"ulverno/a/.=" + f}, "names a folder"},
        {{"ulverno/a=" + f, "ulverno/A/b=" + f}, "need a file and a folder of the same name"},
        {{"ulverno/x\xCC\x81=" + f}, "would read \"ulverno/x?\""},  // an accent the code page cannot hold there
        {{"ulverno=" + folder.path()}, "the package would pack itself"},
        {{"ulverno/snow\xE2\x98\x83=" + f}, "code page 1252"},
        {{"windows/x.ini=" + f, "windows/X.INI=" + f}, "comes from both"},
        {{"ulverno=" + f}, "is not a folder"},
        {{"ulverno/x=" + folder.at("absent")}, "is not a regular file"},
        {{"ulverno/ULVUPDATE.release=" + f}, "would be the release file, which comes from --release"},
        {{"ulverno/Ulvupdate.Release/x=" + f}, "needs a folder where the release file goes"},
    };
    for (const row& r : rows) {
        std::vector<std::string> arguments = {"create", "-o", folder.at("out.upd")};
        arguments.insert(arguments.end(), r.sources.begin(), r.sources.end());
        const process_result result = ulvpack(arguments);
        EXPECT_EQ(result.exit_code, 1) << r.says;
        EXPECT_NE(result.errors.find(r.says), std::string::npos) << result.errors;
        EXPECT_EQ(read_tree(folder.path()), (file_tree{{"f", "x"}}));  // nothing written, nothing left behind
    }
}

TEST(ulvpack_usage, says_its_version_and_what_is_wrong_with_2) {
    scratch_folder folder;
    write_file(folder.at("p.upd"), whole("windows/a.txt", "a"));
    const std::string p = folder.at("p.upd");
    // Arguments are read in order; the first that is wrong is said (escaped), with the usage.
    struct row { std::vector<std::string> arguments; const char* says; };
    const row rows[] = {
        {{"create", "-o", folder.at("a.upd"), "-o", folder.at("b.upd"), "windows/a=" + p}, "-o is given twice"},
        {{"create", "-o", folder.at("a.upd"), "--bogus", "windows/a=" + p, "--help"}, "unknown option \"--bogus\""},
        {{"create", "-o", folder.at("a.upd"), "neither"}, "is neither PREFIX=DIR nor NAME=FILE"},
        {{"create", "-o", folder.at("a.upd"), "--sign", "", "windows/a=" + p}, "KEY is empty"},
        {{"create", "-o", folder.at("a.upd"), "--release", "0", "windows/a=" + p}, "bad release \"0\""},
        {{"create", "-o", folder.at("a.upd"), "--release", "4294967296", "windows/a=" + p}, "bad release"},
        {{"create", "-o", folder.at("a.upd"), "--release", "007", "windows/a=" + p}, "bad release"},
        {{"create", "-o", folder.at("a.upd"), "--release", "-1", "windows/a=" + p}, "bad release"},
        {{"create", "windows/a=" + p, "-o"}, "-o takes one OUT"},
        {{"list", "--bogus", p}, "unknown option"},
        {{"list", p, p, "--help"}, "one package, please"},
        {{"verify", "-x"}, "unknown option \"-x\""},
        {{"verify", p, "--against"}, "--against takes one DIR"},
        {{"sign", p, "--key"}, "--key takes one KEY"},
        {{"sign", p}, "no --key KEY given"},
        {{"extract", p, ""}, "DIR is empty"},
        {{"extract", p}, ""},
        {{"frobnicate\x1B]0;x\x07"}, "unknown command \"frobnicate\\x1B]0;x\\x07\""},
        {{"--version", "extra"}, ""},
    };
    for (const row& r : rows) {
        const process_result result = ulvpack(r.arguments);
        EXPECT_EQ(result.exit_code, 2) << r.says;
        EXPECT_NE(result.errors.find("usage: ulvpack"), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find(r.says), std::string::npos) << result.errors;
        EXPECT_EQ(result.errors.find('\x1B'), std::string::npos) << result.errors;
    }
    EXPECT_EQ(ulvpack({"verify", "--bogus", "--help"}).exit_code, 0);  // verify takes help anywhere
    // --piece-size may come again, the last one counting.
    EXPECT_EQ(ulvpack({"create", "-o", folder.at("c.upd"), "--piece-size", "1", "--piece-size", "1K", "windows/a=" + p})
                  .exit_code, 0);
    const std::string listed = ulvpack({"list", folder.at("c.upd")}).output;  // one record of the whole file: 1K pieces
    EXPECT_NE(listed.find("1 target, " + std::to_string(read_file(p).size()) + " bytes, 1 record"), std::string::npos) << listed;
    std::filesystem::remove(folder.at("c.upd"));
    EXPECT_EQ(read_tree(folder.path()), (file_tree{{"p.upd", read_file(p)}}));

    const process_result version = ulvpack({"--version"});  // the version of the commit it was built from
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.output, "ulvpack " ULV_VERSION "\n");
}

TEST(ulvpack_create, refuses_sizes_beyond_the_format) {
    scratch_folder folder;
    const std::string huge = folder.at("huge.bin");
    std::filesystem::resize_file((write_file(huge, ""), huge), 4ull * 1024 * 1024 * 1024);  // sparse: no disk used
    process_result result = ulvpack({"create", "-o", folder.at("out.upd"), "ulverno/huge.bin=" + huge});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.errors.find("4 GiB or more"), std::string::npos) << result.errors;

    std::filesystem::resize_file(huge, 268435455);
    result = ulvpack({"create", "-o", folder.at("out.upd"), "--piece-size", "268435455", "ulverno/huge.bin=" + huge});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.errors.find("smaller --piece-size"), std::string::npos) << result.errors;
    EXPECT_FALSE(file_exists(folder.at("out.upd")));

    EXPECT_EQ(ulvpack({"create", "-o", folder.at("out.upd"), "--piece-size", "0", "ulverno/x=" + huge}).exit_code, 2);
    EXPECT_EQ(ulvpack({"create", "-o", folder.at("out.upd"), "--piece-size", "256M", "ulverno/x=" + huge}).exit_code, 2);
}

TEST(ulvpack_verify, agrees_with_the_updater_on_every_package) {
    for (const package_case& c : package_cases()) {
        scratch_folder folder;
        const std::string path = folder.at("case.upd");
        write_file(path, c.bytes);
        scan_result scan;
        std::string why;
        ASSERT_EQ(scan_package(path, {}, scan, why), scan_outcome::scanned);
        const bool updater_applied = apply_package(path.c_str()) == 1;
        EXPECT_EQ(scan.would_apply, updater_applied) << c.title;
        EXPECT_EQ(updater_applied, c.applies) << c.title;
    }
}

TEST(ulvpack_verify, names_the_record_and_offset_of_a_fault) {
    scratch_folder folder;
    const std::string first = whole("windows/a.txt", "abc");
    write_file(folder.at("p.upd"), first + whole("windows/../x", "x"));
    const process_result result = ulvpack({"verify", folder.at("p.upd")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.errors.find("error: record 2 at byte " + std::to_string(first.size()) +
                                 ": the name \"windows/../x\" climbs out of its root"),
              std::string::npos)
        << result.errors;
    write_file(folder.at("\xE6\x97\xA5\xE6\x9C\xAC.upd"), read_file(folder.at("p.upd")));  // a path in another script
    EXPECT_NE(ulvpack({"verify", folder.at("\xE6\x97\xA5\xE6\x9C\xAC.upd")}).errors.find("climbs out"), std::string::npos);

    // Names Windows cannot store, or cannot store together (as it compares them, in either order), classic or
    // protected: errors, as the updater refuses them.
    const std::string a = whole("ulverno/bin/a", "");
    const std::string long_name = "ulverno/" + std::string(256, 'x');
    struct row { std::string package; std::string says; };
    const row rows[] = {
        {a + whole("ulverno/BIN/a. /b", ""), "record 2 at byte " + std::to_string(a.size()) +
                                                 ": \"ulverno/BIN/a. /b\" needs a folder where the target of record 1 "
                                                 "installs a file"},
        {whole("ulverno/bin/a\\b", "") + whole("ulverno/Bin/A ", ""),
         "\"ulverno/Bin/A \" installs a file where the target of record 1 needs a folder"},
        {protected_package({{"ulverno/bin/a", ""}, {"ulverno/bin/a/b", ""}}), "needs a folder where the target of record 1"},
        {protected_package({{"ulverno/bin/a/b", ""}, {"ulverno/bin/a", ""}}), "installs a file where the target of record 1"},
        {whole(long_name, ""), "has a component longer than 255 characters, which no Windows file system stores"},
        {protected_package({{long_name, ""}}), "has a component longer than 255 characters"},
    };
    for (const row& r : rows) {
        write_file(folder.at("p.upd"), r.package);
        const process_result refused = ulvpack({"verify", folder.at("p.upd")});
        EXPECT_EQ(refused.exit_code, 1) << r.says;
        EXPECT_NE(refused.errors.find("error: "), std::string::npos) << refused.errors;
        EXPECT_NE(refused.errors.find(r.says), std::string::npos) << refused.errors;
    }
    EXPECT_EQ(ulvpack({"verify", folder.at("absent.upd")}).exit_code, 2);
    EXPECT_EQ(ulvpack({"verify", folder.path()}).exit_code, 2);  // a folder cannot be read: not an invalid package
    // Nor a package the system fails to read: said once, where and why.
    const process_result unreadable = ulvpack({"verify", "/proc/self/mem"});
    EXPECT_EQ(unreadable.exit_code, 2);
    EXPECT_EQ(unreadable.errors, "ulvpack verify: cannot read /proc/self/mem: record 1 at byte 0: the package cannot be "
                                 "read: " + std::string(std::strerror(EIO)) + "\n");
    EXPECT_EQ(ulvpack({"verify"}).exit_code, 2);
}

TEST(ulvpack_verify, warns_about_what_the_updater_tolerates) {
    scratch_folder folder;
    write_file(folder.at("p.upd"), piece("windows/t.bin", 9, 3, "abc") + piece("windows/t.bin", 9, 0, "def") +
                                       piece("windows/t.bin", 9, 6, "ghi") + piece("windows/short.bin", 10, 8, "xy") +
                                       whole("windows/T.BIN", "again") + whole("windows/\x9D" "2Jx", "") +
                                       whole("windows/a\\b", "") + whole("ulverno/" + std::string(229, 'u'), "") +
                                       whole("windows/" + std::string(248, 'w'), "") +
                                       whole("windows_system/" + std::string(240, 's'), "") + "\x01\x02");
    const process_result result = ulvpack({"verify", folder.at("p.upd")});
    EXPECT_EQ(result.exit_code, 0) << result.errors;
    EXPECT_EQ(result.errors.find("a\\b"), std::string::npos) << "a backslash separates, as for the updater";
    // A name cannot send commands to the terminal: C1 controls (code page 1252's unassigned bytes) are shown
    // escaped, and C0 controls are refused, in a message that escapes them too.
    const process_result listed = ulvpack({"list", folder.at("p.upd")});
    EXPECT_EQ((result.errors + listed.output).find("\xC2\x9D"), std::string::npos);
    EXPECT_NE(listed.output.find("windows/\\x9D2Jx"), std::string::npos) << listed.output;
    write_file(folder.at("e.upd"), whole("windows/\x1B[2Jx", ""));
    const process_result escaped = ulvpack({"verify", folder.at("e.upd")});
    EXPECT_EQ(escaped.exit_code, 1);
    EXPECT_NE(escaped.errors.find("\"windows/\\x1B[2Jx\" has a character that Windows does not allow"), std::string::npos)
        << escaped.errors;
    for (const char* says : {"record 1 at byte 0: piece at offset 3 of \"windows/t.bin\" follows 0 bytes",
                             "record 2 at byte 24: piece at offset 0 of \"windows/t.bin\" follows 3 bytes",
                             "\"windows/short.bin\" is complete with 2 bytes written, but its size says 10",
                             "\"windows/T.BIN\" is installed more than once", "2 bytes after the last target are ignored",
                             "would make a path of 260 characters if installed under C:\\Program Files (x86)\\Ulverno, "
                             "beyond the 259 that Windows opens without long-path support",
                             "would make a path of 260 characters if installed under C:\\Windows\\SysWOW64"}) {
        EXPECT_NE(result.errors.find(says), std::string::npos) << says << "\n" << result.errors;
    }
    EXPECT_EQ(result.errors.find("path of 259"), std::string::npos) << "a path of 259 characters opens";
    write_file(folder.at("f"), "");  // create says it too
    const process_result created =
        ulvpack({"create", "-o", folder.at("c.upd"), "ulverno/" + std::string(229, 'u') + "=" + folder.at("f")});
    EXPECT_EQ(created.exit_code, 0);
    EXPECT_NE(created.errors.find("warning: the name \"ulverno/uuu"), std::string::npos) << created.errors;
    EXPECT_NE(created.errors.find("would make a path of 260 characters"), std::string::npos) << created.errors;
}

TEST(ulvpack_list, tells_each_target_and_where_it_goes) {
    scratch_folder folder;
    write_file(folder.at("p.upd"), piece("ulverno/bin/x.dll", 6, 0, "abc") + piece("ulverno/bin/x.dll", 6, 3, "def") +
                                       whole("windows_system/caf\xE9.dll", ""));
    process_result result = ulvpack({"list", folder.at("p.upd")});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.output.find("ulverno/bin/x.dll"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("install directory"), std::string::npos);
    EXPECT_NE(result.output.find("2 targets, 6 bytes, 3 records"), std::string::npos) << result.output;

    // Every folder the package needs, its root and those between included, each once as Windows compares names,
    // spelled with "/" as Windows would create it, in the order of the names as packages store them (\x80, the
    // euro sign, before \xE9); the columns line up whatever the names hold (an escaped control character, letters
    // of two or three bytes).
    write_file(folder.at("f.upd"), whole("ulverno/a/b/x", "") + whole("ulverno/A/c/y", "") + whole("ulverno/t. /z", "") +
                                       whole("ulverno/t\\w", "") + whole("windows/d\xE9/a", "") +
                                       whole("windows/d\x80/b", "") + whole("windows/\x9D/c", ""));
    const std::vector<std::string> needed = {"ulverno",   "ulverno/a", "ulverno/a/b", "ulverno/a/c", "ulverno/t",
                                             "windows",   "windows/d\xE2\x82\xAC", "windows/d\xC3\xA9", "windows/\\x9D"};
    const auto characters = [](const std::string& text) {
        return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    };
    std::vector<std::string> listed;
    std::set<size_t> target_columns;
    std::set<size_t> folder_columns;
    std::istringstream lines(ulvpack({"list", "--folders", folder.at("f.upd")}).output);
    bool folder_rows = false;
    for (std::string line; std::getline(lines, line);) {
        folder_rows = folder_rows || line.rfind("FOLDERS", 0) == 0;
        const size_t directory = line.find(" directory");
        if (directory == std::string::npos) continue;
        const size_t root = line.rfind("  ", directory) + 2;  // where the root's column begins
        (folder_rows ? folder_columns : target_columns).insert(characters(line.substr(0, root)));
        if (folder_rows) listed.push_back(line.substr(0, line.find("  ")));
    }
    EXPECT_EQ(listed, needed);
    EXPECT_EQ(target_columns.size(), 1u);
    EXPECT_EQ(folder_columns.size(), 1u);
    const std::string json = ulvpack({"list", "--json", "--folders", folder.at("f.upd")}).output;
    listed.clear();
    for (size_t at = json.find("{\"folder\": \""); at != std::string::npos; at = json.find("{\"folder\": \"", at + 1)) {
        listed.push_back(json.substr(at + 12, json.find('"', at + 12) - at - 12));
    }
    std::vector<std::string> needed_in_json = needed;
    needed_in_json.back() = "windows/\\u009d";
    EXPECT_EQ(listed, needed_in_json) << json;
    EXPECT_NE(json.find("{\"folder\": \"ulverno/a/c\", \"root\": \"ulverno\"}"), std::string::npos) << json;

    result = ulvpack({"list", "--json", folder.at("p.upd")});
    EXPECT_NE(result.output.find("{\"name\": \"ulverno/bin/x.dll\", \"size\": 6, \"pieces\": 2, \"root\": \"ulverno\"}"),
              std::string::npos) << result.output;
    EXPECT_NE(result.output.find("\"name\": \"windows_system/caf\xC3\xA9.dll\""), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("\"integrity\": \"none\", \"valid\": true, \"release\": null, \"release_problem\": null}\n"),
              std::string::npos) << result.output;
    EXPECT_NE(ulvpack({"list", folder.at("p.upd")}).output.find("\nrelease: none\n"), std::string::npos);
    // A listing that cannot be written is no listing.
    EXPECT_EQ(run_process({"sh", "-c", "exec \"$0\" list \"$1\" >/dev/full", ULV_PACK_TOOL, folder.at("p.upd")}).exit_code, 2);
}

TEST(ulvpack_extract, stops_at_a_name_that_climbs_out_and_writes_nothing_unproven) {
    scratch_folder folder;
    write_file(folder.at("p.upd"), whole("windows/a.txt", "a") + whole("windows/../../escaped.txt", "x"));
    const process_result result = ulvpack({"extract", folder.at("p.upd"), folder.at("out/inner")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(read_file(folder.at("out/inner/windows/a.txt")), "a");
    EXPECT_FALSE(file_exists(folder.at("escaped.txt")));
    EXPECT_FALSE(file_exists(folder.at("out/escaped.txt")));
    // A write that falls short (a file size limit) says the system's reason.
    write_file(folder.at("big.upd"), whole("windows/big.bin", std::string(100000, 'b')));
    const process_result short_write = run_process({"sh", "-c", "ulimit -f 20; exec \"$0\" \"$@\"", ULV_PACK_TOOL,
                                                    "extract", folder.at("big.upd"), folder.at("big")});
    EXPECT_EQ(short_write.exit_code, 2);
    EXPECT_NE(short_write.errors.find("cannot write windows/big.bin: " + std::string(std::strerror(EFBIG))), std::string::npos)
        << short_write.errors;
    // A DIR that cannot be made says why it could not (as mkdir says it), not that it is missing.
    const std::string unmade = "/sys/ulvpack-test-" + std::to_string(getpid());
    ASSERT_NE(mkdir(unmade.c_str(), 0777), 0);
    const std::string mkdir_says = std::strerror(errno);
    const process_result not_made = ulvpack({"extract", folder.at("p.upd"), unmade + "/out"});
    EXPECT_EQ(not_made.exit_code, 2);
    EXPECT_NE(not_made.errors.find(unmade + "/out: " + mkdir_says), std::string::npos) << not_made.errors;

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's allocator ends the process instead of failing an allocation
    // A protected package whose second record, 64 MiB that the file holds (sparse: no disk used), does not fit in
    // the memory allowed: its proof cannot finish, and so nothing is written, not even the first target.
    const std::string second = encode_varint(64u << 20) + std::string((64u << 20) - 4, '\0');
    const std::string large = protected_records({{"windows/a.txt", 1, 0, "a", "", -1, 0}}, 2, second);
    write_file(folder.at("large.upd"), large.substr(0, large.size() - second.size() + 4));
    std::filesystem::resize_file(folder.at("large.upd"), large.size());
    const process_result limited = run_process({"sh", "-c", "ulimit -v 49152; exec \"$0\" \"$@\"", ULV_PACK_TOOL,
                                                "extract", folder.at("large.upd"), folder.at("large")});
    EXPECT_EQ(limited.exit_code, 2);
    EXPECT_NE(limited.errors.find("cannot be held in memory"), std::string::npos) << limited.errors;
    EXPECT_FALSE(file_exists(folder.at("large")));
#endif
}

// Extract proves a package and then writes from a second reading: both go
// through one open file, and the second refuses any record that differs from
// what the first read. Another release put at the path in between is not
// read at all; one written into the file (two releases spliced, here) is
// refused at its first changed record.
TEST(ulvpack_extract, writes_only_what_its_proof_read) {
    scratch_folder folder;
    const std::string path = folder.at("p.upd");
    const std::string release_1 = protected_package({{"windows/a.txt", "a1"}, {"windows/b.txt", "b1"}});
    const std::string release_2 = protected_package({{"windows/a.txt", "a2"}, {"windows/b.txt", "b2"}});
    const size_t boundary = protected_package({{"windows/a.txt", "a1"}}).size();
    for (const bool in_place : {false, true}) {
        write_file(path, release_1);
        std::string why;
        const int package = open_package(std::filesystem::u8path(path), why);
        ASSERT_NE(package, -1) << why;
        record_checksums proven;
        scan_result proof;
        ASSERT_EQ(scan_open_package(package, {}, proof, walk_options{nullptr, nullptr, &proven, nullptr}), scan_outcome::scanned);
        proven.whole = proof.would_apply;
        write_file(in_place ? path : folder.at("new.upd"), release_2.substr(0, boundary) + release_1.substr(boundary));
        if (!in_place) std::filesystem::rename(folder.at("new.upd"), path);
        ASSERT_EQ(rewind_file(package), 1);
        scan_result second;
        EXPECT_EQ(scan_open_package(package, {}, second, walk_options{nullptr, nullptr, nullptr, &proven}), scan_outcome::scanned);
        close_file(package);
        EXPECT_EQ(second.refused, in_place) << in_place;
        EXPECT_EQ(second.refusal.record, in_place ? 1u : 0u) << second.refusal.text;
        EXPECT_NE(second.refusal.text.find(in_place ? "changed while it was read" : ""), std::string::npos) << second.refusal.text;
    }
}

TEST(ulvpack_extract, never_writes_through_a_link_nor_over_a_file) {
    scratch_folder folder;
    const std::string outside = folder.at("outside");
    make_folder(outside);
    write_file(outside + "/a.txt", "outside");
    write_file(folder.at("p.upd"), whole("windows/sub/a.txt", "new"));
    struct row { std::string link; std::string to; const char* says; };
    const row rows[] = {
        {"windows", outside, "is a link or not a folder"},
        {"windows/sub", outside, "is a link or not a folder"},
        {"windows/sub/a.txt", outside + "/a.txt", "it is a link"},
        {"windows/sub/a.txt", outside + "/new.txt", "it is a link"},  // dangling
        {"windows/sub/a.txt", "", "it exists (--force replaces it)"},
    };
    for (const row& r : rows) {
        const std::string dir = folder.at("x");
        std::filesystem::remove_all(dir);
        make_folder(dir + "/" + std::filesystem::path(r.link).parent_path().string());
        if (r.to.empty()) {
            write_file(dir + "/" + r.link, "old");
        } else {
            ASSERT_EQ(symlink(r.to.c_str(), (dir + "/" + r.link).c_str()), 0);
        }
        const process_result result = ulvpack({"extract", folder.at("p.upd"), dir});
        EXPECT_EQ(result.exit_code, 2) << r.link;
        EXPECT_NE(result.errors.find(r.says), std::string::npos) << result.errors;
        EXPECT_EQ(read_tree(outside), (file_tree{{"a.txt", "outside"}})) << r.link;
    }
    // A name given twice replaces the copy this extraction made, never a file that was there.
    write_file(folder.at("twice.upd"), whole("windows/b.txt", "1") + whole("windows/b.txt", "2") +
                                           whole("windows/C.txt", "3") + whole("windows/c.txt", "4"));
    make_folder(folder.at("y/windows"));
    write_file(folder.at("y/windows/c.txt"), "precious");
    EXPECT_EQ(ulvpack({"extract", folder.at("twice.upd"), folder.at("y")}).exit_code, 2);
    EXPECT_EQ(read_tree(folder.at("y")), (file_tree{{"windows/C.txt", "3"}, {"windows/b.txt", "2"}, {"windows/c.txt", "precious"}}));

    // --force replaces the file's name, never the content of a file linked from elsewhere.
    std::filesystem::remove(folder.at("x/windows/sub/a.txt"));
    ASSERT_EQ(link((outside + "/a.txt").c_str(), folder.at("x/windows/sub/a.txt").c_str()), 0);
    EXPECT_EQ(ulvpack({"extract", "--force", folder.at("p.upd"), folder.at("x")}).exit_code, 0);
    EXPECT_EQ(read_file(folder.at("x/windows/sub/a.txt")), "new");
    EXPECT_EQ(read_file(outside + "/a.txt"), "outside");
}

TEST(ulvpack_since, packs_what_changed_and_brings_an_installation_from_a_to_b) {
    scratch_folder folder;
    const file_tree a = {{"ulverno/bin/same.dll", every_byte_value(5000)}, {"ulverno/bin/changed.dll", "old"},
                         {"ulverno/bin/removed.dll", "gone"}, {"windows/u.ini", "[u]"}};
    file_tree b = a;
    b.erase("ulverno/bin/removed.dll");
    b["ulverno/bin/changed.dll"] = "new";
    b["ulverno/bin/added.dll"] = "added";
    write_tree(folder.at("A"), a);
    write_tree(folder.at("B"), b);
    ASSERT_EQ(ulvpack({"create", "-o", folder.at("A.upd"), "ulverno=" + folder.at("A/ulverno"),
                       "windows=" + folder.at("A/windows")}).exit_code, 0);
    const std::vector<std::string> release_b = {"ulverno=" + folder.at("B/ulverno"), "windows=" + folder.at("B/windows")};
    folder.write_profile("[ulvekern]\nulvedrive=C\nulvedir=ULVERNO\n");

    for (const std::string& base : {folder.at("A.upd"), folder.at("A")}) {  // the previous release as a package, as a folder
        std::vector<std::string> create = {"create", "-o", folder.at("update.upd"), "--since", base};
        create.insert(create.end(), release_b.begin(), release_b.end());
        const process_result packed = ulvpack(create);
        ASSERT_EQ(packed.exit_code, 0) << packed.errors;
        EXPECT_NE(packed.errors.find("\"ulverno/bin/removed.dll\" is in BASE but no longer in the release"), std::string::npos);
        EXPECT_NE(packed.errors.find("2 unchanged, left out (5003 bytes saved); 1 changed; 1 new"), std::string::npos)
            << packed.errors;

        // Over a copy of A, the update gives B, but for the file a package cannot delete.
        std::filesystem::remove_all(folder.at("C:\\ULVERNO"));
        write_tree(folder.at("C:\\ULVERNO"), {{"bin/same.dll", a.at("ulverno/bin/same.dll")}, {"bin/changed.dll", "old"},
                                              {"bin/removed.dll", "gone"}});
        write_file(folder.windows() + "/u.ini", "[u]");
        const process_result applied =
            run_process({ULV_POSIX_UPDATER, "-s", folder.at("update.upd")}, {"WINDIR=" + folder.windows()}, folder.path());
        EXPECT_EQ(applied.errors, "");
        file_tree installed;
        for (const auto& [path, bytes] : read_tree(folder.at("C:\\ULVERNO"))) installed["ulverno/" + path] = bytes;
        installed["windows/u.ini"] = read_file(folder.windows() + "/u.ini");
        file_tree expected = b;
        expected["ulverno/bin/removed.dll"] = "gone";
        EXPECT_EQ(installed, expected);
    }

    // The release comes from --release alone: the one BASE holds (a package's last target, the release file of a
    // copy of an installation) is neither compared nor said to be gone, and the package carries it again or a
    // later one, never an earlier one nor none, which an updater built with a key would refuse over BASE.
    ASSERT_EQ(ulvpack({"create", "-o", folder.at("A3.upd"), "--release", "3", "ulverno=" + folder.at("A/ulverno"),
                       "windows=" + folder.at("A/windows")}).exit_code, 0);
    write_file(folder.at("A/ulverno/ulvupdate.release"), "3\n");
    struct release_row { std::vector<std::string> option; const char* says; };
    const release_row releases[] = {
        {{"--release", "3"}, "\nrelease: 3\n"},
        {{"--release", "4"}, "\nrelease: 4\n"},
        {{"--release", "2"}, "BASE holds release 3, above --release 2"},
        {{}, "BASE holds release 3, and the package would carry none"},
    };
    for (const std::string& base : {folder.at("A3.upd"), folder.at("A")}) {
        for (const release_row& r : releases) {
            std::vector<std::string> create = {"create", "-o", folder.at("update.upd"), "--since", base};
            create.insert(create.end(), r.option.begin(), r.option.end());
            create.insert(create.end(), release_b.begin(), release_b.end());
            std::filesystem::remove(folder.at("update.upd"));
            const process_result packed = ulvpack(create);
            const bool forward = r.says[0] == '\n';
            EXPECT_EQ(packed.exit_code, forward ? 0 : 1) << base << r.says << packed.errors;
            EXPECT_EQ(packed.errors.find("ulvupdate.release"), std::string::npos) << packed.errors;
            const std::string said = forward ? ulvpack({"list", folder.at("update.upd")}).output : packed.errors;
            EXPECT_NE(said.find(r.says), std::string::npos) << said;
            if (forward) {
                EXPECT_NE(packed.errors.find("2 unchanged, left out (5003 bytes saved); 1 changed; 1 new"), std::string::npos);
            }
        }
    }
    std::filesystem::remove(folder.at("A/ulverno/ulvupdate.release"));

    // A classic BASE cut inside its last record, which the updater takes up to the cut: said as verify says it.
    ASSERT_EQ(ulvpack({"create", "--plain", "-o", folder.at("cut.upd"), "ulverno=" + folder.at("A/ulverno"),
                       "windows=" + folder.at("A/windows")}).exit_code, 0);
    std::filesystem::resize_file(folder.at("cut.upd"), std::filesystem::file_size(folder.at("cut.upd")) - 2);
    const std::string verified = ulvpack({"verify", folder.at("cut.upd")}).errors;
    const size_t warning = verified.find("warning: ");
    ASSERT_NE(warning, std::string::npos) << verified;
    const std::string finding = verified.substr(warning + 9, verified.find('\n', warning) - warning - 9);
    std::vector<std::string> since_cut = {"create", "-o", folder.at("update.upd"), "--since", folder.at("cut.upd")};
    since_cut.insert(since_cut.end(), release_b.begin(), release_b.end());
    const process_result cut = ulvpack(since_cut);
    EXPECT_EQ(cut.exit_code, 0) << cut.errors;
    EXPECT_NE(cut.errors.find("warning: BASE " + folder.at("cut.upd") + ": " + finding), std::string::npos)
        << finding << "\n" << cut.errors;

    // A new folder cannot be shipped this way, unless the installations are known to have it.
    write_tree(folder.at("B/ulverno/newdir"), {{"x.txt", "x"}});
    std::vector<std::string> create = {"create", "-o", folder.at("update.upd"), "--since", folder.at("A.upd")};
    create.insert(create.end(), release_b.begin(), release_b.end());
    const process_result refused = ulvpack(create);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.errors.find("BASE does not have the folder \"ulverno/newdir\""), std::string::npos) << refused.errors;
    create.push_back("--allow-new-folders");
    ASSERT_EQ(ulvpack(create).exit_code, 0);
    EXPECT_TRUE(std::regex_search(ulvpack({"list", "--folders", folder.at("update.upd")}).output,
                                  std::regex("\nulverno/newdir +install directory\n")));
    const process_result against = ulvpack({"verify", "--against", folder.at("A"), folder.at("update.upd")});
    EXPECT_EQ(against.exit_code, 1);
    EXPECT_NE(against.errors.find("needs the folder \"ulverno/newdir\""), std::string::npos) << against.errors;

    // A file where BASE has a folder (spelled in another case): the updater never removes folders.
    std::filesystem::remove_all(folder.at("B/ulverno/newdir"));
    make_folder(folder.at("A/ulverno/spare"));
    write_file(folder.at("B/ulverno/SPARE"), "a file now");
    create[4] = folder.at("A");
    EXPECT_NE(ulvpack(create).errors.find("\"ulverno/SPARE\" is a folder in BASE"), std::string::npos);

    // A folder where BASE has a file (spelled in another case), even with --allow-new-folders: the updater never
    // removes files.
    std::filesystem::remove(folder.at("B/ulverno/SPARE"));
    write_tree(folder.at("B/ulverno/bin/REMOVED.dll"), {{"x.txt", "x"}});
    for (const std::string& base : {folder.at("A.upd"), folder.at("A")}) {
        for (const bool allow : {false, true}) {
            std::vector<std::string> arguments = {"create", "-o", folder.at("update.upd"), "--since", base};
            arguments.insert(arguments.end(), release_b.begin(), release_b.end());
            if (allow) arguments.push_back("--allow-new-folders");
            const process_result result = ulvpack(arguments);
            EXPECT_EQ(result.exit_code, 1) << base << allow;
            EXPECT_NE(result.errors.find("BASE has a file, \"ulverno/bin/removed.dll\", where "
                                         "\"ulverno/bin/REMOVED.dll/x.txt\" needs a folder"),
                      std::string::npos) << result.errors;
        }
    }
}

TEST(ulvpack_since, a_folder_base_is_walked_and_counted_as_the_same_package_would_be) {
    scratch_folder folder;
    // Renamed in case only, or given decomposed (an accent after its letter): the same file for Windows.
    const file_tree a = {{"ulverno/bin/a.dll", "a"}, {"windows/u.ini", "[u]"}, {"ulverno/doc/Readme.txt", "r"},
                         {"ulverno/doc/Notes.txt", "n1"}, {"ulverno/doc/cafe\xCC\x81.txt", "c"}};
    const file_tree b = {{"ulverno/bin/a.dll", "a2"}, {"windows/u.ini", "[u]"}, {"ulverno/doc/README.txt", "r"},
                         {"ulverno/doc/NOTES.txt", "n2"}, {"ulverno/doc/caf\xC3\xA9.txt", "c"}};
    write_tree(folder.at("A"), a);
    write_tree(folder.at("B"), b);
    write_tree(folder.at("elsewhere"), {{"x.dll", "x"}});
    for (const char* tree : {"A", "B"}) {  // a link to its parent, and a link out of the tree
        ASSERT_EQ(symlink("..", folder.at(std::string(tree) + "/ulverno/bin/up").c_str()), 0);
        ASSERT_EQ(symlink(folder.at("elsewhere").c_str(), folder.at(std::string(tree) + "/ulverno/more").c_str()), 0);
    }
    struct row { std::vector<std::string> options; const char* counts; const char* up_left_out; };
    const row rows[] = {
        {{}, "3 unchanged, left out (5 bytes saved); 2 changed; 0 new", "a link (--follow-links follows links)"},
        {{"--follow-links"}, "4 unchanged, left out (6 bytes saved); 2 changed; 0 new", "a link to a folder above it"},
    };
    for (const row& r : rows) {
        std::vector<std::string> pack_a = {"create", "-o", folder.at("A.upd"), "ulverno=" + folder.at("A/ulverno"),
                                           "windows=" + folder.at("A/windows")};
        pack_a.insert(pack_a.end(), r.options.begin(), r.options.end());
        ASSERT_EQ(ulvpack(pack_a).exit_code, 0);
        for (const std::string& base : {folder.at("A.upd"), folder.at("A")}) {
            std::vector<std::string> create = {"create", "-o", folder.at("update.upd"), "--since", base,
                                               "ulverno=" + folder.at("B/ulverno"), "windows=" + folder.at("B/windows")};
            create.insert(create.end(), r.options.begin(), r.options.end());
            const process_result packed = ulvpack(create);
            EXPECT_EQ(packed.exit_code, 0) << base << packed.errors;
            EXPECT_NE(packed.errors.find(r.counts), std::string::npos) << base << packed.errors;
            EXPECT_EQ(packed.errors.find("no longer in the release"), std::string::npos) << base << packed.errors;
            if (base == folder.at("A")) {
                EXPECT_NE(packed.errors.find("left out of BASE " + folder.at("A/ulverno/bin/up") + ": " + r.up_left_out),
                          std::string::npos) << packed.errors;
            }
        }
    }
    // Two files of a folder BASE that Windows takes for one: no installation is like it.
    write_file(folder.at("A/windows/U.INI"), "[u]");
    const process_result twice = ulvpack({"create", "-o", folder.at("update.upd"), "--since", folder.at("A"),
                                          "windows=" + folder.at("B/windows")});
    EXPECT_EQ(twice.exit_code, 1);
    EXPECT_NE(twice.errors.find("which Windows takes for one file"), std::string::npos) << twice.errors;
}

TEST(ulvpack_sign, signs_as_openssl_does_and_keeps_the_key_private) {
    scratch_folder folder;
    const std::string keys = ULV_TEST_KEY_DIR;
    write_file(folder.at("f"), "payload");
    const std::string package = folder.at("p.upd");
    const process_result created = ulvpack({"create", "-o", package, "--sign", keys + "/vendor.key", "windows/f=" + folder.at("f")});
    ASSERT_EQ(created.exit_code, 0) << created.errors;
    EXPECT_EQ(run_process({"openssl", "dgst", "-sha256", "-verify", keys + "/vendor.pub", "-signature", package + ".sig", package})
                  .exit_code, 0);
    const process_result fingerprint = run_process({"sh", "-c", "openssl pkey -pubin -in \"$0\" -outform DER | sha256sum", keys + "/vendor.pub"});
    const process_result valid = ulvpack({"verify", "--key", keys + "/vendor.pub", package});
    EXPECT_EQ(valid.exit_code, 0) << valid.errors;
    EXPECT_NE(valid.errors.find("signature: valid (key SHA-256 " + fingerprint.output.substr(0, 64) + ")"), std::string::npos)
        << valid.errors;
    EXPECT_EQ(ulvpack({"verify", "--key", keys + "/other.pub", package}).exit_code, 1);

    // A key that others can read is refused, and nothing is written with it.
    write_file(folder.at("open.key"), read_file(keys + "/vendor.key"));
    chmod(folder.at("open.key").c_str(), 0644);
    std::filesystem::remove(package + ".sig");
    const process_result open_key = ulvpack({"sign", "--key", folder.at("open.key"), package});
    EXPECT_EQ(open_key.exit_code, 1);
    EXPECT_NE(open_key.errors.find("can be read by others than its owner (mode 0644)"), std::string::npos) << open_key.errors;
    EXPECT_EQ(ulvpack({"create", "-o", folder.at("q.upd"), "--sign", folder.at("open.key"), "windows/f=" + folder.at("f")})
                  .exit_code, 1);
    EXPECT_FALSE(file_exists(folder.at("q.upd")));
    EXPECT_FALSE(file_exists(package + ".sig"));
    // A package that is no file to sign is named as such.
    make_folder(folder.at("folder.upd"));
    const process_result not_a_file = ulvpack({"sign", "--key", keys + "/vendor.key", folder.at("folder.upd")});
    EXPECT_EQ(not_a_file.exit_code, 2);
    EXPECT_NE(not_a_file.errors.find("cannot read " + folder.at("folder.upd") + ": it is a folder"), std::string::npos)
        << not_a_file.errors;
    const process_result unreadable = ulvpack({"sign", "--key", keys + "/vendor.key", "/proc/self/mem"});
    EXPECT_EQ(unreadable.exit_code, 2);
    EXPECT_NE(unreadable.errors.find("cannot read /proc/self/mem: " + std::string(std::strerror(EIO))), std::string::npos)
        << unreadable.errors;
    const process_result unsigned_package = ulvpack({"verify", "--key", keys + "/vendor.pub", package});
    EXPECT_EQ(unsigned_package.exit_code, 1);
    EXPECT_NE(unsigned_package.errors.find("signature: invalid: no signature"), std::string::npos) << unsigned_package.errors;

    // Keys it cannot sign with are refused before anything is written; the same key in another form signs alike.
    const auto key_made = [&](const std::string& name, const std::string& command) {
        EXPECT_EQ(run_process({"sh", "-c", command + " && chmod 600 \"$0\"", folder.at(name), keys + "/vendor.key"}).exit_code, 0);
        return folder.at(name);
    };
    struct row { std::string key; const char* says; };
    const row rows[] = {
        {key_made("ed.key", "openssl genpkey -algorithm ED25519 -out \"$0\""), "is not an ECDSA P-256 private key"},
        {key_made("pub.key", "openssl pkey -in \"$1\" -pubout -out \"$0\""), "is a public key"},
        {key_made("enc.key", "openssl pkey -in \"$1\" -aes256 -passout pass:x -out \"$0\""), "is encrypted"},
        {key_made("fifo.key", "mkfifo \"$0\""), "is not a regular file"},  // read, it would hold the tool
        {key_made("packed.key", "openssl ec -in \"$1\" -conv_form compressed -out \"$0\" 2>/dev/null"), nullptr},
    };
    for (const row& r : rows) {
        std::filesystem::remove(folder.at("q.upd"));
        const process_result result = ulvpack({"create", "-o", folder.at("q.upd"), "--sign", r.key, "windows/f=" + folder.at("f")});
        if (r.says == nullptr) {
            EXPECT_EQ(result.exit_code, 0) << result.errors;
            EXPECT_NE(result.errors.find("(key SHA-256 " + fingerprint.output.substr(0, 64) + ")"), std::string::npos)
                << result.errors;
            continue;
        }
        EXPECT_EQ(result.exit_code, 1) << r.key;
        EXPECT_NE(result.errors.find(r.says), std::string::npos) << result.errors;
        EXPECT_FALSE(file_exists(folder.at("q.upd"))) << r.key;
    }

    // verify and list say which release a package carries. A release target that is not last or holds no release
    // number is an error with --key, as an updater built with it refuses the package, and a warning without, as
    // one without a key installs it as a file.
    const std::string r = "ulverno/ulvupdate.release";
    struct release_row {
        std::string package;
        const char* release;    // as verify and list say it
        const char* signature;  // as verify --key says it
        const char* where;      // the record of a release target refused, and the fault
        std::string fault;
    };
    const release_row releases[] = {
        {protected_package({{"windows/f", "x"}, {r, "5\n"}}), "release: 5", "release 5", "", ""},
        {protected_package({{"windows/f", "x"}}), "release: none", "no release", "", ""},
        {protected_package({{r, "5\n"}, {"windows/f", "x"}}), "release: none", "a release target that is refused",
         "record 1 at byte 0: ", "the release target \"" + r + "\" is not the package's last target"},
        {protected_package({{"windows/f", "x"}, {"ulverno/ULVUPDATE.release", "05\n"}}), "release: none",
         "a release target that is refused", "record 2 at byte ",
         "the release target \"ulverno/ULVUPDATE.release\" holds no release number"},
    };
    for (const release_row& row : releases) {
        write_file(package, row.package);
        ASSERT_EQ(ulvpack({"sign", "--key", keys + "/vendor.key", package}).exit_code, 0);
        for (const bool keyed : {false, true}) {
            const process_result result = keyed ? ulvpack({"verify", "--key", keys + "/vendor.pub", package})
                                                : ulvpack({"verify", package});
            EXPECT_EQ(result.exit_code, keyed && !row.fault.empty() ? 1 : 0) << result.errors;
            EXPECT_NE(result.errors.find(": " + std::string(row.release) + "\n"), std::string::npos) << result.errors;
            if (keyed) {
                EXPECT_NE(result.errors.find("), " + std::string(row.signature) + "\n"), std::string::npos) << result.errors;
            }
            if (row.fault.empty()) continue;
            EXPECT_NE(result.errors.find((keyed ? "error: " : "warning: ") + std::string(row.where)), std::string::npos);
            EXPECT_NE(result.errors.find(row.fault), std::string::npos) << result.errors;
            EXPECT_NE(result.errors.find(keyed ? ": an updater built with this key refuses the package\n"
                                               : ": an updater built with a key refuses the package, one without installs"),
                      std::string::npos) << result.errors;
        }
        const std::string listed = ulvpack({"list", package}).output;
        EXPECT_NE(listed.find(row.fault.empty() ? "\n" + std::string(row.release) + "\n"
                                                : "\nrelease: refused by an updater built with a key: " + row.fault),
                  std::string::npos) << listed;
    }
}
