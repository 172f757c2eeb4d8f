// The commands of ulvpack. Each takes the arguments after its own name and
// returns the exit status: 0 done (or valid), 1 refused (or invalid), 2 usage
// or I/O error. Messages go to standard error, in English.
#pragma once

int run_create(int argc, char** argv);
int run_list(int argc, char** argv);
int run_verify(int argc, char** argv);
int run_extract(int argc, char** argv);

constexpr int exit_ok = 0;
constexpr int exit_refused = 1;
constexpr int exit_usage = 2;

// True when `argument` asks for help.
bool asks_for_help(const char* argument);
