// Names given in UTF-8 (on the command line, or as file names on disk) turned
// into the code page 1252 names that packages hold.
#pragma once

#include <string>

// Converts `utf8` into `name_1252`. A letter given decomposed, as some systems
// store file names (a base letter followed by a combining accent), is
// composed first when the code page has the composed letter. False when a
// character remains that the code page cannot represent; `problem` then shows
// the name as it would read, with "?" in its place.
bool name_from_utf8(const std::string& utf8, std::string& name_1252, std::string& problem);
