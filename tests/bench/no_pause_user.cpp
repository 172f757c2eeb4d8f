// The user services of the benchmark's updater: no pause after a creation, a
// message as one line on standard error, never waiting, and no follow-up
// program (the benchmark runs with -s).
#include "platform/platform.h"

#include <cstdio>

void pause_for(uint32_t /*milliseconds*/) {}

uint32_t start_program(const char* /*command*/, int /*show_command*/) {
    return 2;
}

void show_message_box(const char* text, const char* caption, unsigned /*style*/) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}
