#include "commands.h"
#include "report.h"

#include <cstdio>
#include <cstring>

bool asks_for_help(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

bool is_option(const char* argument) {
    return argument[0] == '-' && argument[1] != '\0';
}

std::string unknown_option(const char* argument) {
    return "unknown option \"" + std::string(argument) + "\"";
}

int usage_error(const char* command, const char* command_usage, const std::string& problem) {
    if (!problem.empty()) say(command, problem);
    std::fputs(command_usage, stderr);
    return exit_usage;
}
