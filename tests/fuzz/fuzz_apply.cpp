// Fuzzes the whole application of a package, on real files in a scratch
// folder laid out as a small Windows installation. Pauses are recorded, not
// slept, so that a target that cannot be created fails fast. Checks, for
// every input: exactly one message on failure and none on success; nothing
// written outside the three roots; the package deleted only when every target
// it names was written in full, and kept unchanged otherwise.
#include "fuzz_check.h"

#include "package/apply_package.h"
#include "package/target_names.h"
#include "package/target_roots.h"
#include "package_scan.h"
#include "support/recording_user.h"
#include "support/scratch.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// base/ holds only work/; work/ holds the roots and becomes the current
// folder, since the install root ("C:\ULVERNO") is a relative path on POSIX.
// Corpus paths given to this program must therefore be absolute.
struct fuzz_folders {
    std::string base;
    std::string work;
    std::string package;
};

// Made once and never destroyed: the clean-up at exit still needs it.
const fuzz_folders& folders() {
    static const fuzz_folders& made = *[] {
        std::string pattern = (fs::temp_directory_path() / "ulvfuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
        auto* f = new fuzz_folders{pattern, pattern + "/work", pattern + "/work/package/update.upd"};
        make_folder(f->work + "/package");
        require(chdir(f->work.c_str()) == 0, "the scratch folder is the current one");
        setenv("WINDIR", (f->work + "/windows").c_str(), 1);
        std::atexit([] { fs::remove_all(folders().base); });
        return f;
    }();
    return made;
}

// Empty roots, with a few subfolders for names to lead into.
void reset_roots(const fuzz_folders& f) {
    for (const char* root : {"/windows", "/C:\\ULVERNO"}) fs::remove_all(f.work + root);
    for (const char* folder : {"/windows/system32/drivers", "/windows/fonts", "/C:\\ULVERNO/bin", "/C:\\ULVERNO/doc"}) {
        make_folder(f.work + folder);
    }
    write_file(f.work + "/windows/ulverno.ini", "[ulvekern]\nulvedrive=C\nulvedir=ULVERNO\n");
}

bool under(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size() + 1, folder + "/") == 0;
}

void require_nothing_outside_roots(const fuzz_folders& f) {
    for (const auto& entry : fs::recursive_directory_iterator(f.base)) {
        const std::string path = entry.path().string();
        if (entry.is_directory() && !entry.is_symlink()) continue;
        require(under(path, f.work + "/windows") || under(path, f.work + "/C:\\ULVERNO") || path == f.package,
                "nothing is written outside the roots");
    }
}

// Scans the package as the package tool does, and notes what it should leave
// behind once applied: each target file (named as the file system sees it)
// with its pieces in record order, the last copy winning.
void scan_with_expectations(const std::string& package, scan_result& scan, std::map<std::string, std::string>& files) {
    target_roots roots;
    resolve_roots(roots);
    std::string* current = nullptr;
    scan_handlers handlers;
    std::string why;
    handlers.on_piece = [&](const scanned_target& target, const unsigned char* bytes, uint32_t length) {
        if (target.pieces == 1) {
            const heap_string path = map_name(roots, target.name.c_str());
            require(path != nullptr, "a name the scan accepts maps to a path");
            current = &files[fs::path(path.get()).lexically_normal().string()];
            current->clear();
        }
        current->append(reinterpret_cast<const char*>(bytes), length);
        return true;
    };
    scan_package(package, handlers, scan, why);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz_folders& f = folders();
    reset_roots(f);
    reset_recording();
    const std::string contents(reinterpret_cast<const char*>(data), size);
    write_file(f.package, contents);
    scan_result scan;
    std::map<std::string, std::string> expected;
    scan_with_expectations(f.package, scan, expected);

    const int result = apply_package(f.package.c_str());

    require(result == 0 || result == 1, "the result is a success flag");
    require(recorded().boxes.size() == (result == 1 ? 0u : 1u), "one message on failure, none on success");
    require(file_exists(f.package) == (result == 0), "the package is deleted exactly on success");
    require_nothing_outside_roots(f);
    if (result == 0) {
        require(read_file(f.package) == contents, "a package that failed stays unchanged");
        return 0;
    }
    require(scan.would_apply || scan.name_clash, "the updater applies only what the package tool calls valid");
    if (!scan.would_apply) return 0;  // names that only Windows confuses: the POSIX port installed what it could
    require(!expected.empty(), "an applied package names a target");
    for (const auto& [path, bytes] : expected) {
        require(file_exists(path) && read_file(path) == bytes, "every target of a deleted package is written in full");
    }
    return 0;
}
