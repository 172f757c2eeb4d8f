#include "support/process.h"

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<std::string> merged_environment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        const size_t name_length = equals ? static_cast<size_t>(equals - *entry) + 1 : std::strlen(*entry);
        bool replaced = false;
        for (const std::string& e : extra) replaced = replaced || e.compare(0, name_length, *entry, name_length) == 0;
        if (!replaced) merged.emplace_back(*entry);
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// Reads both pipes until the child has ended. Its own children (Wine starts
// helpers that may outlive it) can keep the pipes open, so their end is not
// awaited: once the child is gone, what is left in them is taken and no more.
int collect_until_exit(pid_t child, int out_fd, int err_fd, process_result& result) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&result.output, &result.errors};
    int status = 0;
    bool ended = false;
    while (!ended) {
        ended = waitpid(child, &status, WNOHANG) == child;
        if (!ended) poll(fds, 2, 50);
        for (int i = 0; i < 2; ++i) {
            char chunk[4096];
            ssize_t got = -1;
            while (fds[i].fd >= 0 && (got = read(fds[i].fd, chunk, sizeof chunk)) > 0) {
                sinks[i]->append(chunk, static_cast<size_t>(got));
            }
            if (got == 0) fds[i].fd = -1;  // end of the pipe: stop polling it
        }
    }
    return status;
}

}  // namespace

process_result run_process(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                           const std::string& folder) {
    process_result result;
    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return result;
    if (pipe2(err_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    std::vector<std::string> argument_copy = arguments;
    std::vector<std::string> environment_copy = merged_environment(environment);
    std::vector<char*> argv = pointers(argument_copy);
    std::vector<char*> envp = pointers(environment_copy);
    pid_t child;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (spawned == 0) {
        const int status = collect_until_exit(child, out_pipe[0], err_pipe[0], result);
        if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    return result;
}
