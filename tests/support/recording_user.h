// Test stand-in for the services that face the user or the clock, and for the
// flushes to disk: it records message boxes, pauses, started programs and
// flushes instead of blocking on them. Files stay real, in scratch folders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct shown_box {
    std::string text;
    std::string caption;
    unsigned style;
};

struct user_recording {
    std::vector<shown_box> boxes;
    std::vector<uint32_t> pauses;        // milliseconds asked for, in order
    std::vector<std::string> started;    // follow-up commands, in order
    uint32_t start_result = 33;          // what start_program answers
    std::function<void(size_t)> on_pause;  // called with the count of pauses so far
    std::vector<std::string> flushes;    // "file PATH" or "folder PATH", paths as the system resolves them
    std::string failing_flush;           // the entry of `flushes` that fails, if any
};

// The recording of the current test; reset_recording() clears it.
user_recording& recorded();
void reset_recording();
