// The target names of a package, exactly as Windows tells files apart
// (windows_names.h), and how each new one clashes with those before it: the
// updater never makes nor removes folders, so a name that needs a folder
// where another installs a file, or the reverse, can never be installed.
//
// Held as a tree of components, each component of each folder once: a name
// whose folders are known costs its last component's letters, 12 bytes, and
// 5 to 11 bytes of index (16 for an instant while the index grows),
// whatever the length of its folders' names. Exact: names are compared letter
// by letter, never taken for one by a hash.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class name_clash {
    none,
    same_file,      // an earlier name installs the same file: allowed, the last copy wins
    below_a_file,   // it needs a folder where an earlier name installs a file
    over_a_folder,  // it installs a file where earlier names need a folder
};

struct clash_found {
    name_clash clash = name_clash::none;
    uint64_t other = 0;  // the ordinal given with an earlier name it clashes with
};

class name_tree {
public:
    name_tree() = default;
    name_tree(const name_tree&) = delete;
    name_tree& operator=(const name_tree&) = delete;

    // Adds `name` (UTF-8, with its root prefix, its components split at "/"
    // and "\"), which the caller numbers `ordinal`. False when memory ran out
    // (then `found` says nothing); so it is too beyond 2^31 components or 4
    // GiB of their letters. On a clash, `other` is the ordinal of the first
    // name that installs that file, or that needs that folder, and the tree
    // stays as it was. A name of no component (such as "" or "./") clashes
    // with nothing and adds nothing.
    bool add(std::string_view name, uint64_t ordinal, clash_found& found);

private:
    // One component: its letters, case folded, lie in `letters` from the end
    // of the previous node's to `letters_end`.
    struct node {
        uint32_t letters_end;
        uint32_t folder;   // 1 + the index of the folder it lies in, 0 at the top; file_bit for a file
        uint32_t ordinal;  // large_ordinal: in large_ordinals
    };
    static constexpr uint32_t file_bit = 0x80000000u;
    static constexpr uint32_t large_ordinal = 0xFFFFFFFFu;

    bool place(std::string_view rest, uint64_t ordinal, clash_found& found);
    bool add_path(uint32_t folder, std::string_view part, std::string_view rest, uint64_t ordinal);
    bool append_node(uint32_t folder, std::string_view part, bool is_file, uint64_t ordinal);
    void grow_index();
    size_t slot_of(uint32_t folder, std::string_view part) const;
    bool holds(uint32_t at, uint32_t folder, std::string_view part) const;
    uint64_t hash_of(uint32_t at) const;
    uint64_t ordinal_of(uint32_t at) const;

    std::deque<node> nodes;  // in blocks: no copy of them all as they grow
    std::deque<char> letters;
    std::vector<std::pair<uint32_t, uint64_t>> large_ordinals;  // by node index
    std::vector<uint32_t> index;  // open addressing by folder and letters: 1 + a node's index, 0 free
    std::string folded;           // the name being added, case folded
};
