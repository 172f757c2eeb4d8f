#include "report.h"

#include "commands.h"

#include <cstdio>

bool scan_or_complain(const char* command, const std::string& path, package_scan& scan, const piece_handler& on_piece) {
    switch (scan_package(path, scan, on_piece)) {
        case scan_outcome::not_opened:
            std::fprintf(stderr, "ulvpack %s: cannot open %s\n", command, path.c_str());
            return false;
        case scan_outcome::unreadable:
            std::fprintf(stderr, "ulvpack %s: cannot read %s: %s\n", command, path.c_str(), scan.findings.back().text.c_str());
            return false;
        case scan_outcome::scanned:
        case scan_outcome::stopped:
            break;
    }
    return true;
}

void print_findings(const package_scan& scan) {
    for (const scan_finding& finding : scan.findings) {
        const char* kind = finding.error ? "error" : "warning";
        if (finding.record == 0) {
            std::fprintf(stderr, "%s: %s\n", kind, finding.text.c_str());
        } else {
            std::fprintf(stderr, "%s: record %u at byte %llu: %s\n", kind, finding.record,
                         static_cast<unsigned long long>(finding.offset), finding.text.c_str());
        }
    }
}

const scan_finding* refusal(const package_scan& scan) {
    return !scan.findings.empty() && scan.findings.back().error ? &scan.findings.back() : nullptr;
}

uint64_t total_bytes(const package_scan& scan) {
    uint64_t bytes = 0;
    for (const scanned_target& target : scan.targets) bytes += target.written;
    return bytes;
}

const char* root_description(const root_prefix& prefix) {
    switch (prefix.root) {
        case root_kind::install: return "install directory";
        case root_kind::windows: return "Windows directory";
        case root_kind::system: return "system directory";
    }
    return "";
}
