// Shows every text of the catalogue through the updater's own show_message,
// in the order the Wine test expects them, one box after the other.
#include "notify/messages.h"
#include "notify/show_message.h"

#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string long_path = "C:\\" + std::string(290, 'l') + "\\x.upd";  // 300 characters
    show_message(text_no_package);
    show_message(text_package_not_opened, "C:\\ulverno\\paquet.upd");
    show_message(text_package_not_opened, long_path.c_str());
    show_message(text_package_malformed);
    show_message(text_target_not_written, "C:\\ulverno/bin/x.dll");
    show_message(text_command_not_started, "C:\\ulverno\\suite.exe");
    show_message(text_update_finished);
    return 0;
}
