#include "startup/split_command_line.h"

#include "startup/command_line_tail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(build_argument_list, splits_at_spaces_only) {
    struct row { const char* tail; std::vector<std::string> words; };
    const row rows[] = {
        {"", {}},
        {"    ", {}},
        {"-s pkg.upd", {"-s", "pkg.upd"}},
        {"   a    b   ", {"a", "b"}},
        {"a\tb", {"a\tb"}},
        {"\"C:\\Program Files\\x.upd\"", {"\"C:\\Program", "Files\\x.upd\""}},
        {"-X C:\\suite.exe -s C:\\p.upd extra", {"-X", "C:\\suite.exe", "-s", "C:\\p.upd", "extra"}},
    };
    for (const row& r : rows) {
        argument_list list;
        ASSERT_TRUE(build_argument_list(r.tail, list));
        ASSERT_EQ(list.argc, static_cast<int>(r.words.size()) + 1) << r.tail;
        EXPECT_STREQ(list.argv[0], program_name);
        for (size_t i = 0; i < r.words.size(); ++i) EXPECT_EQ(list.argv[i + 1], r.words[i]) << r.tail;
        EXPECT_EQ(list.argv[list.argc], nullptr);
        release_argument_list(list);
        EXPECT_EQ(list.argv, nullptr);
    }
}

TEST(command_line_tail, drops_the_program_name_as_windows_writes_it) {
    struct row { const char* line; const char* tail; };
    const row rows[] = {
        {"ulvupdate.exe -s pkg.upd", "-s pkg.upd"},
        {"C:\\u\\ulvupdate.exe", ""},
        {"", ""},
        {"   \t ulvupdate.exe  \t -s  pkg.upd ", "-s  pkg.upd "},  // blanks before the name
        {"\"C:\\Program Files\\ulvupdate.exe\" pkg.upd", "pkg.upd"},
        {"\"C:\\u\\ulvupdate.exe\"pkg.upd", "pkg.upd"},  // a word glued to the closing quote
        {"\"C:\\u\\ulvupdate.exe", ""},                  // no closing quote
        {"\"C:\\u\\a\tb.exe\" x", "b.exe\" x"},          // a tab ends even a quoted name
        {"ulvupdate.exe\t\"a b\"", "\"a b\""},
        {"ulve\"date.exe x", "x"},                       // a quote inside an unquoted name
    };
    for (const row& r : rows) EXPECT_STREQ(command_line_tail(r.line), r.tail) << r.line;
}
