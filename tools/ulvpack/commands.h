// The commands of ulvpack. Each takes the arguments after its own name, in
// UTF-8, and returns the exit status: 0 done (or valid), 1 refused (or
// invalid), 2 usage or I/O error. Messages go to standard error, in English.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The tool: the command named by argv[1], given the arguments after it.
int run_ulvpack(int argc, char** argv);

// Runs `run`; whatever the system or the memory does, the tool ends with a
// message and a status a pipeline can read, never with an escaped exception.
int run_guarded(const std::function<int()>& run);

int run_create(int argc, char** argv);
int run_list(int argc, char** argv);
int run_verify(int argc, char** argv);
int run_extract(int argc, char** argv);
int run_sign(int argc, char** argv);

// Signs the package at `path` with the private key `key` for `command`, and
// says so; returns the exit status.
int sign_written_package(const char* command, const std::string& path, const std::string& key);

constexpr int exit_ok = 0;
constexpr int exit_refused = 1;
constexpr int exit_usage = 2;
constexpr int exit_io_error = 2;  // the same status as a usage error: the tool could not do its work

// An option of a command: a switch, which sets `flag`, or an option that
// takes the next argument as its value (`what` it is, for messages) into
// `value`: given at most once, or, when `again`, as often as wished, the
// last one counting.
struct option {
    const char* name;
    bool* flag = nullptr;
    const char** value = nullptr;
    const char* what = "value";
    bool again = false;
};

// What a command takes: its options, and how many operands. The arguments
// are read in order, and the first that is wrong is said; help asked for
// before it is given, or, with `help_first`, help asked for anywhere.
struct command_line {
    const char* command;  // for messages
    const char* usage;
    std::vector<option> options;
    size_t fewest_operands;
    size_t most_operands;
    const char* too_many;  // said when more operands come
    bool help_first = false;
};

// parse_arguments' result when the command may go on.
constexpr int arguments_parsed = -1;

// Reads the arguments after a command's name by `line`: options where they
// go, the rest in `operands`. Returns arguments_parsed, or, having shown the
// usage (help asked for, or what is wrong with the arguments), the exit status.
int parse_arguments(const command_line& line, int argc, char** argv, std::vector<const char*>& operands);

// True when `argument` asks for help.
bool asks_for_help(const char* argument);

// True when `argument` looks like an option: a dash and more.
bool is_option(const char* argument);

// Says what is wrong with the command line, when `problem` is not empty, then
// shows the usage; returns exit_usage.
int usage_error(const char* command, const char* usage, const std::string& problem);

// "unknown option \"ARGUMENT\"".
std::string unknown_option(const char* argument);
