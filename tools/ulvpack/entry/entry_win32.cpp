// The entry of ulvpack.exe: wmain takes the arguments as the system holds
// them, whatever the ANSI code page, and the console shows UTF-8 while the
// tool runs.
#include "commands.h"

#include "platform/library_search.h"

#include "platform/text_codec.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

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
    return run_ulvpack(argc, argv.data());
}
}  // namespace

int wmain(int argc, wchar_t** wide) {
    load_libraries_from_system_only();
    console_code_page = GetConsoleOutputCP();
    if (console_code_page != 0) {
        SetConsoleCtrlHandler(on_console_event, TRUE);
        SetConsoleOutputCP(CP_UTF8);  // messages and listings are UTF-8
    }
    const int status = run_guarded([&] { return run_wide(argc, wide); });
    restore_console_code_page();
    return status;
}
