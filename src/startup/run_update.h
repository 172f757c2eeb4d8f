// The updater's main routine: options, the package, and what follows it.
#pragma once

// Reads the options before the package path ("-X command": start command
// after a successful update; "-s": no completion notice; a later -X replaces
// an earlier one), applies the package, then starts the command or shows the
// completion notice. Everything after the package path is ignored. Every
// failure is shown to the user; the result is always 0, the exit code.
int run_update(int argc, const char* const* argv);
