// The POSIX port of the services that face the user or the clock: pauses,
// the follow-up program and the message box.
//
// Kept apart from the file services so that tests and fuzzers can link a
// recording stand-in that neither sleeps nor blocks, over the same real files.
#include "platform/platform.h"
#include "platform/text_codec.h"

#include <cerrno>
#include <ctime>
#include <spawn.h>
#include <string>
#include <string_view>
#include <unistd.h>

extern char** environ;

void pause_for(uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// The command is one program path, started without arguments and not waited
// for. WinExec's codes are kept: above 31 means started, 2 means not found.
uint32_t start_program(const char* command, int /*show_command*/) {
    std::string program = command;
    pid_t child;
    char* arguments[] = {program.data(), nullptr};
    return posix_spawnp(&child, program.c_str(), nullptr, nullptr, arguments, environ) == 0 ? 33 : 2;
}

namespace {

// The text as a terminal may show it: a control character (C0, DEL, C1),
// which a terminal would take as a command, and a byte that is not UTF-8
// each become "?".
std::string shown(std::string_view text) {
    std::string line;
    for (size_t at = 0; at < text.size();) {
        const utf8_character c = character_at(text, at);
        if (c.valid && !is_control_character(c.code_point)) {
            line.append(text, at, c.length);
        } else {
            line += '?';
        }
        at += c.length;
    }
    return line;
}

}  // namespace

// One line on standard error. A person at a terminal acknowledges it with
// Enter; anything else (a script, a test) is not held up.
void show_message_box(const char* text, const char* caption, unsigned /*style*/) {
    std::string line = shown(std::string(caption) + ": " + text) + '\n';
    for (size_t done = 0; done < line.size();) {
        const ssize_t put = write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    if (isatty(STDIN_FILENO)) {
        char c;
        while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
        }
    }
}
