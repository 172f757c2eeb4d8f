#include "name_set.h"

#include "name_rules.h"

#include "platform/text_codec.h"

#include <algorithm>

namespace {

// FNV-1a, 64 bits, continued from `hash`.
uint64_t hash_bytes(uint64_t hash, const std::string& bytes) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

constexpr uint64_t empty_hash = 0xCBF29CE484222325ull;

// Never 0, which marks an empty slot. The last step of splitmix64 spreads
// the bits over the slots.
uint64_t stored(uint64_t hash) {
    hash = (hash ^ (hash >> 31)) * 0x94D049BB133111EBull;
    hash ^= hash >> 29;
    return hash == 0 ? 1 : hash;
}

// The hashes of the folders that lead to the name (its root prefix first),
// then of the name itself.
std::vector<uint64_t> path_hashes(const std::string& key) {
    std::vector<uint64_t> hashes;
    uint64_t hash = empty_hash;
    for (size_t start = 0; start < key.size();) {
        const size_t end = std::min(key.find('/', start), key.size());
        hash = hash_bytes(hash_bytes(hash, key.substr(start, end - start)), "/");
        hashes.push_back(stored(hash));
        start = end + 1;
    }
    return hashes;
}

}  // namespace

bool hash_set::insert(uint64_t hash) {
    if (hash == 0) hash = 1;  // 0 marks an empty slot
    if ((used + 1) * 4 > slots.size() * 3) grow();
    const size_t mask = slots.size() - 1;
    for (size_t at = static_cast<size_t>(hash) & mask;; at = (at + 1) & mask) {
        if (slots[at] == hash) return false;
        if (slots[at] == 0) {
            slots[at] = hash;
            ++used;
            return true;
        }
    }
}

bool hash_set::contains(uint64_t hash) const {
    if (slots.empty()) return false;
    if (hash == 0) hash = 1;
    const size_t mask = slots.size() - 1;
    for (size_t at = static_cast<size_t>(hash) & mask; slots[at] != 0; at = (at + 1) & mask) {
        if (slots[at] == hash) return true;
    }
    return false;
}

void hash_set::grow() {
    std::vector<uint64_t> old;
    old.swap(slots);
    slots.assign(old.empty() ? 64 : old.size() * 2, 0);
    used = 0;
    for (const uint64_t hash : old) {
        if (hash != 0) insert(hash);
    }
}

std::string windows_key(const std::string& name) {
    std::string key;
    for (const std::string& component : windows_parts(folded_name(name))) key += (key.empty() ? "" : "/") + component;
    return key;
}

bool in_stored_order::operator()(const std::string& a, const std::string& b) const {
    std::string stored_a;
    std::string stored_b;
    return (utf8_to_1252(a, stored_a) ? stored_a : a) < (utf8_to_1252(b, stored_b) ? stored_b : b);
}

name_clash add_name(name_set& names, const std::string& name) {
    const std::vector<uint64_t> hashes = path_hashes(windows_key(name));
    if (hashes.empty()) return name_clash::none;
    name_clash clash = name_clash::none;
    for (size_t i = 0; i + 1 < hashes.size(); ++i) {
        if (names.files.contains(hashes[i])) clash = name_clash::below_a_file;
        names.folders.insert(hashes[i]);
    }
    if (names.folders.contains(hashes.back())) clash = name_clash::over_a_folder;
    if (!names.files.insert(hashes.back()) && clash == name_clash::none) clash = name_clash::same_file;
    return clash;
}
