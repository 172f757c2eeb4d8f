// Writes each package of the tests' known cases into a folder, one file each,
// for the fuzzers' seed corpus. Usage: write_package_cases FOLDER
#include "support/package_cases.h"
#include "support/scratch.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_package_cases FOLDER\n");
        return 2;
    }
    int number = 0;
    for (const package_case& c : package_cases()) {
        std::string name;
        for (const char ch : std::string(c.title)) {
            const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
            if (plain) {
                name += ch;
            } else if (!name.empty() && name.back() != '-') {
                name += '-';
            }
        }
        write_file(std::string(argv[1]) + "/case-" + std::to_string(++number) + "-" + name + ".upd", c.bytes);
    }
    return 0;
}
