#include "report.h"

#include <cstdio>

void say(const char* command, const std::string& message) {
    std::fprintf(stderr, "ulvpack %s: %s\n", command, printable_text(message).c_str());
}

namespace {

bool complain_unless_scanned(const char* command, const std::string& path, scan_outcome outcome,
                             const std::string& why, const scan_result& result) {
    switch (outcome) {
        case scan_outcome::not_opened:
            say(command, "cannot open " + path + ": " + why);
            return false;
        case scan_outcome::unreadable:
            say(command, "cannot read " + path + ": " + finding_text(result.refusal));
            return false;
        case scan_outcome::scanned:
        case scan_outcome::stopped:
            break;
    }
    return true;
}

}  // namespace

bool scan_or_complain(const char* command, const std::string& path, const scan_handlers& handlers,
                      scan_result& result) {
    std::string why;
    const scan_outcome outcome = scan_package(path, handlers, result, why);
    return complain_unless_scanned(command, path, outcome, why, result);
}

bool scan_or_complain(const char* command, const std::string& path, int package, const scan_handlers& handlers,
                      scan_result& result, const walk_options& checks) {
    const scan_outcome outcome = scan_open_package(package, handlers, result, checks);
    return complain_unless_scanned(command, path, outcome, "", result);
}

void print_finding(const scan_finding& finding) {
    std::fprintf(stderr, "%s: %s\n", finding.error ? "error" : "warning", finding_text(finding).c_str());
}

std::string finding_text(const scan_finding& finding) {
    const std::string text = printable_text(finding.text);
    if (finding.record == 0) return text;
    return "record " + std::to_string(finding.record) + " at byte " + std::to_string(finding.offset) + ": " + text;
}

const char* root_description(const root_prefix& prefix) {
    switch (prefix.root) {
        case root_kind::install: return "install directory";
        case root_kind::windows: return "Windows directory";
        case root_kind::system: return "system directory";
    }
    return "";
}
