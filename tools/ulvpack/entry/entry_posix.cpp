// The entry of the Linux ulvpack.
#include "commands.h"

#include <csignal>

int main(int argc, char** argv) {
    // A file size limit must show as a failed write, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    return run_guarded([&] { return run_ulvpack(argc, argv); });
}
