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

namespace {

const option* option_named(const command_line& line, const char* argument) {
    for (const option& candidate : line.options) {
        if (std::strcmp(candidate.name, argument) == 0) return &candidate;
    }
    return nullptr;
}

}  // namespace

int parse_arguments(const command_line& line, int argc, char** argv, std::vector<const char*>& operands) {
    for (int i = 0; line.help_first && i < argc; ++i) {
        if (!asks_for_help(argv[i])) continue;
        std::fputs(line.usage, stdout);
        return exit_ok;
    }
    operands.clear();
    for (int i = 0; i < argc; ++i) {
        const option* known = option_named(line, argv[i]);
        if (known == nullptr && asks_for_help(argv[i])) {
            std::fputs(line.usage, stdout);
            return exit_ok;
        }
        if (known == nullptr && is_option(argv[i])) return usage_error(line.command, line.usage, unknown_option(argv[i]));
        if (known == nullptr) {
            operands.push_back(argv[i]);
            if (operands.size() > line.most_operands) return usage_error(line.command, line.usage, line.too_many);
        } else if (known->flag != nullptr) {
            *known->flag = true;
        } else if (i + 1 == argc) {
            return usage_error(line.command, line.usage, std::string(argv[i]) + " takes one " + known->what);
        } else if (*known->value != nullptr && !known->again) {
            return usage_error(line.command, line.usage, std::string(argv[i]) + " is given twice");
        } else {
            *known->value = argv[++i];
        }
    }
    if (operands.size() < line.fewest_operands) return usage_error(line.command, line.usage, "");
    return arguments_parsed;
}

int usage_error(const char* command, const char* command_usage, const std::string& problem) {
    if (!problem.empty()) say(command, problem);
    std::fputs(command_usage, stderr);
    return exit_usage;
}
