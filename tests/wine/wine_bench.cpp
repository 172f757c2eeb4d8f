#include "wine_bench.h"

#include "hex_text.h"

#include "support/process.h"
#include "support/scratch.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

std::vector<std::string> bench_environment() {
    std::vector<std::string> entries;
    std::istringstream lines(read_file(std::string(ULV_WINE_BENCH_DIR) + "/bench.env"));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) entries.push_back(line);
    }
    if (entries.empty()) throw std::runtime_error("the Wine bench is not running (no bench.env)");
    return entries;
}

std::string setting(const std::string& name) {
    for (const std::string& entry : bench_environment()) {
        if (entry.compare(0, name.size() + 1, name + "=") == 0) return entry.substr(name.size() + 1);
    }
    return "";
}

std::string field(const std::string& line, const std::string& name) {
    const size_t start = line.find(name + "=");
    if (start == std::string::npos) return "";
    const size_t value = start + name.size() + 1;
    return line.substr(value, line.find(' ', value) - value);
}

}  // namespace

std::string drive_c() {
    return setting("WINEPREFIX") + "/drive_c";
}

std::string programs_folder() {
    return drive_c() + "/ulvbench";
}

process_result run_under_wine(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {setting("WINELOADER")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run_process(command, bench_environment());
}

bench_run run_in_bench(const std::string& command_line, const bench_options& options) {
    std::vector<std::string> environment = bench_environment();
    for (std::string& entry : environment) {
        if (!options.locale.empty() && (entry.rfind("LANG=", 0) == 0 || entry.rfind("LC_ALL=", 0) == 0)) {
            entry = entry.substr(0, entry.find('=') + 1) + options.locale;
        }
    }
    std::vector<std::string> arguments = {setting("WINELOADER"), "C:\\ulvbench\\bench.exe"};
    if (!options.hold_path.empty()) {
        arguments.insert(arguments.end(), {"--hold", options.hold_path, std::to_string(options.hold_ms)});
    }
    if (!options.module.empty()) arguments.insert(arguments.end(), {"--module", options.module});
    if (options.console_code_page != 0) {
        arguments.insert(arguments.end(), {"--console", std::to_string(options.console_code_page)});
    }
    for (const std::string& setting : options.environment) arguments.insert(arguments.end(), {"--env", setting});
    if (!options.intrude_when.empty()) {
        arguments.insert(arguments.end(), {"--intrude-when", options.intrude_when, options.intrude_on});
    }
    arguments.insert(arguments.end(), {"--timeout", std::to_string(options.timeout_ms), to_hex(command_line)});
    const process_result process = run_process(arguments, environment);

    bench_run run;
    run.transcript = process.output;
    std::istringstream lines(process.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("box ", 0) == 0) {
            run.boxes.push_back({from_hex(field(line, "caption")), from_hex(field(line, "text")), field(line, "buttons")});
        } else if (line.rfind("exit ", 0) == 0) {
            run.exit_code = std::stoi(field(line, "code"));
            run.elapsed_ms = std::stol(field(line, "elapsed_ms"));
            const std::string console = field(line, "console_code_page");
            if (!console.empty()) run.console_code_page = std::stoul(console);
        } else if (line.rfind("intrusion ", 0) == 0) {
            run.intrusion_write_error = std::stol(field(line, "write_error"));
            run.intrusion_delete_error = std::stol(field(line, "delete_error"));
        } else if (line.rfind("timeout ", 0) == 0) {
            run.timed_out = true;
        }
    }
    return run;
}
