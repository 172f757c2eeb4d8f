#include "package/apply_package.h"

#include "notify/messages.h"
#include "support/package_bytes.h"
#include "support/recording_user.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include "package/record_encoder.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string malformed = text_package_malformed;

int open_descriptors() {
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    while (readdir(fds) != nullptr) ++count;
    closedir(fds);
    return count;
}

class apply_package_test : public ::testing::Test {
protected:
    scratch_folder folder;
    const std::string package = folder.at("update.upd");

    // Applies the package; whatever the outcome, no handle may stay open.
    int apply(const std::string& contents) {
        write_file(package, contents);
        const int before = open_descriptors();
        const int result = apply_package(package.c_str());
        EXPECT_EQ(open_descriptors(), before) << "a handle was left open";
        return result;
    }
    std::string windows(const std::string& rest) const { return folder.windows() + "/" + rest; }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const shown_box& box : recorded().boxes) out.push_back(box.text);
        return out;
    }
    std::string not_written(const std::string& path) const {
        return "Erreur : écriture du fichier " + path + " impossible.";
    }
    // A folder as the system resolves it, as the flushes are recorded.
    static std::string resolved(const std::string& path) { return std::filesystem::canonical(path).string(); }
};

// From now on, every read of the open package fails as a failing disk would:
// its descriptor is made to refer to a folder.
void make_package_unreadable(const std::string& package, const std::string& some_folder) {
    const int unreadable = open(some_folder.c_str(), O_RDONLY | O_DIRECTORY);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == std::filesystem::canonical(package)) {
            dup2(unreadable, std::stoi(entry.path().filename().string()));
        }
    }
    close(unreadable);
}

size_t address_space_in_use() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmSize:", 0) == 0) return std::stoul(line.substr(7)) * 1024;
    }
    return 0;
}

}  // namespace

TEST_F(apply_package_test, installs_an_empty_target_and_deletes_the_package) {
    write_file(windows("empty.dat"), "old contents");
    EXPECT_EQ(apply(whole("windows/empty.dat", "")), 1);
    EXPECT_EQ(read_file(windows("empty.dat")), "");
    EXPECT_FALSE(file_exists(package));
    EXPECT_TRUE(texts().empty());
    EXPECT_EQ(recorded().pauses, std::vector<uint32_t>{100});  // a pause follows even a first success
}

TEST_F(apply_package_test, installs_into_every_root) {
    folder.write_profile("[ulvekern]\nulvedrive=C\nulvedir=ULVERNO\n");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);  // on POSIX "C:\ULVERNO" is a folder name under the current one
    make_folder(folder.at("C:\\ULVERNO/bin"));
    EXPECT_EQ(apply(whole("ulverno/bin/x.dll", "dll") + whole("windows/x.ini", "ini") +
                    whole("windows_system/y.dll", "sys")), 1);
    EXPECT_EQ(read_file(folder.at("C:\\ULVERNO/bin/x.dll")), "dll");
    EXPECT_EQ(read_file(windows("x.ini")), "ini");
    EXPECT_EQ(read_file(folder.system() + "/y.dll"), "sys");
    EXPECT_TRUE(texts().empty());
    EXPECT_EQ(chdir(previous), 0);
}

TEST_F(apply_package_test, writes_pieces_in_record_order_whatever_their_offsets) {
    const std::string pieces = piece("windows/t.bin", 9, 2, "abc") + piece("windows/other-name", 9, 0, "def") +
                               piece("windows/ignored", 9, 6, "ghi") + whole("windows/next.bin", "n");
    EXPECT_EQ(apply(pieces), 1);
    EXPECT_EQ(read_file(windows("t.bin")), "abcdefghi");
    EXPECT_EQ(read_file(windows("next.bin")), "n");
    EXPECT_FALSE(file_exists(windows("other-name")));
    EXPECT_FALSE(file_exists(windows("ignored")));
}

