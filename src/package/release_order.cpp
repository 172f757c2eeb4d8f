#include "package/release_order.h"

#include "package/release_number.h"
#include "platform/platform.h"

#include <algorithm>

void note_target(carried_release& carried, const char* name) {
    if (carried.present) carried.last = false;
    carried.reading = names_release_target(name);
    if (!carried.reading) return;
    carried.present = true;
    carried.text.clear();
}

void note_piece(carried_release& carried, const unsigned char* bytes, uint32_t length) {
    if (!carried.reading) return;
    const size_t room = longest_release_text + 1 - std::min(carried.text.size(), longest_release_text + 1);
    carried.text.append(reinterpret_cast<const char*>(bytes), std::min<size_t>(length, room));
}

namespace {

// The release the installation holds: false when its file is there and
// cannot be read; `held` is 0 for none.
bool read_installed(const char* installed, uint32_t& held) {
    held = 0;
    const int file = open_for_reading(installed);
    if (file == -1) return nothing_at(installed) == 1;
    char text[longest_release_text + 1];
    const int32_t length = read_bytes(file, text, sizeof text);
    close_file(file);
    if (length < 0) return false;
    if (!parse_release(std::string_view(text, static_cast<size_t>(length)), held)) held = 0;
    return true;
}

}  // namespace

release_verdict compare_with_installed(const carried_release& carried, const char* installed) {
    uint32_t held = 0;
    if (!read_installed(installed, held)) return release_verdict::installed_unknown;
    if (!carried.present) return held == 0 ? release_verdict::forward : release_verdict::refused;
    uint32_t release = 0;
    if (!carried.last || !parse_release(carried.text, release)) return release_verdict::refused;
    return release >= held ? release_verdict::forward : release_verdict::refused;
}
