// ulvpack list: the targets of a package, where each would go, and totals.
// Each target is printed as soon as it is read, so that memory does not grow
// with the package.
#include "commands.h"
#include "name_rules.h"
#include "names_by_key.h"
#include "number_text.h"
#include "package_release.h"
#include "report.h"

#include "package/windows_names.h"
#include "platform/text_codec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char usage[] =
    "usage: ulvpack list [--json] [--folders] PKG\n"
    "\n"
    "One line a target: name, size, number of pieces and where it would be\n"
    "installed; then totals, and the release the package carries (create\n"
    "--release), if any. --json prints the same for scripts. --folders\n"
    "adds every folder the package needs on the installation, each once and\n"
    "spelled as Windows would create it: the updater never makes folders, so a\n"
    "target whose folder is missing there fails.\n"
    "Exit status: 0 listed, 1 the package is invalid (listed up to the fault),\n"
    "2 usage error, or the package cannot be read.\n";

constexpr size_t name_column = 48;

// A JSON string: quotes and backslashes escaped, and control characters (C0,
// DEL, C1) as \u escapes; a byte that is not UTF-8 (no name from a package
// has one) as the replacement character.
std::string json_string(const std::string& utf8) {
    std::string out = "\"";
    for (size_t at = 0; at < utf8.size();) {
        const utf8_character c = character_at(utf8, at);
        const uint32_t code = c.valid ? c.code_point : 0xFFFD;
        char escaped[8];
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (is_control_character(code) || code == 0xFFFD) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
            out += escaped;
        } else {
            out.append(utf8, at, c.length);
        }
        at += c.length;
    }
    return out + "\"";
}

// The name as the terminal may show it (a control character as the 4
// columns of "\x1B"), padded to the width of the name column.
std::string name_cell(const std::string& name) {
    const std::string shown = printable_text(name);
    // Characters, not bytes, so that accented names keep the columns in line
    // (code page 1252, which names come from, has no double-width characters).
    const size_t width = character_count(shown);
    return shown + std::string(width < name_column ? name_column - width : 0, ' ');
}

void print_text_row(const scanned_target& target) {
    std::printf("%s %12u %7u  %s\n", name_cell(target.name).c_str(), target.file_size, target.pieces,
                root_description(*target.prefix));
}

// Every folder `name` needs, its root included, each once as Windows
// compares names: spelled with "/" as Windows would create it, and as the
// first name that needs it spells it.
void add_folders(const std::string& name, names_by_key& folders) {
    const std::vector<std::string> parts = windows_parts(name);
    std::string folder;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        folder = (i == 0 ? "" : folder + "/") + parts[i];
        folder = folders.emplace(windows_key(folder), folder).first->second;
    }
}

void print_text_folders(const names_by_key& folders) {
    std::printf("\n%-48s  %s\n", "FOLDERS THE INSTALLATION MUST HAVE", "IN");
    for (const auto& folder : folders) {
        const root_prefix* prefix = find_root_prefix((folder.second + "/").c_str());
        std::printf("%s  %s\n", name_cell(folder.second).c_str(), root_description(*prefix));
    }
}

void print_json_row(const scanned_target& target, bool first) {
    std::printf("%s\n  {\"name\": %s, \"size\": %u, \"pieces\": %u, \"root\": %s}", first ? "" : ",",
                json_string(target.name).c_str(), target.file_size, target.pieces,
                json_string(root_folder(*target.prefix)).c_str());
}

void print_json_folder(const std::string& folder, bool first) {
    const root_prefix* prefix = find_root_prefix((folder + "/").c_str());
    std::printf("%s\n  {\"folder\": %s, \"root\": %s}", first ? "" : ",", json_string(folder).c_str(),
                json_string(root_folder(*prefix)).c_str());
}

// "release: 5", "release: none", or why an updater built with a key refuses
// the release target.
std::string release_line(const package_release& release) {
    const std::string problem = release_problem(release);
    if (!problem.empty()) return "release: refused by an updater built with a key: " + problem;
    const uint32_t number = release_number(release);
    return "release: " + (number != 0 ? std::to_string(number) : std::string("none"));
}

// The rest of the listing after its targets: the totals, the release of a
// package the updater takes, and the folders, when asked for.
void print_text_end(const scan_result& result, const names_by_key* folders, const package_release& release) {
    std::printf("%s, %s, %s\n", plural(result.targets, "target").c_str(), plural(result.bytes, "byte").c_str(),
                plural(result.records, "record").c_str());
    if (result.would_apply) std::printf("%s\n", release_line(release).c_str());
    if (folders != nullptr) print_text_folders(*folders);
}

// The rest of the JSON listing after its targets (`rows` of them): the
// folders, when asked for, the totals, and the release (null for none, or
// one refused: then "release_problem" says why).
void print_json_end(const scan_result& result, bool scanned, const names_by_key* folders, uint64_t rows,
                    const package_release& release) {
    const uint32_t number = result.would_apply ? release_number(release) : 0;
    const std::string problem = result.would_apply ? release_problem(release) : "";
    if (folders != nullptr) {
        std::printf("%s],\n \"folders\": [", rows == 0 ? "" : "\n");
        rows = 0;
        for (const auto& folder : *folders) print_json_folder(folder.second, rows++ == 0);
    }
    std::printf("%s],\n \"target_count\": %llu, \"total_bytes\": %llu, \"records\": %llu, \"integrity\": \"%s\", "
                "\"valid\": %s, \"release\": %s, \"release_problem\": %s}\n",
                rows == 0 ? "" : "\n", static_cast<unsigned long long>(result.targets),
                static_cast<unsigned long long>(result.bytes), static_cast<unsigned long long>(result.records),
                result.records == 0 ? "unknown" : result.integrity_version != 0 ? "crc32c" : "none",
                scanned && !result.refused ? "true" : "false", number != 0 ? std::to_string(number).c_str() : "null",
                problem.empty() ? "null" : json_string(problem).c_str());
}

}  // namespace

int run_list(int argc, char** argv) {
    bool json = false;
    bool with_folders = false;
    std::vector<const char*> operands;
    const command_line line{"list", usage, {{"--json", &json}, {"--folders", &with_folders}}, 1, 1, "one package, please"};
    if (const int status = parse_arguments(line, argc, argv, operands); status != arguments_parsed) return status;
    const char* path = operands[0];

    scan_handlers handlers;
    package_release release;
    watch_release(handlers, release);
    uint64_t rows = 0;
    names_by_key folders;  // as Windows compares them, to the first spelling
    handlers.on_target = [&](const scanned_target& target) {
        json ? print_json_row(target, rows == 0) : print_text_row(target);
        ++rows;
        if (with_folders) add_folders(target.name, folders);
    };
    json ? std::printf("{\"targets\": [") : std::printf("%-48s %12s %7s  %s\n", "NAME", "SIZE", "PIECES", "INSTALLED IN");
    scan_result result;
    const bool scanned = scan_or_complain("list", path, handlers, result);
    if (json) {
        print_json_end(result, scanned, with_folders ? &folders : nullptr, rows, release);
    } else if (scanned) {
        print_text_end(result, with_folders ? &folders : nullptr, release);
    }
    // A listing lost on a full disk or a closed pipe must not pass for one written.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        say("list", std::string("cannot write the listing: ") + std::strerror(errno));
        return exit_io_error;
    }
    if (!scanned) return exit_io_error;
    if (result.refused) {
        say("list", std::string(path) + " is invalid: record " + std::to_string(result.refusal.record) + " at byte " +
                        std::to_string(result.refusal.offset) + ": " + result.refusal.text);
        return exit_refused;
    }
    return exit_ok;
}
