// The POSIX entry: the words after the program's name, joined by single
// spaces, make the same command-line tail that Windows hands the product,
// in the bytes the system gave them.
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
    return split_command_line(tail.c_str());
}
