// ulvpack extract: writes the targets of a package under a folder, to look at
// them without installing them.
#include "commands.h"
#include "name_rules.h"
#include "number_text.h"
#include "report.h"

#include "platform/platform.h"
#include "system/tool_system.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char usage[] =
    "usage: ulvpack extract [--force] PKG DIR\n"
    "\n"
    "Writes every target of the package as DIR/<prefix>/<rest of its name>,\n"
    "the rest split at \"/\" and \"\\\" as Windows does, creating folders. Nothing\n"
    "below DIR is followed if it is a link: nothing is written outside DIR. An\n"
    "existing file is replaced only with --force. A protected package is checked\n"
    "whole first: if it is damaged, or cannot be read whole, nothing is written.\n"
    "Exit status: 0 extracted, 1 the package is invalid (a classic one is extracted\n"
    "up to the fault), 2 usage error, the package cannot be read, or a file cannot\n"
    "be written.\n";

class extractor {
public:
    extractor(const fs::path& folder, bool replace) : folder(folder), replace(replace) {}
    ~extractor() {
        if (handle != -1) close_file(handle);
    }

    bool take(const scanned_target& target, const unsigned char* bytes, uint32_t length) {
        if (target.pieces == 1 && !begin(target)) return false;
        if (length > 0 && write_bytes(handle, bytes, length) != static_cast<int32_t>(length)) {
            problem = "cannot write " + printable_text(current) + ": " + system_error_text(last_system_error());
            return false;
        }
        if (target.complete) {
            const int closed = close_file(handle);
            handle = -1;
            if (!closed) problem = "cannot write " + printable_text(current) + ": " + system_error_text(last_system_error());
            return closed == 1;
        }
        return true;
    }

    std::string problem;
    unsigned files = 0;

private:
    bool begin(const scanned_target& target) {
        // Below DIR: the prefix's folder, then the rest of the name.
        const std::vector<std::string> parts = name_parts(target.name);
        current.clear();
        for (const std::string& part : parts) current += (current.empty() ? "" : "/") + part;
        // A file this extraction wrote already (a name installed twice) is replaced, as the updater does.
        file_identity existing;
        handle = create_below(folder, parts, replace, problem, &existing);
        if (handle == -1 && existing.index != 0 && written.count({existing.volume, existing.index}) != 0) {
            handle = create_below(folder, parts, true, problem);
        }
        if (handle == -1) {
            problem = "refused: " + printable_text(problem);  // the path comes from the package
            return false;
        }
        ++files;
        file_identity made;
        if (identity_of(handle, made) == 1) written.insert({made.volume, made.index});
        return true;
    }

    fs::path folder;
    bool replace;
    int handle = -1;
    std::string current;  // relative path of the target being written, UTF-8
    // The files this extraction made, by identity: exactly, as it decides
    // what may be replaced without --force.
    std::set<std::pair<uint64_t, uint64_t>> written;
};

// A protected package proves itself whole before the first file is written,
// as the updater has it prove itself: a damaged one leaves DIR as it was.
// A classic package has nothing to prove: that scan ends at its first piece.
// A proof that could not finish (the package unopened or unreadable, a
// record too large for memory) proves nothing: nothing is written either.
// Returns exit_ok, with what the proof read in `proven` and the package
// rewound, or the exit status of a package that proved nothing, said.
int prove_before_extracting(const std::string& path, int package, record_checksums& proven) {
    scan_result proof;
    scan_handlers proving;
    proving.on_piece = [&proof](const scanned_target&, const unsigned char*, uint32_t) {
        return proof.integrity_version != 0;
    };
    if (!scan_or_complain("extract", path, package, proving, proof, walk_options{nullptr, nullptr, &proven, nullptr}) ||
        rewind_file(package) != 1) {
        say("extract", "nothing extracted");
        return exit_io_error;
    }
    if (proof.integrity_version != 0 && proof.refused) {
        print_finding(proof.refusal);
        say("extract", path + " is invalid: nothing extracted");
        return exit_refused;
    }
    proven.whole = proof.would_apply;
    return exit_ok;
}

// Writes the targets of the package under `folder`, each record checked
// against what the proof read of it. Returns the exit status, said.
int extract_proven(const std::string& path, int package, const char* folder, bool force,
                   const record_checksums& proven) {
    extractor extract(fs::u8path(folder), force);
    scan_handlers handlers;
    handlers.on_finding = print_finding;
    handlers.on_piece = [&](const scanned_target& target, const unsigned char* bytes, uint32_t length) {
        return extract.take(target, bytes, length);
    };
    scan_result result;
    if (!scan_or_complain("extract", path, package, handlers, result, walk_options{nullptr, nullptr, nullptr, &proven})) {
        return exit_io_error;
    }
    if (!extract.problem.empty()) {
        say("extract", extract.problem);
        return exit_io_error;
    }
    if (result.refused) {
        say("extract", path + " is invalid: extracted " + plural(extract.files, "file") + " up to the fault");
        return exit_refused;
    }
    say("extract", plural(extract.files, "file") + " written under " + folder);
    return exit_ok;
}

// Proves and then extracts the package at `path`, open at `package`: both
// readings go through that one open file, and the second refuses any record
// that differs from what the first read, so that what is written is what was
// proven, whatever is put at the path or written into the file meanwhile.
int extract_package(const std::string& path, int package, const char* folder, bool force) {
    record_checksums proven;
    const int proved = prove_before_extracting(path, package, proven);
    return proved != exit_ok ? proved : extract_proven(path, package, folder, force, proven);
}

}  // namespace

int run_extract(int argc, char** argv) {
    bool force = false;
    std::vector<const char*> operands;
    const command_line line{"extract", usage, {{"--force", &force}}, 2, 2, "a package and a folder, please"};
    if (const int status = parse_arguments(line, argc, argv, operands); status != arguments_parsed) return status;
    if (operands[1][0] == '\0') return usage_error("extract", usage, "DIR is empty");
    std::string why;
    const int package = open_package(fs::u8path(operands[0]), why);
    if (package == -1) {
        say("extract", "cannot open " + std::string(operands[0]) + ": " + why);
        say("extract", "nothing extracted");
        return exit_io_error;
    }
    const int status = extract_package(operands[0], package, operands[1], force);
    close_file(package);
    return status;
}
