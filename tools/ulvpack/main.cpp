// ulvpack: makes, lists, verifies and extracts Ulverno update packages, with
// the updater's own reader and name rules.
#include "commands.h"

#include <cstdio>
#include <cstring>

namespace {

const char usage[] =
    "usage: ulvpack COMMAND [ARGUMENTS]\n"
    "\n"
    "  create -o OUT.upd [--piece-size SIZE] SOURCE...   pack files into a package\n"
    "  list [--json] PKG                                 list its targets\n"
    "  verify PKG                                        would the updater apply it?\n"
    "  extract PKG DIR                                   write its targets under DIR\n"
    "\n"
    "ulvpack COMMAND --help tells more about each command.\n";

}  // namespace

bool asks_for_help(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

int main(int argc, char** argv) {
    if (argc >= 2 && asks_for_help(argv[1])) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    struct command {
        const char* name;
        int (*run)(int, char**);
    };
    const command commands[] = {{"create", run_create}, {"list", run_list}, {"verify", run_verify}, {"extract", run_extract}};
    for (const command& c : commands) {
        if (argc >= 2 && std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    if (argc >= 2) std::fprintf(stderr, "ulvpack: unknown command \"%s\"\n", argv[1]);
    std::fputs(usage, stderr);
    return exit_usage;
}
