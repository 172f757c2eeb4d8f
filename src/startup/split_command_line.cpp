#include "startup/split_command_line.h"

#include "startup/run_update.h"

#include <cstring>
#include <new>

namespace {

// Moves `at` to the start of the next word, and returns that word's length
// (0 when none is left).
size_t next_word(const char*& at) {
    while (*at == ' ') ++at;
    size_t length = 0;
    while (at[length] != '\0' && at[length] != ' ') ++length;
    return length;
}

}  // namespace

bool build_argument_list(const char* tail, argument_list& list) {
    int words = 0;
    for (const char* at = tail; size_t length = next_word(at); at += length) ++words;

    list.argc = 1 + words;
    list.argv = new (std::nothrow) const char*[static_cast<size_t>(list.argc) + 1]();
    if (list.argv == nullptr) return false;
    list.argv[0] = program_name;
    int index = 1;
    for (const char* at = tail; size_t length = next_word(at); at += length) {
        char* word = new (std::nothrow) char[length + 1];
        if (word == nullptr) {
            release_argument_list(list);
            return false;
        }
        std::memcpy(word, at, length);
        word[length] = '\0';
        list.argv[index++] = word;
    }
    return true;
}

void release_argument_list(argument_list& list) {
    if (list.argv != nullptr) {
        for (int i = 1; i < list.argc; ++i) delete[] list.argv[i];
        delete[] list.argv;
    }
    list.argv = nullptr;
    list.argc = 0;
}

int split_command_line(const char* tail) {
    argument_list list;
    if (!build_argument_list(tail, list)) return 0;
    const int result = run_update(list.argc, list.argv);
    release_argument_list(list);
    return result;
}
