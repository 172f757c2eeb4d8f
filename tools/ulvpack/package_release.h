// The release a package carries (package/release_number.h), read during a
// scan with the updater's own rules (package/release_order.h): what list and
// verify show, and what create --since compares with the previous release.
#pragma once

#include "package_scan.h"

#include "package/release_order.h"

#include <cstdint>
#include <string>

struct package_release {
    carried_release carried;
    std::string name;     // the release target's name, as the package spells it
    uint64_t record = 0;  // the first record of that target, counted from 1 (0: none)
    uint64_t offset = 0;  // and its byte offset
};

// Makes `handlers` note, besides what they did, what the package they scan
// carries in `release`.
void watch_release(scan_handlers& handlers, package_release& release);

// The release the package carries; 0 when it carries none, or one that an
// updater built with a key refuses (release_problem).
uint32_t release_number(const package_release& release);

// Why an updater built with a key refuses the package's release target: not
// its last target, or not a release number. "" when it carries none, or a
// sound one.
std::string release_problem(const package_release& release);

// "release 5", "no release", or "a release target that is refused".
std::string release_in_words(const package_release& release);
