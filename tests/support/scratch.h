// A scratch folder per test, laid out as a small Windows installation:
// windows/ (WINDIR) and windows/system32/. Removed with everything in it at
// the end of the test.
#pragma once

#include <map>
#include <string>

class scratch_folder {
public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;

    const std::string& path() const { return root; }
    std::string windows() const { return root + "/windows"; }
    std::string system() const { return root + "/windows/system32"; }
    std::string at(const std::string& relative) const { return root + "/" + relative; }

    // Writes ulverno.ini into the Windows folder with these contents.
    void write_profile(const std::string& contents) const;

private:
    std::string root;
};

// Regular files below a folder: relative path ("/" separators) to contents.
using file_tree = std::map<std::string, std::string>;
file_tree read_tree(const std::string& folder);
void write_tree(const std::string& folder, const file_tree& tree);

bool file_exists(const std::string& path);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& contents);
void make_folder(const std::string& path);
