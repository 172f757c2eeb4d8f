// The product's entry: the C runtime hands WinMain the command-line tail.
#include "startup/split_command_line.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR tail, int /*show_command*/) {
    return split_command_line(tail);
}
