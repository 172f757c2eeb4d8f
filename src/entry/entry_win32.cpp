// The product's entry. The tail is taken from the full command line rather
// than from the C runtime's argument, whose rules for the program's name
// differ (blanks before it, a word glued to its closing quote), and in its
// wide form, so that paths in any script reach the program whole, whatever
// the system's code page.
#include "startup/command_line_tail.h"
#include "startup/split_command_line.h"

#include <windows.h>

#include <memory>
#include <new>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*runtime_tail*/, int /*show_command*/) {
    const wchar_t* wide = GetCommandLineW();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    const std::unique_ptr<char[]> line(size > 0 ? new (std::nothrow) char[size] : nullptr);
    if (!line || WideCharToMultiByte(CP_UTF8, 0, wide, -1, line.get(), size, nullptr, nullptr) != size) return 0;
    return split_command_line(command_line_tail(line.get()));
}
