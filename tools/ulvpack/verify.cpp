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
    "Says whether the package is protected (a CRC-32C per piece, its length\n"
    "declared) or classic, which the updater cannot check for damage.\n"
    "Exit status: 0 valid, 1 invalid, 2 usage error, or the package cannot be read.\n";

}  // namespace

int run_verify(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (asks_for_help(argv[i])) {
            std::fputs(usage, stdout);
            return exit_ok;
        }
    }
    if (argc != 1) return usage_error("verify", usage, "");
    if (is_option(argv[0])) return usage_error("verify", usage, unknown_option(argv[0]));
    scan_handlers handlers;
    handlers.on_finding = print_finding;
    scan_result result;
    if (!scan_or_complain("verify", argv[0], handlers, result)) return exit_usage;
    if (result.records > 0) {
        say("verify", std::string(argv[0]) + ": integrity: " +
                          (result.protected_package ? "CRC-32C per piece, length checked" : "none (classic package)"));
    }
    if (result.refused) {
        say("verify", std::string(argv[0]) + ": invalid: the updater would refuse it");
        return exit_refused;
    }
    say("verify", std::string(argv[0]) + ": valid: " + plural(result.targets, "target") + ", " +
                      plural(result.bytes, "byte") + ", " + plural(result.records, "record"));
    return exit_ok;
}
