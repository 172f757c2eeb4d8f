// ulvpack create: packs files into an update package.
#include "commands.h"
#include "name_rules.h"
#include "number_text.h"
#include "package_scan.h"
#include "report.h"
#include "signing.h"
#include "since_base.h"
#include "source_files.h"
#include "write_package.h"
#include "system/tool_system.h"

#include "package/name_tree.h"
#include "package/reader.h"
#include "package/release_number.h"
#include "package/windows_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char usage[] =
    "usage: ulvpack create -o OUT.upd [--piece-size SIZE] [--follow-links] [--plain]\n"
    "                      [--since BASE [--allow-new-folders]] [--release N]\n"
    "                      [--sign KEY] SOURCE...\n"
    "\n"
    "Packs files into an update package. Each SOURCE is one of:\n"
    "  PREFIX=DIR  every regular file below DIR becomes PREFIX/relative/path;\n"
    "              PREFIX is ulverno, windows or windows_system\n"
    "  NAME=FILE   one file under an exact name, such as ulverno/bin/x.dll=build/x.dll\n"
    "\n"
    "Files go in name order, in pieces of at most SIZE bytes (default 1M; suffixes\n"
    "K and M). What a folder holds besides files and folders is left out, and\n"
    "said: links (followed with --follow-links), FIFOs, sockets, devices, empty\n"
    "folders. Each record carries the CRC-32C of all of itself (name, header and\n"
    "piece), continued from the record before, and its index, and the first the\n"
    "package's length (version 3 of these fields), so that the updater refuses a\n"
    "package cut short, altered, or spliced from two releases, before it writes\n"
    "anything; --plain writes these fields as 0, as older packages have them.\n"
    "With --since BASE (the previous release: a package, or a folder laid out as\n"
    "BASE/ulverno, BASE/windows, BASE/windows_system, walked as the sources are),\n"
    "files whose bytes are the same in BASE are left out, and the files BASE has\n"
    "that the release no longer has are named: a package cannot delete them. A\n"
    "file in a folder that BASE does not have is refused, as the updater never\n"
    "makes folders, unless --allow-new-folders says the installations have it; a\n"
    "file that needs a folder where BASE has a file, or where BASE has a folder,\n"
    "always is.\n"
    "With --release N (a whole number from 1 to 4294967295, one counter for all\n"
    "the vendor's releases, such as the build number), the package's last\n"
    "target is ulverno/ulvupdate.release, holding N: an updater built with a key\n"
    "then refuses to take an installation back to an older release, or to none.\n"
    "No SOURCE may give that file. With --since, the release is always packed,\n"
    "and may not be below the release BASE holds, nor missing when BASE holds one.\n"
    "OUT is replaced in one step once the whole package is on the disk;\n"
    "until then, and after any failure, it stays as it was. With --sign KEY,\n"
    "OUT.sig is then written as ulvpack sign --key KEY OUT writes it.\n"
    "Exit status: 0 written, 1 refused (a name or a file the updater cannot take),\n"
    "2 usage error, or a file cannot be read or written.\n";

int refuse(const std::string& message) {
    say("create", message);
    return exit_refused;
}

int fail(const std::string& message) {
    say("create", message);
    return exit_io_error;
}

