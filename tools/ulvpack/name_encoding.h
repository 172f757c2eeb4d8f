// Names given in UTF-8 (on the command line, or as file names on disk) made
// into names that a package can hold, in code page 1252.
#pragma once

#include <string>

// Gives the name `utf8` as a package holds it: `name` in UTF-8 and `stored`
// in code page 1252. A letter given decomposed, as some systems store file
// names (a base letter followed by a combining accent), is composed when the
// code page has the composed letter. False when a character remains that the
// code page cannot represent; `problem` then shows the name as it would
// read, with "?" in its place.
bool packable_name(const std::string& utf8, std::string& name, std::string& stored, std::string& problem);
