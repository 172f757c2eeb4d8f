#include "startup/run_update.h"

#include "notify/messages.h"
#include "notify/show_message.h"
#include "package/apply_package.h"
#include "platform/platform.h"

#include <cstring>

int run_update(int argc, const char* const* argv) {
    const char* follow_up = nullptr;
    bool silent = false;
    int at = 1;
    while (at < argc) {
        if (std::strcmp(argv[at], "-X") == 0) {
            ++at;
            if (at < argc) follow_up = argv[at++];
        } else if (std::strcmp(argv[at], "-s") == 0) {
            silent = true;
            ++at;
        } else {
            break;
        }
    }
    if (at >= argc) {
        show_message(text_no_package);
        return 0;
    }
    if (!apply_package(argv[at])) return 0;  // already shown

    if (follow_up != nullptr) {
        if (start_program(follow_up, show_command_show) <= 31) show_message(text_command_not_started, follow_up);
    } else if (!silent) {
        show_message(text_update_finished);
    }
    return 0;
}
