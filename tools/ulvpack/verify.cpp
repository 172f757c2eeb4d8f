// ulvpack verify: would the updater apply this package, and if not, why?
#include "commands.h"
#include "names_by_key.h"
#include "number_text.h"
#include "package_release.h"
#include "report.h"
#include "signing.h"
#include "since_base.h"

#include "package/windows_names.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

const char usage[] =
    "usage: ulvpack verify [--against DIR] [--key PUB] PKG\n"
    "\n"
    "Reads the whole package as the updater would and says whether the updater\n"
    "would apply it; if not, why, with the record number and byte offset.\n"
    "Warnings name what the updater accepts but a release should not ship.\n"
    "Says whether the package is protected, and with which version of the\n"
    "integrity fields (version 3: a CRC-32C of each whole record, chained from\n"
    "the record before, so that records of two releases spliced together are\n"
    "refused; version 2: of each whole record; version 1: of each piece; all:\n"
    "the package's length declared), or classic, which the updater cannot check\n"
    "for damage.\n"
    "With --against DIR, a copy of an installation laid out as DIR/ulverno,\n"
    "DIR/windows and DIR/windows_system, also says which folders the package\n"
    "needs that DIR lacks, which of its targets DIR holds read-only, and where\n"
    "DIR has a folder in a target's place: on such an installation the update\n"
    "would fail.\n"
    "Says which release the package carries (create --release), if any; a\n"
    "release target that is not the last target or holds no release number is\n"
    "a warning, as an updater without a key installs it as a file.\n"
    "With --key PUB, a public key (PEM), also checks PKG.sig as an updater built\n"
    "with that key does: the signature of every byte of PKG, and that release\n"
    "target, which such an updater refuses: an error then.\n"
    "Exit status: 0 valid, 1 invalid (or it would fail on DIR), 2 usage error, or\n"
    "the package cannot be read.\n";

// What a copy of an installation lacks for the package, its names found as
// Windows finds them: folders (to the first target that needs each),
// targets it holds read-only, and folders where a target goes.
struct installation_check {
    fs::path folder;
    names_by_key missing_folders;
    names_by_key read_only;
    names_by_key in_the_way;  // folders where the package installs a file

    void take(const scanned_target& target) {
        fs::path found;
        entry_status status;
        std::string why;
        if (!find_below(folder, folder_name(target.name), found) || !is_folder(found)) {
            missing_folders.emplace(folder_key(target.name), target.name);
            return;
        }
        if (!find_below(folder, target.name, found) || !status_of(found, true, status, why)) return;
        if (status.kind == entry_kind::folder) {
            in_the_way.emplace(windows_key(target.name), target.name);
        } else if (status.kind == entry_kind::file && status.read_only) {
            read_only.emplace(windows_key(target.name), target.name);
        }
    }

    // Says what it found; true when the update would succeed there.
    bool report(const std::string& package) const {
        for (const auto& missing : missing_folders) {
            say("verify", "error: " + package + " needs the folder \"" + printable_text(folder_name(missing.second)) +
                              "\" (for " + quoted_name(missing.second) + "), which " + folder.u8string() +
                              " lacks: the updater never makes folders");
        }
        for (const auto& held : read_only) {
            say("verify", "error: " + quoted_name(held.second) + " is read-only in " + folder.u8string() +
                              ": the updater could not replace it");
        }
        for (const auto& folder_there : in_the_way) {
            say("verify", "error: " + quoted_name(folder_there.second) + " is a folder in " + folder.u8string() +
                              ": the updater never removes folders");
        }
        return missing_folders.empty() && read_only.empty() && in_the_way.empty();
    }
};

std::string integrity_said(const scan_result& result) {
    switch (result.integrity_version) {
        case 3:
            return "version 3, CRC-32C per record (name and header too) chained from the record before, so that "
                   "records of two releases spliced together are refused, length checked";
        case 2: return "version 2, CRC-32C per record (name and header too), length checked";
        case 1: return "version 1, CRC-32C per piece, length checked";
    }
    return result.marker_damaged ? "damaged (the first record was written protected, but its marker is gone)"
                                 : "none (classic package)";
}

// Says the release the package carries, and what is wrong with its release
// target, if anything: an error for an updater built with a key (`keyed`),
// which refuses it, else a warning. False for that error.
bool report_release(const std::string& path, const package_release& release, bool keyed) {
    const uint32_t number = release_number(release);
    say("verify", path + ": release: " + (number != 0 ? std::to_string(number) : std::string("none")));
    const std::string problem = release_problem(release);
    if (problem.empty()) return true;
    print_finding({keyed, release.record, release.offset,
                   problem + (keyed ? ": an updater built with this key refuses the package"
                                    : ": an updater built with a key refuses the package, one without installs it "
                                      "as a file")});
    return !keyed;
}

// Checks the signature as an updater built with `key` does and says so, with
// the release it would take. False when it does not hold.
bool report_signature(const std::string& path, const public_key& key, const package_release& release) {
    const std::string problem = signature_problem(path, key);
    say("verify", path + ": signature: " +
                      (problem.empty() ? "valid (key SHA-256 " + key.fingerprint + "), " + release_in_words(release)
                                       : "invalid: " + problem));
    return problem.empty();
}

// Says what would become of the package, and returns the exit status.
// `key_takes_it`: an updater built with the key given, if any, would take it.
int verdict(const std::string& path, const scan_result& result, const char* against, bool fits, bool key_takes_it) {
    if (result.refused) {
        say("verify", path + ": invalid: the updater would refuse it");
        return exit_refused;
    }
    if (!fits) {
        say("verify", path + ": valid, but it would fail on " + against);
        return exit_refused;
    }
    if (!key_takes_it) {
        say("verify", path + ": invalid: an updater built with this key would refuse it");
        return exit_refused;
    }
    say("verify", path + ": valid: " + plural(result.targets, "target") + ", " + plural(result.bytes, "byte") + ", " +
                      plural(result.records, "record"));
    return exit_ok;
}

}  // namespace

int run_verify(int argc, char** argv) {
    const char* against = nullptr;
    const char* key_path = nullptr;
    std::vector<const char*> operands;
    const command_line line{"verify", usage,
                            {{"--against", nullptr, &against, "DIR"}, {"--key", nullptr, &key_path, "public key"}}, 1, 1,
                            "one package, please", true};
    if (const int status = parse_arguments(line, argc, argv, operands); status != arguments_parsed) return status;
    const char* path = operands[0];
    public_key key;
    std::string why;
    if (key_path != nullptr && !read_public_key(key_path, key, why)) {
        say("verify", "cannot use the key " + printable_text(key_path) + ": " + why);
        return exit_io_error;
    }
    installation_check installation;
    scan_handlers handlers;
    package_release release;
    handlers.on_finding = print_finding;
    watch_release(handlers, release);
    if (against != nullptr) {
        installation.folder = fs::u8path(against);
        if (!is_folder(installation.folder)) {
            return usage_error("verify", usage, std::string(against) + " is not a folder");
        }
        handlers.on_target = [&](const scanned_target& target) { installation.take(target); };
    }
    scan_result result;
    if (!scan_or_complain("verify", path, handlers, result)) return exit_io_error;
    if (result.records > 0) say("verify", std::string(path) + ": integrity: " + integrity_said(result));
    const bool release_taken = !result.would_apply || report_release(path, release, key_path != nullptr);
    const bool fits = against == nullptr || installation.report(path);
    const bool signed_well = key_path == nullptr || report_signature(path, key, release);
    return verdict(path, result, against, fits, signed_well && release_taken);
}
