// What came of a step of a command, as one value.
#pragma once

#include <string>
#include <utility>

struct outcome {
    enum kind_of_outcome {
        done,
        refused,    // what was given is not what the updater can take: exit 1
        failed,     // the system could not do it (a file unreadable, a disk full): exit 2
        malformed,  // an argument is no argument of the command: the usage, exit 2
    };
    kind_of_outcome kind = done;
    std::string text;  // what to say, when not done

    bool ok() const { return kind == done; }
};

inline outcome refusal(std::string text) {
    return {outcome::refused, std::move(text)};
}

inline outcome failure(std::string text) {
    return {outcome::failed, std::move(text)};
}
