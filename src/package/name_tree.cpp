#include "package/name_tree.h"

#include "package/windows_names.h"

#include <algorithm>
#include <new>

namespace {

// FNV-1a over the folder and the letters, its bits then spread over the
// slots (the last step of splitmix64): a hash only finds where to look.
template <typename letter_iterator>
uint64_t component_hash(uint32_t folder, letter_iterator first, letter_iterator last) {
    uint64_t hash = 0xCBF29CE484222325ull;
    const auto take = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 0x100000001B3ull;
    };
    for (int shift = 0; shift < 32; shift += 8) take(static_cast<unsigned char>(folder >> shift));
    for (; first != last; ++first) take(static_cast<unsigned char>(*first));
    hash = (hash ^ (hash >> 31)) * 0x94D049BB133111EBull;
    return hash ^ (hash >> 29);
}

// True when no component follows in `rest`.
bool ends_here(std::string_view rest) {
    std::string_view part;
    return !next_windows_part(rest, part);
}

// Past these, a node's fields could not say where its letters end, nor
// which folder it lies in.
constexpr size_t most_nodes = 0x7FFFFFFEu;
constexpr size_t most_letters = 0xFFFFFFFFu;

}  // namespace

bool name_tree::add(std::string_view name, uint64_t ordinal, clash_found& found) {
    try {
        folded.assign(name.data(), name.size());
        fold_name(folded);
        if (index.empty()) grow_index();
        return place(folded, ordinal, found);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Follows the name's components down from the top for as long as they are
// there, then adds the rest.
bool name_tree::place(std::string_view rest, uint64_t ordinal, clash_found& found) {
    found = clash_found{};
    uint32_t folder = 0;
    for (std::string_view part; next_windows_part(rest, part);) {
        const uint32_t there = index[slot_of(folder, part)];
        if (there == 0) return add_path(folder, part, rest, ordinal);
        const bool last = ends_here(rest);
        if ((nodes[there - 1].folder & file_bit) != 0) {
            found = {last ? name_clash::same_file : name_clash::below_a_file, ordinal_of(there - 1)};
            return true;
        }
        if (last) {
            found = {name_clash::over_a_folder, ordinal_of(there - 1)};
            return true;
        }
        folder = there;
    }
    return true;
}

// Adds `part` to `folder`, and below it the components of `rest`: the last a file, the others folders.
bool name_tree::add_path(uint32_t folder, std::string_view part, std::string_view rest, uint64_t ordinal) {
    for (;;) {
        const bool last = ends_here(rest);
        if (!append_node(folder, part, last, ordinal)) return false;
        if (last) return true;
        folder = static_cast<uint32_t>(nodes.size());
        next_windows_part(rest, part);
    }
}

bool name_tree::append_node(uint32_t folder, std::string_view part, bool is_file, uint64_t ordinal) {
    if (nodes.size() >= most_nodes || part.size() > most_letters - letters.size()) return false;
    if ((nodes.size() + 1) * 4 > index.size() * 3) grow_index();
    const size_t letters_before = letters.size();
    const size_t large_before = large_ordinals.size();
    const uint32_t added = static_cast<uint32_t>(nodes.size());
    try {
        letters.insert(letters.end(), part.begin(), part.end());
        if (ordinal >= large_ordinal) large_ordinals.emplace_back(added, ordinal);
        nodes.push_back(node{static_cast<uint32_t>(letters.size()), folder | (is_file ? file_bit : 0),
                             static_cast<uint32_t>(std::min<uint64_t>(ordinal, large_ordinal))});
    } catch (const std::bad_alloc&) {
        // Leaves the tree as it was: a node's letters begin where the previous node's end.
        letters.resize(letters_before);
        large_ordinals.resize(large_before);
        throw;
    }
    index[slot_of(folder, part)] = added + 1;
    return true;
}

// Doubles the index, kept at most 3/4 full so that a search soon meets a free slot.
void name_tree::grow_index() {
    std::vector<uint32_t> larger(index.empty() ? 64 : index.size() * 2, 0);
    const size_t mask = larger.size() - 1;
    for (uint32_t at = 0; at < nodes.size(); ++at) {
        size_t slot = static_cast<size_t>(hash_of(at)) & mask;
        while (larger[slot] != 0) slot = (slot + 1) & mask;
        larger[slot] = at + 1;
    }
    index.swap(larger);
}

// The slot of `part` in `folder`, or the free slot where it would go.
size_t name_tree::slot_of(uint32_t folder, std::string_view part) const {
    const size_t mask = index.size() - 1;
    size_t slot = static_cast<size_t>(component_hash(folder, part.begin(), part.end())) & mask;
    while (index[slot] != 0 && !holds(index[slot] - 1, folder, part)) slot = (slot + 1) & mask;
    return slot;
}

bool name_tree::holds(uint32_t at, uint32_t folder, std::string_view part) const {
    const node& held = nodes[at];
    if ((held.folder & ~file_bit) != folder) return false;
    const uint32_t begin = at == 0 ? 0 : nodes[at - 1].letters_end;
    return held.letters_end - begin == part.size() && std::equal(part.begin(), part.end(), letters.begin() + begin);
}

uint64_t name_tree::hash_of(uint32_t at) const {
    const uint32_t begin = at == 0 ? 0 : nodes[at - 1].letters_end;
    return component_hash(nodes[at].folder & ~file_bit, letters.begin() + begin, letters.begin() + nodes[at].letters_end);
}

uint64_t name_tree::ordinal_of(uint32_t at) const {
    if (nodes[at].ordinal != large_ordinal) return nodes[at].ordinal;
    const auto found = std::lower_bound(large_ordinals.begin(), large_ordinals.end(), std::make_pair(at, uint64_t{0}));
    return found->second;
}
