// From the command-line tail to the argument list that run_update reads.
#pragma once

// The text of entry 0; nothing reads it.
constexpr char program_name[] = "ulvupdate";

// argc entries and a null after them. Entry 0 is program_name, never released;
// entries 1 to argc - 1 are heap copies of the words of the tail, in order.
struct argument_list {
    int argc = 0;
    const char** argv = nullptr;
};

// Builds the list of the words of `tail`. A word is a run of characters other
// than the space: tabs, quotes and backslashes are ordinary characters.
// Returns false, with nothing allocated, when memory runs out.
bool build_argument_list(const char* tail, argument_list& list);

// Releases the word copies, then the array.
void release_argument_list(argument_list& list);

// Runs the whole update, not only the splitting its name says: builds the
// list of `tail`, runs run_update with it, releases it, and returns
// run_update's result, which is always 0.
int split_command_line(const char* tail);
