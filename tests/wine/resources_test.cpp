// The product carries its icon, cursor and version: read from the 32-bit
// executables as data, which any Wine can do even where 32-bit code cannot
// run. The bench's ulvpack.exe says its version too.
#include "wine_bench.h"

#include "hex_text.h"

#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

namespace {

process_result probe(const std::string& program) {
    std::string windows_path = "Z:" + program;
    for (char& c : windows_path) {
        if (c == '/') c = '\\';
    }
    process_result result = run_under_wine({"C:\\ulvbench\\resource_probe.exe", windows_path});
    result.output.erase(std::remove(result.output.begin(), result.output.end(), '\r'), result.output.end());
    return result;
}

std::string version_line(const std::string& name, const std::string& value) {
    return "version " + name + "=" + to_hex(value) + "\n";
}

}  // namespace

TEST(wine_resources, the_product_has_its_icon_cursor_and_version) {
    const process_result product = probe(ULV_PRODUCT_EXE);
    EXPECT_EQ(product.exit_code, 0) << product.output << product.errors;
    EXPECT_NE(product.output.find("icon id=1000 images=1 32x32 bits=8"), std::string::npos) << product.output;
    EXPECT_NE(product.output.find("cursor id=1 images=1 32x32 bits=1"), std::string::npos) << product.output;

    // Both programs say who made them and which version they are, in French, as Windows shows them: the
    // four-part file version, the whole version of the commit as the product's, and whether it is a release.
    // The resource itself is stored under French, as its string table and translation say.
    const std::string version = ULV_VERSION;
    const std::string file_version = ULV_FILE_VERSION;
    const bool prerelease = version.find('-') != std::string::npos;
    // The updater asks Windows for elevation itself; the tool runs as its caller. Neither sets a code page.
    struct row { std::string program; std::string description; std::string level; };
    const row rows[] = {
        {ULV_PRODUCT_EXE, "Mise \xE0 jour d'Ulverno", "requireAdministrator"},
        {ULV_PRODUCT_PACK_EXE, "Paquets de mise \xE0 jour d'Ulverno", "asInvoker"},
    };
    for (const row& r : rows) {
        const process_result found = probe(r.program);
        const std::string name = r.program.substr(r.program.rfind('/') + 1);
        const std::string fixed = "version file=" + file_version + " product=" + file_version +
                                  " prerelease=" + (prerelease ? "1" : "0") + "\n";
        EXPECT_NE(found.output.find(fixed), std::string::npos) << fixed << found.output;
        EXPECT_NE(found.output.find("version languages=040C\n"), std::string::npos) << found.output;
        for (const std::string& line : {version_line("CompanyName", "Ulverno"), version_line("FileDescription", r.description),
                                        version_line("OriginalFilename", name), version_line("FileVersion", file_version),
                                        version_line("LegalCopyright", "\xA9 Ulverno " ULV_COPYRIGHT_YEAR),
                                        version_line("ProductVersion", version)}) {
            EXPECT_NE(found.output.find(line), std::string::npos) << name << ": " << line << found.output;
        }
        EXPECT_NE(found.output.find("manifest level=" + r.level + " ui_access=false code_page=none supported_os=4\n"),
                  std::string::npos) << found.output;
    }
    // No library is imported that Windows would look for beside the program: only those it always takes from
    // the system folder (the signed updater's CNG is loaded from there by full search path, never imported).
    const std::set<std::string> system_only = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll"};
    for (const std::string& program : {std::string(ULV_PRODUCT_EXE), std::string(ULV_PRODUCT_SIGNED_EXE),
                                       std::string(ULV_PRODUCT_PACK_EXE)}) {
        const std::string output = probe(program).output;
        const size_t line = output.find("imports ");
        ASSERT_NE(line, std::string::npos) << output;
        std::istringstream imports(output.substr(line + 8, output.find('\n', line) - line - 8));
        size_t count = 0;
        for (std::string name; std::getline(imports, name, ',');) {
            EXPECT_EQ(system_only.count(name), 1u) << program << " imports " << name;
            ++count;
        }
        EXPECT_GE(count, 3u) << output;
    }

    // The Windows package tool says the same version (as the Linux one does).
    process_result said = run_under_wine({"C:\\ulvbench\\ulvpack.exe", "--version"});
    said.output.erase(std::remove(said.output.begin(), said.output.end(), '\r'), said.output.end());
    EXPECT_EQ(said.output, "ulvpack " + version + "\n");
}
