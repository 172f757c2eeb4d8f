// The release number of signed updates, so that an installation only moves
// forward: a package carries its release as its last target, which the
// signature covers, and the copy that target leaves in the install folder is
// the installation's memory of the last release it began to write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The target that carries a package's release, and the file it becomes in
// the install folder.
constexpr char release_target_name[] = "ulverno/ulvupdate.release";
constexpr char release_file_name[] = "ulvupdate.release";

// The longest release text: ten digits and a line feed.
constexpr size_t longest_release_text = 11;

// The text of a release: its number in decimal, then a line feed.
std::string release_text(uint32_t release);

// Reads a release text: a decimal number from 1 to 4294967295, written
// without a sign, blanks or leading zeros, then one line feed and nothing
// more. False for anything else.
bool parse_release(std::string_view text, uint32_t& release);

// True when `name` (UTF-8, with its root prefix) installs the release file,
// as Windows compares names.
bool names_release_target(std::string_view name);
