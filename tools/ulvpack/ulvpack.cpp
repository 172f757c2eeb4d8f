// ulvpack: makes, lists, verifies, extracts and signs Ulverno update
// packages, with the updater's own reader, walk and name rule. The entry
// points of each system (entry/) hand their arguments, in UTF-8, to
// run_ulvpack.
#include "commands.h"
#include "package_scan.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

namespace {

const char usage[] =
    "usage: ulvpack COMMAND [ARGUMENTS]\n"
    "\n"
    "  create -o OUT.upd [--since BASE] SOURCE...   pack files into a package (or what changed since BASE)\n"
    "  list [--json] [--folders] PKG               list its targets (and the folders they need)\n"
    "  verify [--against DIR] [--key PUB] PKG      would the updater apply it (on that installation)?\n"
    "  extract [--force] PKG DIR                   write its targets under DIR\n"
    "  sign --key KEY PKG                          write PKG.sig, which a signed updater requires\n"
    "  --version                                   say which version this is (that of its release)\n"
    "\n"
    "ulvpack COMMAND --help tells more about each command.\n"
    "Exit status: 0 done, 1 refused or invalid, 2 usage or I/O error.\n";

}  // namespace

int run_ulvpack(int argc, char** argv) {
    if (argc >= 2 && asks_for_help(argv[1])) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ulvpack %s\n", ULV_VERSION);
        return exit_ok;
    }
    struct command {
        const char* name;
        int (*run)(int, char**);
    };
    const command commands[] = {{"create", run_create}, {"list", run_list}, {"verify", run_verify}, {"extract", run_extract}, {"sign", run_sign}};
    for (const command& c : commands) {
        if (argc >= 2 && std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    if (argc >= 2) std::fprintf(stderr, "ulvpack: unknown command \"%s\"\n", printable_text(argv[1]).c_str());
    std::fputs(usage, stderr);
    return exit_usage;
}

int run_guarded(const std::function<int()>& run) {
    try {
        return run();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ulvpack: out of memory\n");
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "ulvpack: %s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "ulvpack: unexpected failure\n");
    }
    return exit_io_error;
}
