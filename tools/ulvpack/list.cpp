// ulvpack list: the targets of a package, where each would go, and totals.
#include "commands.h"
#include "report.h"

#include "platform/codepage_1252.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char usage[] =
    "usage: ulvpack list [--json] PKG\n"
    "\n"
    "One line a target: name, size, number of pieces and where it would be\n"
    "installed; then totals. --json prints the same for scripts.\n"
    "Exit status: 0 listed, 1 the package is invalid (listed up to the fault), 2 usage or I/O error.\n";

std::string json_string(const std::string& utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void print_text(const package_scan& scan) {
    std::printf("%-48s %12s %7s  %s\n", "NAME", "SIZE", "PIECES", "INSTALLED IN");
    for (const scanned_target& target : scan.targets) {
        std::printf("%-48s %12u %7u  %s\n", utf8_from_1252(target.name).c_str(), target.file_size, target.pieces,
                    root_description(*target.prefix));
    }
    std::printf("%zu targets, %llu bytes, %u records\n", scan.targets.size(),
                static_cast<unsigned long long>(total_bytes(scan)), scan.records);
}

void print_json(const package_scan& scan) {
    std::printf("{\"targets\": [");
    for (size_t i = 0; i < scan.targets.size(); ++i) {
        const scanned_target& target = scan.targets[i];
        std::string prefix = target.prefix->text;
        prefix.pop_back();
        std::printf("%s\n  {\"name\": %s, \"size\": %u, \"pieces\": %u, \"root\": %s}", i ? "," : "",
                    json_string(utf8_from_1252(target.name)).c_str(), target.file_size, target.pieces,
                    json_string(prefix).c_str());
    }
    std::printf("%s],\n \"target_count\": %zu, \"total_bytes\": %llu, \"records\": %u, \"valid\": %s}\n",
                scan.targets.empty() ? "" : "\n", scan.targets.size(), static_cast<unsigned long long>(total_bytes(scan)),
                scan.records, refusal(scan) ? "false" : "true");
}

}  // namespace

int run_list(int argc, char** argv) {
    bool json = false;
    const char* path = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (asks_for_help(argv[i])) {
            std::fputs(usage, stdout);
            return exit_ok;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            path = nullptr;
            break;
        }
    }
    if (path == nullptr) {
        std::fputs(usage, stderr);
        return exit_usage;
    }
    package_scan scan;
    if (!scan_or_complain("list", path, scan)) return exit_usage;
    json ? print_json(scan) : print_text(scan);
    if (const scan_finding* error = refusal(scan)) {
        std::fprintf(stderr, "ulvpack list: %s is invalid: record %u at byte %llu: %s\n", path, error->record,
                     static_cast<unsigned long long>(error->offset), error->text.c_str());
        return exit_refused;
    }
    return exit_ok;
}
