#include "support/recording_user.h"

#include "platform/platform.h"

user_recording& recorded() {
    static user_recording recording;
    return recording;
}

void reset_recording() {
    recorded() = user_recording{};
}

void pause_for(uint32_t milliseconds) {
    recorded().pauses.push_back(milliseconds);
    if (recorded().on_pause) recorded().on_pause(recorded().pauses.size());
}

uint32_t start_program(const char* command, int /*show_command*/) {
    recorded().started.emplace_back(command);
    return recorded().start_result;
}

void show_message_box(const char* text, const char* caption, unsigned style) {
    recorded().boxes.push_back({text, caption, style});
}