TEST_F(apply_package_test, a_piece_reaching_the_size_completes_the_target_early) {
    EXPECT_EQ(apply(piece("windows/short.bin", 10, 8, "xy") + whole("windows/after.bin", "a")), 1);
    EXPECT_EQ(read_file(windows("short.bin")), "xy");
    EXPECT_EQ(read_file(windows("after.bin")), "a");
}

TEST_F(apply_package_test, accepts_what_follows_a_completed_target) {
    const std::string complete = whole("windows/a.txt", "abc");
    const std::string cut_record = whole("windows/b.txt", "0123456789").substr(0, 12);
    for (const std::string& tail : {std::string(), std::string("\x01"), std::string("\x05\x00\x00", 3), cut_record}) {
        reset_recording();
        EXPECT_EQ(apply(complete + tail), 1) << tail.size();
        EXPECT_FALSE(file_exists(package));
        EXPECT_EQ(read_file(windows("a.txt")), "abc");
        EXPECT_TRUE(texts().empty());
    }
}

TEST_F(apply_package_test, refuses_an_empty_package_and_keeps_it) {
    EXPECT_EQ(apply(""), 0);
    EXPECT_EQ(texts(), std::vector<std::string>{malformed});
    EXPECT_TRUE(file_exists(package));
}

TEST_F(apply_package_test, keeps_the_first_piece_when_the_package_ends_inside_the_second) {
    const std::string second = piece("windows/t.bin", 9, 3, "def");
    const std::string contents = piece("windows/t.bin", 9, 0, "abc") + second.substr(0, second.size() - 1) ;
    EXPECT_EQ(apply(contents), 0);
    EXPECT_EQ(read_file(windows("t.bin")), "abc");
    EXPECT_EQ(texts(), std::vector<std::string>{malformed});
    EXPECT_EQ(read_file(package), contents);
}

TEST_F(apply_package_test, refuses_a_package_ending_before_its_target_completes) {
    EXPECT_EQ(apply(piece("windows/t.bin", 9, 0, "abc")), 0);
    EXPECT_EQ(texts(), std::vector<std::string>{malformed});
    EXPECT_TRUE(file_exists(package));
}

TEST_F(apply_package_test, refuses_malformed_records_and_keeps_earlier_targets) {
    std::string payload_too_long = whole("windows/p.bin", "abc");
    payload_too_long[payload_too_long.size() - 4] = 4;  // piece_length 4 in a record holding 3 bytes
    std::string no_nul = whole("windows/n.bin", "");
    no_nul.resize(no_nul.size() - 4);
    no_nul[0] = static_cast<char>(no_nul.size());  // the record ends inside the name
    const std::string bad_records[] = {
        payload_too_long,
        no_nul,
        whole("Windows/case.bin", "x"),
        whole("elsewhere/x.bin", "x"),
        whole("windows/../escaped.bin", "x"),
        whole("windows/sub\\..\\..\\escaped.bin", "x"),
        whole("windows/.. /escaped.bin", "x"),
        whole("windows/NUL", "x"),              // a device: the bytes would vanish
        whole("windows/sub/Con .txt", "x"),
        whole("windows/first.bin:hidden", "x"),  // a stream of another file
    };
    for (const std::string& bad : bad_records) {
        reset_recording();
        const std::string contents = whole("windows/first.bin", "1") + bad + whole("windows/last.bin", "3");
        EXPECT_EQ(apply(contents), 0);
        EXPECT_EQ(texts(), std::vector<std::string>{malformed});
        EXPECT_EQ(read_file(windows("first.bin")), "1");
        EXPECT_FALSE(file_exists(windows("last.bin")));
        EXPECT_FALSE(file_exists(folder.at("escaped.bin")));
        EXPECT_EQ(read_tree(folder.windows()), (file_tree{{"first.bin", "1"}}));
        EXPECT_EQ(read_file(package), contents);
    }
}

