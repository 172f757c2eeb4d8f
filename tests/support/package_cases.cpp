#include "support/package_cases.h"

#include "support/package_bytes.h"

namespace {

using bytes = std::string;

}  // namespace

std::vector<package_case> package_cases() {
    const bytes a = whole("windows/a.txt", "abc");
    bytes payload_past_end = whole("windows/p.bin", "abc");
    payload_past_end[payload_past_end.size() - 4] = 4;
    bytes name_without_nul = whole("windows/n.bin", "");
    name_without_nul.resize(name_without_nul.size() - 4);
    name_without_nul[0] = static_cast<char>(name_without_nul.size());
    const bytes second = piece("windows/t.bin", 9, 3, "def");

    return {
        {"one target", a, true},
        {"an empty target", whole("windows/e.txt", ""), true},
        {"three pieces with odd offsets",
         piece("windows/t.bin", 9, 2, "abc") + piece("windows/x", 9, 0, "def") + piece("windows/y", 9, 6, "ghi"), true},
        {"a piece reaching the size early", piece("windows/s.bin", 10, 8, "xy"), true},
        {"one byte after the last target", a + "\x01", true},
        {"three bytes after the last target", a + bytes("\x05\x00\x00", 3), true},
        {"a cut record after the last target", a + whole("windows/b.txt", "0123456789").substr(0, 12), true},
        {"an unended length after the last target", a + "\x80\x80\x80\x80", true},
        {"a length below 4 after the last target", a + bytes("\x02\x00\x00\x00", 4), true},
        {"a loaded record with a bad header after the last target", a + bytes("\x05\x80\x80\x80\x80", 5), false},
        {"an empty package", "", false},
        {"three bytes", bytes("\x04\x00\x00", 3), false},
        {"a record length of 1", bytes("\x01\x00\x00\x00", 4), false},
        {"a record length of 3", bytes("\x03\x00\x00\x00", 4), false},
        {"a length that does not end within 4 bytes", "\x80\x80\x80\x80\x01xyz", false},
        {"a huge length on a tiny file", "\xFF\xFF\xFF\x7F" "abcdefgh", false},
        {"a record cut short", a.substr(0, a.size() - 1), false},
        {"a record of 4 bytes", bytes("\x04\x00\x00\x00", 4), false},
        {"a name without NUL", name_without_nul, false},
        {"a varint cut by the record's end", bytes("\x06\x00\x00\x00\x01\x80", 6), false},
        {"a size whose fifth byte reaches past 32 bits",  // its low 32 bits: a size the piece never reaches
         bytes("\x15\x00\x00\x00windows/a\0\xFF\xFF\xFF\xFF\x1F\x00\x00", 21), false},
        {"opaque fields with bits past 32", bytes("\x16\x80\x80\x80\x80\x7F\x00\x00windows/a\0\x01\x00\x01x", 22), true},
        {"a payload past its record", payload_past_end, false},
        {"an unknown prefix", whole("elsewhere/x", "x"), false},
        {"a prefix in other case", whole("Windows/x", "x"), false},
        {"a prefix without its slash", whole("windowsx", "x"), false},
        {"a name climbing with ..", whole("windows/../x", "x"), false},
        {"a name climbing with backslashes", whole("windows/a\\..\\..\\x", "x"), false},
        {"a name climbing with dots and a space", whole("windows/.. /x", "x"), false},
        {"a name climbing with three dots", whole("windows/.../x", "x"), false},
        {"a package ending inside a target", piece("windows/t.bin", 9, 0, "abc"), false},
        {"a package ending inside the second of three records",
         piece("windows/t.bin", 9, 0, "abc") + second.substr(0, second.size() - 1), false},
        {"a malformed second target", a + whole("other/x", "x"), false},
        {"a device name", a + whole("windows/sub/nul.txt", "x"), false},
        {"a stream of another file", a + whole("windows/a.txt:hidden", "x"), false},
        {"a name ending in a separator", a + whole("windows/d/", ""), false},
        {"a file below a file", a + whole("windows/A.TXT/x", "x"), false},
        {"a reserved character", a + whole("windows/a|b.txt", "x"), false},
        {"a control character", a + whole("windows/a\tb.txt", "x"), false},
        {"a protected package", protected_package({{"windows/a.txt", "abc"}, {"windows/e.txt", ""}}), true},
        {"a protected package with a reserved character last",
         protected_package({{"windows/a.txt", "abc"}, {"windows/b*.txt", "b"}}), false},
        {"a protected package of version 1", protected_package({{"windows/a.txt", "abc"}, {"windows/e.txt", ""}}, 1), true},
        {"a protected package of version 2", protected_package({{"windows/a.txt", "abc"}, {"windows/e.txt", ""}}, 2), true},
        {"two releases spliced after the first record", [] {
             const size_t boundary = protected_package({{"windows/a.txt", "abc"}}).size();
             return protected_package({{"windows/a.txt", "abc"}, {"windows/e.txt", "e"}}).substr(0, boundary) +
                    protected_package({{"windows/a.txt", "ABC"}, {"windows/e.txt", "E"}}).substr(boundary);
         }(), false},
        {"a damaged piece in version 1", [] {
             bytes damaged = protected_package({{"windows/a.txt", "abc"}}, 1);
             damaged.back() ^= 0x01;
             return damaged;
         }(), false},
        {"a protected package with stray bytes", protected_package({{"windows/a.txt", "abc"}}) + "\x01", false},
        {"a protected package with a damaged marker", [] {
             bytes damaged = protected_package({{"windows/a.txt", "abc"}});
             damaged[damaged.find("\xD5\x98")] ^= 0x04;
             return damaged;
         }(), false},
        // Offset and length add up in 32 bits, as stored packages expect: here to 5, short of the size.
        {"an offset that wraps short of the size", piece("windows/w.bin", 10, 0xFFFFFFFFu, "abcdef"), false},
    };
}

std::vector<release_step> release_steps() {
    struct row { const char* what; const char* release; bool release_last; bool signed_takes; };
    const row rows[] = {
        {"release 5", "5\n", true, true},
        {"release 4", "4\n", true, false},
        {"release 5 again", "5\n", true, true},
        {"release 6", "6\n", true, true},
        {"no release", nullptr, true, false},
        {"a release in the middle", "7\n", false, false},
    };
    std::vector<release_step> steps;
    for (const row& r : rows) {
        const std::string release = r.release != nullptr ? whole("ulverno/ulvupdate.release", r.release) : "";
        const std::string named = whole("ulverno/a.txt", r.what);
        steps.push_back({r.what, r.release, r.signed_takes, r.release_last ? named + release : release + named});
    }
    return steps;
}
