// ulvpack: makes, lists, verifies and extracts Ulverno update packages, with
// the updater's own reader, walk and name rule.
#include "commands.h"

#include "platform/text_codec.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <cwchar>
#include <windows.h>
#else
#include <csignal>
#endif

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

int run_command(int argc, char** argv) {
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
    if (argc >= 2) std::fprintf(stderr, "ulvpack: unknown command \"%s\"\n", argv[1]);
    std::fputs(usage, stderr);
    return exit_usage;
}

// Whatever the system or the memory does, the tool ends with a message and a
// status a pipeline can read, never with an escaped exception.
template <typename Run>
int run_guarded(Run run) {
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

#ifdef _WIN32
// The console belongs to the administrator's session and outlives the tool:
// its output code page goes back to what it was on every way out.
UINT console_code_page = 0;  // 0: no console

void restore_console_code_page() {
    if (console_code_page != 0) SetConsoleOutputCP(console_code_page);
}

// Ctrl+C, Ctrl+Break, the console closing: the process ends without
// returning from wmain, so the code page goes back first.
BOOL WINAPI on_console_event(DWORD) {
    restore_console_code_page();
    return FALSE;  // the system's handler then ends the process, as before
}

// The arguments in UTF-8, whatever the ANSI code page: paths in any script
// are then opened as given (the file services take UTF-8 paths).
int run_wide(int argc, wchar_t** wide) {
    std::vector<std::string> arguments;
    std::vector<char*> argv;
    for (int i = 0; i < argc; ++i) {
        const size_t units = std::wcslen(wide[i]);
        std::string utf8(utf8_from_utf16(wide[i], units, nullptr), '\0');
        utf8_from_utf16(wide[i], units, utf8.data());
        arguments.push_back(utf8);
    }
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return run_command(argc, argv.data());
}
#endif

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** wide) {
    console_code_page = GetConsoleOutputCP();
    if (console_code_page != 0) {
        SetConsoleCtrlHandler(on_console_event, TRUE);
        SetConsoleOutputCP(CP_UTF8);  // messages and listings are UTF-8
    }
    const int status = run_guarded([&] { return run_wide(argc, wide); });
    restore_console_code_page();
    return status;
}
#else
int main(int argc, char** argv) {
    // A file size limit must show as a failed write, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    return run_guarded([&] { return run_command(argc, argv); });
}
#endif