TEST_F(apply_package_test, reports_a_missing_package_by_its_path) {
    EXPECT_EQ(apply_package(folder.at("absent.upd").c_str()), 0);
    EXPECT_EQ(texts(), std::vector<std::string>{"Erreur : ouverture de " + folder.at("absent.upd") + " impossible."});
}

TEST_F(apply_package_test, gives_up_on_a_target_after_150_attempts) {
    // A FIFO, even with a program at its other end, would take the bytes away: it is no file to write.
    ASSERT_EQ(mkfifo(windows("fifo").c_str(), 0600), 0);
    const int other_end = open(windows("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    for (const char* name : {"missing/x.dll", "fifo"}) {
        reset_recording();
        const std::string contents = whole("windows/a.txt", "a") + whole("windows/" + std::string(name), "x");
        EXPECT_EQ(apply(contents), 0);
        EXPECT_EQ(texts(), std::vector<std::string>{not_written(windows(name))});
        EXPECT_EQ(recorded().pauses.size(), 1u + 149u);
        EXPECT_EQ(read_file(windows("a.txt")), "a");
        EXPECT_EQ(read_file(package), contents);
    }
    close(other_end);
}

// A path the system can never open (here a component of 400 bytes, which
// the name rule allows: 200 characters) gets no attempts: a protected
// package is refused before anything is written, a classic one at its turn.
TEST_F(apply_package_test, reports_a_path_too_long_to_open_at_once) {
    std::string long_name;
    for (int i = 0; i < 200; ++i) long_name += "\xE9";  // code page 1252, two bytes each in UTF-8
    std::string utf8_name;
    for (int i = 0; i < 200; ++i) utf8_name += "\xC3\xA9";
    struct row { std::string contents; file_tree installed; size_t pauses; };
    const row rows[] = {
        {protected_package({{"windows/a.txt", "a"}, {"windows/" + long_name, "x"}}), {}, 0},
        {whole("windows/a.txt", "a") + whole("windows/" + long_name, "x"), {{"a.txt", "a"}}, 1},
    };
    for (const row& r : rows) {
        reset_recording();
        std::filesystem::remove(windows("a.txt"));
        EXPECT_EQ(apply(r.contents), 0);
        EXPECT_EQ(texts(), std::vector<std::string>{not_written(windows(utf8_name))});
        EXPECT_EQ(recorded().pauses.size(), r.pauses);
        EXPECT_EQ(read_tree(folder.windows()), r.installed);
        EXPECT_EQ(read_file(package), r.contents);
    }
}

TEST_F(apply_package_test, refuses_to_write_the_package_over_itself) {
    const std::string self = windows("self.upd");
    make_folder(windows("links"));
    for (const char* name : {"self.upd", "links/hard.upd"}) {
        reset_recording();
        const std::string contents = whole("windows/a.txt", "a") + whole("windows/" + std::string(name), "x") +
                                     whole("windows/b.txt", "b");
        write_file(self, contents);
        std::filesystem::remove(windows("links/hard.upd"));
        ASSERT_EQ(link(self.c_str(), windows("links/hard.upd").c_str()), 0);  // another name of the same file
        EXPECT_EQ(apply_package(self.c_str()), 0);
        EXPECT_EQ(texts(), std::vector<std::string>{not_written(windows(name))});
        EXPECT_EQ(read_file(self), contents);
        EXPECT_FALSE(file_exists(windows("b.txt")));
    }
}

TEST_F(apply_package_test, writes_a_target_that_can_be_created_only_on_the_fifth_attempt) {
    recorded().on_pause = [&](size_t pauses) {
        if (pauses == 4) make_folder(windows("late"));  // a program lets go of the target
    };
    EXPECT_EQ(apply(whole("windows/late/x.dll", "x")), 1);
    EXPECT_EQ(read_file(windows("late/x.dll")), "x");
    EXPECT_EQ(recorded().pauses, std::vector<uint32_t>(5, 100));
}

// Release 1 is installed from the bytes read; release 2, put at the same
// path meanwhile (in place of the file, or written into it), stays.
TEST_F(apply_package_test, leaves_a_new_package_put_in_its_place_meanwhile) {
    const std::string release_2 = whole("windows/a.txt", "release 2, a longer one");
    for (const bool in_place : {false, true}) {
        reset_recording();
        recorded().on_pause = [&](size_t) {
            write_file(in_place ? package : folder.at("new.upd"), release_2);
            if (!in_place) std::filesystem::rename(folder.at("new.upd"), package);
        };
        EXPECT_EQ(apply(whole("windows/a.txt", "release 1")), 1) << in_place;
        EXPECT_EQ(read_file(windows("a.txt")), "release 1") << in_place;
        EXPECT_EQ(read_file(package), release_2) << in_place;
        EXPECT_TRUE(texts().empty()) << in_place;
    }
    // Its folder swapped for a link to another that holds a file of its name: that file is not deleted.
    reset_recording();
    make_folder(folder.at("in"));
    make_folder(folder.at("victim"));
    write_file(folder.at("victim/update.upd"), "victim");
    write_file(folder.at("in/update.upd"), whole("windows/a.txt", "release 1"));
    recorded().on_pause = [&](size_t) {
        std::filesystem::rename(folder.at("in"), folder.at("in.old"));
        std::filesystem::create_directory_symlink(folder.at("victim"), folder.at("in"));
    };
    EXPECT_EQ(apply_package(folder.at("in/update.upd").c_str()), 1);
    EXPECT_EQ(read_file(folder.at("victim/update.upd")), "victim");
    EXPECT_TRUE(file_exists(folder.at("in.old/update.upd")));
}

// Whatever another program does to a protected package while it is applied
// (writes another release of the same layout over it, cuts it, appends to
// it), each record is checked against what the proof read: nothing foreign
// is installed, success is never reported, and the package is kept.
TEST_F(apply_package_test, never_installs_what_changed_while_it_was_applied) {
    const std::string original =
        protected_package({{"windows/a.txt", "a1"}, {"windows/b.txt", "b1"}, {"windows/c.txt", "c1"}});
    const std::string release_2 =
        protected_package({{"windows/a.txt", "a2"}, {"windows/b.txt", "b2"}, {"windows/c.txt", "c2"}});
    const std::string four = protected_package(
        {{"windows/a.txt", "a1"}, {"windows/b.txt", "b1"}, {"windows/c.txt", "c1"}, {"windows/d.txt", "d1"}});
    const std::string fourth_record = four.substr(original.size());  // the first three take as many bytes
    struct row { const char* what; std::string changed; file_tree installed; };
    const row rows[] = {
        {"another release written over it", release_2, {{"a.txt", "a1"}}},
        {"cut inside a record", original.substr(0, original.size() / 2), {{"a.txt", "a1"}}},
        {"cut after its first record", original.substr(0, original.find("windows/b.txt") - 12), {{"a.txt", "a1"}}},
        {"a record appended", original + fourth_record, {{"a.txt", "a1"}, {"b.txt", "b1"}, {"c.txt", "c1"}}},
    };
    for (const row& r : rows) {
        reset_recording();
        std::filesystem::remove_all(folder.windows());
        make_folder(folder.system());
        recorded().on_pause = [&](size_t pauses) {
            if (pauses == 1) write_file(package, r.changed);  // the first target is created
        };
        EXPECT_EQ(apply(original), 0) << r.what;
        EXPECT_EQ(texts(), std::vector<std::string>{malformed}) << r.what;
        EXPECT_EQ(read_tree(folder.windows()), r.installed) << r.what;
        EXPECT_EQ(read_file(package), r.changed) << r.what;
    }
}

TEST_F(apply_package_test, detects_a_short_write_and_keeps_the_package) {
    const std::string contents = whole("windows/small.bin", "ok") + whole("windows/big.bin", std::string(4096, 'b'));
    write_file(package, contents);
    rlimit original;
    getrlimit(RLIMIT_FSIZE, &original);
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = original;
    limited.rlim_cur = 1000;  // the disk fills up inside the second target
    setrlimit(RLIMIT_FSIZE, &limited);
    const int result = apply_package(package.c_str());
    setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previous_handler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(texts(), std::vector<std::string>{not_written(windows("big.bin"))});
    EXPECT_EQ(read_file(windows("small.bin")), "ok");
    EXPECT_EQ(read_file(package), contents);
}

TEST_F(apply_package_test, flushes_every_target_and_each_folder_once_before_deleting_the_package) {
    make_folder(windows("sub"));
    EXPECT_EQ(apply(whole("windows/a.txt", "a") + piece("windows_system/b.dll", 2, 0, "b") +
                    piece("windows_system/b.dll", 2, 1, "c") + whole("windows/sub\\c.txt", "c") +
                    whole("windows/sub/d.txt", "d") + whole("windows/e.txt", "e")), 1);
    const std::string windows = resolved(folder.windows());
    const std::string system = resolved(folder.system());
    // "sub\c.txt" lies in windows/ here, in windows\sub on Windows: the folder is flushed for both readings.
    EXPECT_EQ(recorded().flushes,
              (std::vector<std::string>{"file " + windows + "/a.txt", "file " + system + "/b.dll",
                                        "file " + windows + "/sub\\c.txt", "file " + windows + "/sub/d.txt",
                                        "file " + windows + "/e.txt", "folder " + windows, "folder " + windows,
                                        "folder " + windows + "/sub", "folder " + system}));
    EXPECT_FALSE(file_exists(package));
}

TEST_F(apply_package_test, keeps_the_package_when_a_flush_fails) {
    const std::string contents = whole("windows/a.txt", "a") + whole("windows_system/b.dll", "b");
    struct row { std::string failing; std::string target; };
    const row rows[] = {
        {"file " + resolved(folder.system()) + "/b.dll", folder.system() + "/b.dll"},
        {"folder " + resolved(folder.windows()), windows("a.txt")},
    };
    for (const row& r : rows) {
        reset_recording();
        recorded().failing_flush = r.failing;
        EXPECT_EQ(apply(contents), 0);
        EXPECT_EQ(texts(), std::vector<std::string>{not_written(r.target)});
        EXPECT_EQ(read_file(package), contents);
    }
}

TEST_F(apply_package_test, keeps_the_package_when_it_cannot_be_read_after_a_target) {
    const std::string contents = whole("windows/a.txt", "a") + whole("windows/b.txt", "b");
    recorded().on_pause = [&](size_t) { make_package_unreadable(package, folder.path()); };
    EXPECT_EQ(apply(contents), 0);
    EXPECT_EQ(texts(), std::vector<std::string>{malformed});
    EXPECT_EQ(read_file(windows("a.txt")), "a");
    EXPECT_FALSE(file_exists(windows("b.txt")));
    EXPECT_EQ(read_file(package), contents);
}

TEST_F(apply_package_test, keeps_the_package_when_a_record_cannot_be_held_in_memory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's allocator ends the process instead of failing an allocation";
#endif
    // After a first target, a record of 200 MiB that the file holds (sparse: no disk used).
    const std::string first = whole("windows/a.txt", "a");
    const uint32_t record = 200u << 20;
    write_file(package, first + encode_varint(record));
    std::filesystem::resize_file(package, first.size() + record);
    rlimit original;
    getrlimit(RLIMIT_AS, &original);
    rlimit limited = original;
    limited.rlim_cur = address_space_in_use() + (64u << 20);
    setrlimit(RLIMIT_AS, &limited);
    const int result = apply_package(package.c_str());
    setrlimit(RLIMIT_AS, &original);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(texts(), std::vector<std::string>{malformed});
    EXPECT_EQ(read_file(windows("a.txt")), "a");
    EXPECT_TRUE(file_exists(package));
}