// Says what did not come to be done, and returns the exit status.
int status_of(const outcome& what) {
    switch (what.kind) {
        case outcome::refused: return refuse(what.text);
        case outcome::failed: return fail(what.text);
        case outcome::malformed: return usage_error("create", usage, what.text);
        case outcome::done: break;
    }
    return exit_ok;
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

// Refuses two sources giving one file, and a file where another name needs a
// folder: the updater could install neither.
outcome names_fit_together(std::vector<source_file>& files) {
    std::sort(files.begin(), files.end(), in_package_order);
    name_tree names;
    for (size_t i = 0; i < files.size(); ++i) {
        const source_file& file = files[i];
        clash_found found;
        if (!names.add(file.name, i, found)) return failure("the names of the files cannot be held in memory");
        if (found.clash == name_clash::none) continue;
        const source_file& other = files[found.other];
        const std::string both = printable_text(other.file.u8string()) + " (from " + other.source + ") and " +
                                 printable_text(file.file.u8string()) + " (from " + file.source + ")";
        return refusal(found.clash == name_clash::same_file
                           ? quoted_name(file.name) + " comes from both " + both
                           : quoted_name(other.name) + " and " + quoted_name(file.name) +
                                 " need a file and a folder of the same name: " + both);
    }
    return {};
}

// Warns about names whose paths may be too long for Windows where the
// updater is typically installed: they install only where they fit.
void warn_about_long_paths(const std::vector<source_file>& files) {
    for (const source_file& file : files) {
        const std::string risk = path_length_risk(file.name);
        if (!risk.empty()) say("create", "warning: the name " + quoted_name(file.name) + " " + risk);
    }
}

bool is_inside(const fs::path& path, const fs::path& folder) {
    const auto mismatch = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return mismatch.first == folder.end();
}

// A package never packs itself: OUT must not lie in a source folder, nor be
// one of the files packed (through a link, say).
bool packs_itself(const std::vector<std::string>& sources, const std::vector<source_file>& files, const fs::path& out,
                  std::string& problem) {
    fs::path out_real;
    std::string why;
    resolved_path(out, false, out_real, why);
    for (const std::string& source : sources) {
        const fs::path right = fs::u8path(source.substr(source.find('=') + 1));
        fs::path folder;
        if (resolved_path(right, true, folder, why) && is_folder(folder) && is_inside(out_real, folder)) {
            problem = printable_text(out.u8string()) + " lies in the source folder " + printable_text(right.u8string()) +
                      ": the package would pack itself";
            return true;
        }
    }
    file_identity out_file;
    if (identity_of_path(out.u8string().c_str(), out_file) == 0) return false;
    for (const source_file& file : files) {
        file_identity packed;
        if (identity_of_path(file.file.u8string().c_str(), packed) == 1 && same_file(packed, out_file)) {
            problem = printable_text(out.u8string()) + " is packed from " + file.source + ": the package would pack itself";
            return true;
        }
    }
    return false;
}

// The updater never makes nor removes folders, nor removes files: a new file
// needs its folder, no folder in its place and no file in place of a folder
// above it. Refused when a new file of `comparison` would fail on an
// installation like BASE; for a folder BASE lacks, only unless
// `allow_new_folders` says the installations have it.
outcome fits_on_base(const base_comparison& comparison, bool allow_new_folders) {
    names_by_key new_folders;  // by windows_key, to the release's spelling
    for (const source_file& file : comparison.added) {
        const std::string file_there = file_in_place_of_folder(comparison, file.name);
        if (!file_there.empty()) {
            return refusal("BASE has a file, " + quoted_name(file_there) + ", where " + quoted_name(file.name) +
                           " needs a folder: the updater never removes files nor makes folders, so the package would "
                           "fail on an installation like BASE");
        }
        if (comparison.folders.count(windows_key(file.name)) != 0) {
            return refusal(quoted_name(file.name) + " is a folder in BASE: the updater never removes folders, so the "
                           "package would fail on an installation like BASE");
        }
        if (!allow_new_folders && comparison.folders.count(folder_key(file.name)) == 0) {
            new_folders.emplace(folder_key(file.name), folder_name(file.name));
        }
    }
    if (new_folders.empty()) return {};
    std::string listed;
    for (const auto& folder : new_folders) listed += (listed.empty() ? "\"" : ", \"") + printable_text(folder.second) + "\"";
    return refusal(std::string("BASE does not have the folder") + (new_folders.size() > 1 ? "s " : " ") + listed +
                   ": the updater never makes folders, so the package would fail on an installation like BASE "
                   "(--allow-new-folders if the installations have them)");
}

// An updater built with a key refuses, on an installation like BASE, a
// package of an older release than BASE's, or of none where BASE has one.
outcome follows_base_release(const base_comparison& comparison, uint32_t release) {
    if (comparison.release == 0 || release >= comparison.release) return {};
    const std::string held = "BASE holds release " + std::to_string(comparison.release);
    return refusal((release == 0 ? held + ", and the package would carry none (--release)"
                                 : held + ", above --release " + std::to_string(release)) +
                   ": an updater built with a key would refuse it on an installation like BASE");
}

// Leaves in `files` only what changed since BASE, and says so. Not done when
// BASE cannot be read or compared (compare_with_base), the package would
// carry an older `release` than BASE (follows_base_release), nothing changed,
// or a new file would fail on BASE (fits_on_base).
outcome keep_what_changed(std::vector<source_file>& files, const std::string& base, bool follow_links,
                          bool allow_new_folders, uint32_t release) {
    base_comparison comparison;
    const outcome compared = compare_with_base(files, base, follow_links, comparison);
    if (!compared.ok()) return compared;
    if (const outcome ordered = follows_base_release(comparison, release); !ordered.ok()) return ordered;
    for (const scan_finding& warning : comparison.warnings) say("create", "warning: BASE " + base + ": " + finding_text(warning));
    for (const auto& removed : comparison.removed) {
        say("create", "warning: \"" + removed.second + "\" is in BASE but no longer in the release: a package cannot delete it");
    }
    say("create", "since " + base + ": " + std::to_string(comparison.unchanged) + " unchanged, left out (" +
                      plural(comparison.bytes_saved, "byte") + " saved); " + std::to_string(comparison.changed.size()) +
                      " changed; " + std::to_string(comparison.added.size()) + " new");
    files = comparison.changed;
    files.insert(files.end(), comparison.added.begin(), comparison.added.end());
    std::sort(files.begin(), files.end(), in_package_order);
    if (files.empty()) return refusal("nothing changed since " + base + ": there is no package to write");
    return fits_on_base(comparison, allow_new_folders);
}

// What a create command asks for.
struct create_request {
    std::string out;
    std::string base;  // empty: no --since
    std::string key;   // empty: not signed
    uint32_t release = 0;  // 0: none
    bool follow_links = false;
    bool allow_new_folders = false;
    package_options options;
    std::vector<std::string> sources;
};

// What is wrong with create's options, or "".
std::string options_problem(const char* out, const char* piece_size, const char* base, const char* key,
                            bool allow_new_folders, const std::vector<const char*>& sources, package_options& options) {
    if (out == nullptr) return "no -o OUT given";
    if (out[0] == '\0') return "OUT is empty";
    if (base != nullptr && base[0] == '\0') return "BASE is empty";
    if (key != nullptr && key[0] == '\0') return "KEY is empty";
    if (allow_new_folders && base == nullptr) return "--allow-new-folders goes with --since";
    if (piece_size != nullptr && !parse_piece_size(piece_size, options.piece_size)) {
        return "bad piece size \"" + std::string(piece_size) + "\": 1 to " + std::to_string(largest_record_length) +
               " bytes, suffix K or M";
    }
    return sources.empty() ? "no SOURCE given" : "";
}

// Reads the command line into `request`: arguments_parsed, or the exit status.
int read_request(int argc, char** argv, create_request& request) {
    const char* out = nullptr;
    const char* piece_size = nullptr;
    const char* base = nullptr;
    const char* key = nullptr;
    const char* release = nullptr;
    bool plain = false;
    std::vector<const char*> sources;
    const command_line line{"create", usage,
                            {{"-o", nullptr, &out, "OUT"}, {"--piece-size", nullptr, &piece_size, "SIZE", true},
                             {"--since", nullptr, &base, "BASE"}, {"--sign", nullptr, &key, "KEY"},
                             {"--release", nullptr, &release, "N"},
                             {"--follow-links", &request.follow_links}, {"--plain", &plain},
                             {"--allow-new-folders", &request.allow_new_folders}},
                            0, static_cast<size_t>(-1), ""};
    if (const int status = parse_arguments(line, argc, argv, sources); status != arguments_parsed) return status;
    request.options.protect = !plain;
    const std::string problem =
        options_problem(out, piece_size, base, key, request.allow_new_folders, sources, request.options);
    if (!problem.empty()) return usage_error("create", usage, problem);
    // The release as the release file holds it, and nothing else: no sign, blanks or leading zeros.
    if (release != nullptr && !parse_release(std::string(release) + "\n", request.release)) {
        return usage_error("create", usage,
                           "bad release \"" + std::string(release) + "\": a whole number from 1 to 4294967295");
    }
    request.out = out;
    request.base = base != nullptr ? base : "";
    request.key = key != nullptr ? key : "";
    request.sources.assign(sources.begin(), sources.end());
    return arguments_parsed;
}

// Gathers the files of every SOURCE, refusing what the updater could not
// install. Returns exit_ok, or the exit status of what went wrong, said.
int gather_files(const create_request& request, std::vector<source_file>& files) {
    for (const std::string& argument : request.sources) {
        const outcome added = add_source(argument, request.follow_links, files);
        if (!added.ok()) return status_of(added);
    }
    std::string problem;
    if (files.empty()) return refuse("no files to pack: the updater refuses an empty package");
    if (const outcome fit = names_fit_together(files); !fit.ok()) return status_of(fit);
    if (!records_fit(files, request.options, problem)) return refuse(problem);
    warn_about_long_paths(files);
    if (packs_itself(request.sources, files, fs::u8path(request.out), problem)) return refuse(problem);
    // A device, a FIFO or a socket at OUT is not a package to replace (as root, -o /dev/null would).
    entry_status out_status;
    std::string unknown;  // what cannot be told is no device: the writing will say what is wrong
    status_of(fs::u8path(request.out), false, out_status, unknown);
    if (out_status.kind == entry_kind::device || out_status.kind == entry_kind::fifo || out_status.kind == entry_kind::socket) {
        return fail(request.out + " is not a regular file: it is left as it is");
    }
    return exit_ok;
}

}  // namespace

int run_create(int argc, char** argv) {
    create_request request;
    if (const int status = read_request(argc, argv, request); status != arguments_parsed) return status;
    // A key that cannot sign is refused before anything is written.
    std::string problem;
    bool refused = false;
    if (!request.key.empty() && !private_key_usable(request.key, problem, refused)) return refused ? refuse(problem) : fail(problem);
    std::vector<source_file> files;
    if (const int status = gather_files(request, files); status != exit_ok) return status;
    if (!request.base.empty()) {
        const outcome changed =
            keep_what_changed(files, request.base, request.follow_links, request.allow_new_folders, request.release);
        if (!changed.ok()) return status_of(changed);
    }
    if (request.release != 0) files.push_back(release_source(request.release));
    if (!write_package(files, request.options, fs::u8path(request.out), problem)) return fail(problem);
    uint64_t bytes = 0;
    for (const source_file& file : files) bytes += file.size;
    say("create", "wrote " + request.out + ": " + plural(files.size(), "target") + ", " + plural(bytes, "byte") +
                      (request.release != 0 ? ", release " + std::to_string(request.release) : ""));
    return request.key.empty() ? exit_ok : sign_written_package("create", request.out, request.key);
}
