#include "report.h"

#include <cstdio>

bool scan_or_complain(const char* command, const std::string& path, const scan_handlers& handlers,
                      scan_result& result) {
    std::string why;
    switch (scan_package(path, handlers, result, why)) {
        case scan_outcome::not_opened:
            std::fprintf(stderr, "ulvpack %s: cannot open %s: %s\n", command, path.c_str(), why.c_str());
            return false;
        case scan_outcome::unreadable:
            std::fprintf(stderr, "ulvpack %s: cannot read %s: %s\n", command, path.c_str(), result.refusal.text.c_str());
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
        std::fprintf(stderr, "%s: %s\n", kind, finding.text.c_str());
    } else {
        std::fprintf(stderr, "%s: record %llu at byte %llu: %s\n", kind, static_cast<unsigned long long>(finding.record),
                     static_cast<unsigned long long>(finding.offset), finding.text.c_str());
    }
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
