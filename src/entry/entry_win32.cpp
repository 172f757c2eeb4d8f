// The product's entry. The tail is taken from the full command line rather
// than from the C runtime's argument, whose rules for the program's name
// differ (blanks before it, a word glued to its closing quote).
#include "startup/command_line_tail.h"
#include "startup/split_command_line.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*runtime_tail*/, int /*show_command*/) {
    return split_command_line(command_line_tail(GetCommandLineA()));
}
