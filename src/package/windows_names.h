// Target names as Windows tells files apart: whatever their case (as NTFS
// compares the letters of code page 1252, the names packages can hold), split
// at "/" and "\", each component without the dots and spaces that end it,
// which Windows drops when it stores a name. For the updater and the package
// tool alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Takes the component at the start of `rest` into `part`, as spelled: the
// text up to the first "/" or "\", as Windows splits a path, or all of
// `rest`. True when a separator ended it: `rest` then holds what follows,
// the next component (empty after a separator that ends the name). False
// when it was the last, and `rest` is empty. A name with n separators has
// n + 1 components, the empty ones included: "a", "" and "b" for "a//b".
// The one splitter of names; the functions below view its components as
// Windows stores them.
bool take_name_part(std::string_view& rest, std::string_view& part);

// `name` up to its last separator, the folder its last component lies in:
// "ulverno/a" for "ulverno/a\\b"; "" for a name of one component.
std::string_view folder_of_name(std::string_view name);

// Takes the next component off the start of `rest`, split at "/" and "\" as
// Windows splits a path, into `part`: spelled as Windows stores it, without
// the dots and spaces that end it. Components of which nothing remains (empty
// ones, ".", " ") are passed over. False when no component remains. `part`
// points into the text `rest` points into.
bool next_windows_part(std::string_view& rest, std::string_view& part);

// Every component of `name` that next_windows_part gives, in order:
// "ulverno", "a" and "b" for "ulverno/a. \\b".
std::vector<std::string> windows_parts(std::string_view name);

// Makes the capitals of code page 1252 in `name` (UTF-8) small: ASCII,
// Latin-1 but for the multiplication sign, S and Z with caron, the ligature
// OE, Y with diaeresis. Each letter keeps its length in bytes, so that the
// name keeps its length and its separators; a byte that is not UTF-8 stays.
void fold_name(std::string& name);

// The name as Windows tells files apart: case folded, its components joined
// by "/" (windows_parts). Two names install the same file exactly when they
// have the same key.
std::string windows_key(std::string_view name);
