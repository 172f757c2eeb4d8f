// The product carries its icon and cursor: read from the 32-bit executable as
// data, which any Wine can do even where 32-bit code cannot run.
#include "wine_bench.h"

#include "support/process.h"

#include <gtest/gtest.h>

#include <string>

TEST(wine_resources, the_product_has_its_icon_and_cursor) {
    std::string windows_path = "Z:" + std::string(ULV_PRODUCT_EXE);
    for (char& c : windows_path) {
        if (c == '/') c = '\\';
    }
    const process_result probe = run_under_wine({"C:\\ulvbench\\resource_probe.exe", windows_path});
    EXPECT_EQ(probe.exit_code, 0) << probe.output << probe.errors;
    EXPECT_NE(probe.output.find("icon id=1000 images=1 32x32 bits=8"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("cursor id=1 images=1 32x32 bits=1"), std::string::npos) << probe.output;
}
