// ulvpack extract: writes the targets of a package under a folder, to look at
// them without installing them.
#include "commands.h"
#include "report.h"

#include "platform/codepage_1252.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char usage[] =
    "usage: ulvpack extract PKG DIR\n"
    "\n"
    "Writes every target of the package as DIR/<prefix>/<rest of its name>,\n"
    "creating folders, never outside DIR.\n"
    "Exit status: 0 extracted, 1 the package is invalid (extracted up to the fault), 2 usage or I/O error.\n";

// DIR/<prefix>/<rest>, the rest split at "/" and "\" as Windows does. False
// for a component that could lead elsewhere (the updater refuses ".." already;
// a drive or root inside a component is refused here).
bool extraction_path(const fs::path& folder, const scanned_target& target, fs::path& path) {
    const std::string prefix = target.prefix->text;
    const std::string rest = utf8_from_1252(target.name.substr(prefix.size()));
    path = folder / fs::u8path(prefix.substr(0, prefix.size() - 1));
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = std::min(rest.find_first_of("/\\", start), rest.size());
        const fs::path part = fs::u8path(rest.substr(start, end - start));
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." || part.has_root_name() || part.has_root_directory()) return false;
        path /= part;
    }
    return true;
}

class extractor {
public:
    explicit extractor(const fs::path& folder) : folder(folder) {}

    bool take(const scanned_target& target, const unsigned char* bytes, uint32_t length) {
        if (target.pieces == 1 && !begin(target)) return false;
        out.write(reinterpret_cast<const char*>(bytes), length);
        if (target.complete) out.close();
        if (!out) problem = "cannot write " + current.u8string();
        return static_cast<bool>(out);
    }

    std::string problem;
    unsigned files = 0;

private:
    bool begin(const scanned_target& target) {
        if (out.is_open()) out.close();
        if (!extraction_path(folder, target, current)) {
            problem = "the name " + quoted_name(target.name) + " cannot be extracted safely";
            return false;
        }
        std::error_code error;
        fs::create_directories(current.parent_path(), error);
        out.clear();
        out.open(current, std::ios::binary | std::ios::trunc);
        ++files;
        return true;
    }

    fs::path folder;
    fs::path current;
    std::ofstream out;
};

}  // namespace

int run_extract(int argc, char** argv) {
    if (argc >= 1 && asks_for_help(argv[0])) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (argc != 2) {
        std::fputs(usage, stderr);
        return exit_usage;
    }
    extractor extract(fs::u8path(argv[1]));
    package_scan scan;
    const piece_handler take = [&](const scanned_target& target, const unsigned char* bytes, uint32_t length) {
        return extract.take(target, bytes, length);
    };
    if (!scan_or_complain("extract", argv[0], scan, take)) return exit_usage;
    if (!extract.problem.empty()) {
        std::fprintf(stderr, "ulvpack extract: %s\n", extract.problem.c_str());
        return exit_usage;
    }
    print_findings(scan);
    if (refusal(scan) != nullptr) {
        std::fprintf(stderr, "ulvpack extract: %s is invalid: extracted %u files up to the fault\n", argv[0], extract.files);
        return exit_refused;
    }
    std::fprintf(stderr, "ulvpack extract: %u files written under %s\n", extract.files, argv[1]);
    return exit_ok;
}
