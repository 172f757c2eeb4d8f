#include "report.h"

#include <cstdio>

void say(const char* command, const std::string& message) {
    std::fprintf(stderr, "ulvpack %s: %s\n", command, printable_text(message).c_str());
}

bool scan_or_complain(const char* command, const std::string& path, const scan_handlers& handlers,
                      scan_result& result) {
    std::string why;
    switch (scan_package(path, handlers, result, why)) {
        case scan_outcome::not_opened:
            say(command, "cannot open " + path + ": " + why);
            return false;
        case scan_outcome::unreadable:
            say(command, "cannot read " + path + ": " + result.refusal.text);
            return false;
        case scan_outcome::scanned:
        case scan_outcome::stopped:
            break;
    }
    return true;
}

void print_finding(const scan_finding& finding) {
    const char* kind = finding.error ? "error" : "warning";
    if (finding.record == 0) {
        std::fprintf(stderr, "%s: %s\n", kind, printable_text(finding.text).c_str());
    } else {
        std::fprintf(stderr, "%s: record %llu at byte %llu: %s\n", kind, static_cast<unsigned long long>(finding.record),
                     static_cast<unsigned long long>(finding.offset), printable_text(finding.text).c_str());
    }
}

std::string grouped(uint64_t number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

std::string plural(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

const char* root_description(const root_prefix& prefix) {
    switch (prefix.root) {
        case root_kind::install: return "install directory";
        case root_kind::windows: return "Windows directory";
        case root_kind::system: return "system directory";
    }
    return "";
}
