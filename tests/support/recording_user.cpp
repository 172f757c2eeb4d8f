#include "support/recording_user.h"

#include "platform/platform.h"

#include <filesystem>
#include <string>

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

namespace {

int record_flush(const std::string& entry) {
    recorded().flushes.push_back(entry);
    return entry == recorded().failing_flush ? 0 : 1;
}

}  // namespace

int flush_file(int handle) {
    return record_flush("file " + std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(handle)).string());
}

int flush_folder_of(const char* path) {
    return record_flush("folder " + std::filesystem::canonical(std::filesystem::path(path).parent_path()).string());
}
