// ulvpack create: packs files into an update package.
#include "commands.h"
#include "name_rules.h"
#include "package_scan.h"
#include "record_encoder.h"

#include "package/reader.h"
#include "package/target_names.h"
#include "platform/codepage_1252.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char usage[] =
    "usage: ulvpack create -o OUT.upd [--piece-size SIZE] SOURCE...\n"
    "\n"
    "Packs files into an update package. Each SOURCE is one of:\n"
    "  PREFIX=DIR  every regular file below DIR becomes PREFIX/relative/path;\n"
    "              PREFIX is ulverno, windows or windows_system\n"
    "  NAME=FILE   one file under an exact name, such as ulverno/bin/x.dll=build/x.dll\n"
    "\n"
    "Files go in name order, in pieces of at most SIZE bytes (default 1M; suffixes\n"
    "K and M). OUT is written only when everything was packed.\n";

constexpr uint64_t default_piece_size = 1024 * 1024;
constexpr uint64_t largest_file_size = 0xFFFFFFFFull;  // sizes are 32-bit

struct source_file {
    std::string name;  // code page 1252
    fs::path file;
    uint32_t size = 0;
    std::string source;  // the argument it came from, for messages
};

int refuse(const std::string& message) {
    std::fprintf(stderr, "ulvpack create: %s\n", message.c_str());
    return exit_refused;
}

bool parse_piece_size(const std::string& text, uint64_t& size) {
    uint64_t unit = 1;
    std::string digits = text;
    if (!digits.empty() && std::strchr("KkMm", digits.back()) != nullptr) {
        unit = (digits.back() == 'K' || digits.back() == 'k') ? 1024 : 1024 * 1024;
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    size = std::stoull(digits) * unit;
    return size >= 1 && size <= largest_record_length;
}

// Adds one file under `name` (UTF-8), refusing names and sizes the updater or
// Windows cannot take.
bool add_file(const std::string& name_utf8, const fs::path& file, const std::string& source,
              std::vector<source_file>& files, std::string& problem) {
    source_file entry;
    if (!utf8_to_1252(name_utf8, entry.name)) {
        problem = "\"" + name_utf8 + "\" (from " + source + ") has characters that code page 1252 cannot represent";
        return false;
    }
    std::string refusal = updater_refusal(entry.name);
    if (refusal.empty()) refusal = windows_refusal(entry.name);
    if (!refusal.empty()) {
        problem = quoted_name(entry.name) + " (from " + source + ") " + refusal;
        return false;
    }
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    if (error) {
        problem = "cannot read " + file.u8string() + ": " + error.message();
        return false;
    }
    if (size > largest_file_size) {
        problem = file.u8string() + " is 4 GiB or more: package sizes are 32-bit";
        return false;
    }
    entry.file = file;
    entry.size = static_cast<uint32_t>(size);
    entry.source = source;
    files.push_back(entry);
    return true;
}

bool add_tree(const std::string& prefix, const fs::path& root, const std::string& source,
              std::vector<source_file>& files, std::string& problem) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        const std::string relative = it->path().lexically_relative(root).generic_u8string();
        if (!add_file(prefix + "/" + relative, it->path(), source, files, problem)) return false;
    }
    if (error) problem = "cannot read " + root.u8string() + ": " + error.message();
    return !error;
}

bool add_source(const std::string& argument, std::vector<source_file>& files, std::string& problem) {
    const size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == argument.size()) {
        problem = "\"" + argument + "\" is neither PREFIX=DIR nor NAME=FILE";
        return false;
    }
    const std::string left = argument.substr(0, equals);
    const fs::path right = fs::u8path(argument.substr(equals + 1));
    for (const root_prefix& prefix : root_prefixes) {
        if (left + "/" == prefix.text) {
            if (fs::is_directory(right)) return add_tree(left, right, argument, files, problem);
            problem = argument + ": " + right.u8string() + " is not a folder";
            return false;
        }
    }
    if (!fs::is_regular_file(right)) {
        problem = argument + ": " + right.u8string() + " is not a regular file";
        return false;
    }
    return add_file(left, right, argument, files, problem);
}

// Refuses two sources giving one name, as Windows compares names.
bool names_are_distinct(std::vector<source_file>& files, std::string& problem) {
    std::sort(files.begin(), files.end(), [](const source_file& a, const source_file& b) { return a.name < b.name; });
    std::vector<std::pair<std::string, const source_file*>> folded;
    for (const source_file& file : files) folded.emplace_back(folded_name(file.name), &file);
    std::sort(folded.begin(), folded.end());
    for (size_t i = 1; i < folded.size(); ++i) {
        if (folded[i].first == folded[i - 1].first) {
            problem = quoted_name(folded[i].second->name) + " comes from both " + folded[i - 1].second->source +
                      " and " + folded[i].second->source;
            return false;
        }
    }
    return true;
}

