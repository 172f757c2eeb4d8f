// The command-line tail that the updater splits into words.
#pragma once

// The part of the full command line `command_line` (as GetCommandLineW gives
// it, in UTF-8) after the program's own name: the blanks (spaces and tabs) before the
// name are skipped, then the name, which ends at the next quote, tab or NUL
// when it begins with a quote and at the next space, tab or NUL otherwise,
// then a closing quote right after it, then the spaces and tabs that follow.
// Points into `command_line`.
const char* command_line_tail(const char* command_line);
