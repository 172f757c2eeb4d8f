#include "package_release.h"

#include "package/release_number.h"

void watch_release(scan_handlers& handlers, package_release& release) {
    handlers.on_piece = [earlier = handlers.on_piece, &release](const scanned_target& target, const unsigned char* bytes,
                                                                uint32_t length) {
        if (target.pieces == 1) {
            note_target(release.carried, target.name.c_str());
            // A second release target leaves the first one not last: the first is the one to name.
            if (release.carried.reading && release.record == 0) {
                release.name = target.name;
                release.record = target.first_record;
                release.offset = target.first_offset;
            }
        }
        note_piece(release.carried, bytes, length);
        return !earlier || earlier(target, bytes, length);
    };
}

uint32_t release_number(const package_release& release) {
    uint32_t number = 0;
    if (!release.carried.present || !release.carried.last || !parse_release(release.carried.text, number)) return 0;
    return number;
}

std::string release_problem(const package_release& release) {
    if (!release.carried.present || release_number(release) != 0) return "";
    const std::string target = "the release target " + quoted_name(release.name);
    if (!release.carried.last) return target + " is not the package's last target";
    return target + " holds no release number (a decimal number from 1 to 4294967295 and a line feed)";
}

std::string release_in_words(const package_release& release) {
    if (!release.carried.present) return "no release";
    const uint32_t number = release_number(release);
    return number != 0 ? "release " + std::to_string(number) : "a release target that is refused";
}
