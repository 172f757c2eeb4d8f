// The target names a package has installed so far, as Windows tells files
// apart: case folded, split at "/" and "\", with the dots and spaces that end
// a component dropped. Tells when a new name installs the same file again, or
// a file where an earlier name needs a folder, or the reverse: the updater
// never makes or removes folders, so such a package can never be applied.
//
// Only 64-bit hashes of the names and of their folders are kept, in two
// open-addressed tables kept between 3/8 and 3/4 full: 11 to 22 bytes a name
// or a folder, and 32 for an instant while a table grows, whatever the
// names' lengths. Two different names taken for one would need a hash
// collision (about one chance in 10^7 for millions of names).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum class name_clash {
    none,
    same_file,      // an earlier name installs the same file
    below_a_file,   // an earlier name installs a file where this one needs a folder
    over_a_folder,  // earlier names need a folder where this one installs a file
};

class hash_set {
public:
    // True when `hash` was not there yet (and is now).
    bool insert(uint64_t hash);
    bool contains(uint64_t hash) const;

private:
    void grow();
    std::vector<uint64_t> slots;  // 0 marks an empty slot
    size_t used = 0;
};

struct name_set {
    hash_set files;
    hash_set folders;
};

// The name as Windows tells files apart: case folded, its components joined
// by "/", without the dots and spaces that end them, without empty ones.
std::string windows_key(const std::string& name);

// Orders names (or their keys) by the code page 1252 bytes that packages
// store them in, a name the code page cannot hold by its UTF-8: listings
// keep the order they have always had.
struct in_stored_order {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Names keyed as Windows compares them, in that order.
using names_by_key = std::map<std::string, std::string, in_stored_order>;

// Adds the name (with its root prefix) and says how it clashes
// with those added before. A clashing name is still added.
name_clash add_name(name_set& names, const std::string& name);
