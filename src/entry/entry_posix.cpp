// The POSIX entry: the words after the program's name, joined by single
// spaces, make the same command-line tail that Windows hands the product,
// in code page 1252 as an ANSI program sees it.
#include "platform/codepage_1252.h"
#include "startup/split_command_line.h"

#include <csignal>
#include <string>

int main(int argc, char** argv) {
    // A file size limit must show as a failed write, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) tail += ' ';
        tail += argv[i];
    }
    return split_command_line(utf8_to_1252_replacing(tail).c_str());
}
