// ulvpack verify: would the updater apply this package, and if not, why?
#include "commands.h"
#include "report.h"

#include <cstdio>
#include <string>

namespace {

const char usage[] =
    "usage: ulvpack verify PKG\n"
    "\n"
    "Reads the whole package as the updater would and says whether the updater\n"
    "would apply it; if not, why, with the record number and byte offset.\n"
    "Warnings name what the updater accepts but a release should not ship.\n"
    "Exit status: 0 valid, 1 invalid, 2 usage or I/O error.\n";

}  // namespace

int run_verify(int argc, char** argv) {
    if (argc == 1 && asks_for_help(argv[0])) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (argc != 1) {
        std::fputs(usage, stderr);
        return exit_usage;
    }
    package_scan scan;
    if (!scan_or_complain("verify", argv[0], scan)) return exit_usage;
    print_findings(scan);
    if (refusal(scan) != nullptr) {
        std::fprintf(stderr, "%s: invalid: the updater would refuse it\n", argv[0]);
        return exit_refused;
    }
    std::fprintf(stderr, "%s: valid: %zu targets, %llu bytes, %u records\n", argv[0], scan.targets.size(),
                 static_cast<unsigned long long>(total_bytes(scan)), scan.records);
    return exit_ok;
}
