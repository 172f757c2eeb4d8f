#include "support/scratch.h"

#include "support/recording_user.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

scratch_folder::scratch_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ulvtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
    root = pattern;
    make_folder(system());
    setenv("WINDIR", windows().c_str(), 1);
    reset_recording();
}

scratch_folder::~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    unsetenv("WINDIR");
}

void scratch_folder::write_profile(const std::string& contents) const {
    write_file(windows() + "/ulverno.ini", contents);
}

file_tree read_tree(const std::string& folder) {
    file_tree tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            tree[entry.path().lexically_relative(folder).generic_string()] = read_file(entry.path().string());
        }
    }
    return tree;
}

void write_tree(const std::string& folder, const file_tree& tree) {
    for (const auto& [relative, contents] : tree) {
        const std::filesystem::path path = std::filesystem::path(folder) / relative;
        make_folder(path.parent_path().string());
        write_file(path.string(), contents);
    }
}

bool file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void write_file(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

void make_folder(const std::string& path) {
    std::filesystem::create_directories(path);
}
