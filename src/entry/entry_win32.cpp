// The product's entry. The tail is taken from the full command line rather
// than from the C runtime's argument, whose rules for the program's name
// differ (blanks before it, a word glued to its closing quote), and in its
// wide form, so that paths in any script reach the program whole, whatever
// the system's code page.
#include "startup/command_line_tail.h"
#include "platform/library_search.h"
#include "platform/text_codec.h"
#include "startup/split_command_line.h"

#include <windows.h>

#include <cwchar>
#include <memory>
#include <new>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*runtime_tail*/, int /*show_command*/) {
    load_libraries_from_system_only();
    const wchar_t* wide = GetCommandLineW();
    const size_t units = std::wcslen(wide);
    const size_t size = utf8_from_utf16(wide, units, nullptr);
    const std::unique_ptr<char[]> line(new (std::nothrow) char[size + 1]);
    if (!line) return 0;
    line[utf8_from_utf16(wide, units, line.get())] = '\0';
    return split_command_line(command_line_tail(line.get()));
}