// Every record must fit the format before anything is written.
bool records_fit(const std::vector<source_file>& files, uint64_t piece_size, std::string& problem) {
    for (const source_file& file : files) {
        record_fields fields;
        fields.entry_name = file.name;
        fields.file_size = file.size;
        fields.piece_offset = file.size;  // the largest offset any of its pieces has
        std::string header;
        if (!append_record_header(fields, static_cast<uint32_t>(std::min<uint64_t>(piece_size, file.size)), header)) {
            problem = "a record of " + quoted_name(file.name) + " would pass 268,435,455 bytes: use a smaller --piece-size";
            return false;
        }
    }
    return true;
}

bool write_target(const source_file& file, uint64_t piece_size, std::vector<char>& buffer, std::ofstream& out,
                  std::string& problem) {
    std::ifstream in(file.file, std::ios::binary);
    uint32_t offset = 0;
    do {
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(piece_size, file.size - offset));
        if (!in.read(buffer.data(), length)) {
            problem = "cannot read " + file.file.u8string() + " (did it change while being packed?)";
            return false;
        }
        record_fields fields;
        fields.entry_name = file.name;
        fields.file_size = file.size;
        fields.piece_offset = offset;
        std::string header;
        append_record_header(fields, length, header);
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
        out.write(buffer.data(), length);
        offset += length;
    } while (offset < file.size);
    if (in.peek() != std::char_traits<char>::eof()) {
        problem = file.file.u8string() + " grew while being packed";
        return false;
    }
    return true;
}

// Writes beside OUT and renames at the end, so that OUT is never partial.
bool write_package(const std::vector<source_file>& files, uint64_t piece_size, const fs::path& out_path,
                   std::string& problem) {
    fs::path partial = out_path;
    partial += ".partial";
    uint64_t largest = 0;
    for (const source_file& file : files) largest = std::max<uint64_t>(largest, file.size);
    std::vector<char> buffer(static_cast<size_t>(std::min(piece_size, largest)));
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    bool written = static_cast<bool>(out);
    if (!written) problem = "cannot write " + partial.u8string();
    for (size_t i = 0; written && i < files.size(); ++i) written = write_target(files[i], piece_size, buffer, out, problem);
    out.close();
    if (written && !out) {
        problem = "cannot write " + partial.u8string() + " (is the disk full?)";
        written = false;
    }
    std::error_code error;
    if (written) fs::rename(partial, out_path, error);
    if (error) problem = "cannot rename " + partial.u8string() + " to " + out_path.u8string() + ": " + error.message();
    if (!written || error) fs::remove(partial, error);
    return written && !error;
}

}  // namespace

int run_create(int argc, char** argv) {
    std::string out;
    uint64_t piece_size = default_piece_size;
    std::vector<std::string> sources;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (asks_for_help(argv[i])) {
            std::fputs(usage, stdout);
            return exit_ok;
        } else if ((argument == "-o" || argument == "--piece-size") && i + 1 == argc) {
            std::fprintf(stderr, "ulvpack create: %s needs a value\n%s", argv[i], usage);
            return exit_usage;
        } else if (argument == "-o") {
            out = argv[++i];
        } else if (argument == "--piece-size") {
            if (!parse_piece_size(argv[++i], piece_size)) {
                std::fprintf(stderr, "ulvpack create: bad piece size \"%s\": 1 to 268435455 bytes, suffix K or M\n", argv[i]);
                return exit_usage;
            }
        } else {
            sources.push_back(argument);
        }
    }
    if (out.empty() || sources.empty()) {
        std::fprintf(stderr, "ulvpack create: %s\n%s", out.empty() ? "no -o OUT given" : "no SOURCE given", usage);
        return exit_usage;
    }

    std::vector<source_file> files;
    std::string problem;
    for (const std::string& source : sources) {
        if (!add_source(source, files, problem)) return refuse(problem);
    }
    if (files.empty()) return refuse("no files to pack: the updater refuses an empty package");
    if (!names_are_distinct(files, problem) || !records_fit(files, piece_size, problem)) return refuse(problem);
    if (!write_package(files, piece_size, fs::u8path(out), problem)) {
        std::fprintf(stderr, "ulvpack create: %s\n", problem.c_str());
        return exit_usage;
    }
    uint64_t bytes = 0;
    for (const source_file& file : files) bytes += file.size;
    std::fprintf(stderr, "ulvpack create: wrote %s: %zu targets, %llu bytes\n", out.c_str(), files.size(),
                 static_cast<unsigned long long>(bytes));
    return exit_ok;
}
