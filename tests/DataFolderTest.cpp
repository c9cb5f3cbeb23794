#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/DataFolder.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// The folder the data folder search picks, with FLURBER_DATA set to dataVariable.
std::string Chosen(const char* dataVariable, const std::string& executableFolder,
                   const std::string& current) {
    return FirstDataFolder(DataFolderCandidates(dataVariable, executableFolder, current));
}

bool Same(const std::string& chosen, const std::string& expected) {
    std::error_code error;
    return !chosen.empty() && fs::equivalent(chosen, expected, error);
}

}  // namespace

// Each place that gets the data counts only when it holds Graphics/, and an earlier one wins:
// FLURBER_DATA, then the program's own folder, then the installed data beside it, then the
// current directory.
TEST(DataFolderTest, TheFirstFolderHoldingGraphicsWins) {
    TemporaryFolder root;
    const std::string named = root.path + "/named";
    const std::string program = root.path + "/prefix/bin";
    const std::string current = root.path + "/elsewhere";
    const fs::path installed = fs::path(program) / FLURBER_DATA_FROM_BINARY;
    for (const fs::path& folder :
         {fs::path(named), fs::path(program), fs::path(current), installed})
        fs::create_directories(folder);

    EXPECT_EQ(Chosen(named.c_str(), program, current), "") << "no folder holds data";
    std::ofstream(current + "/Graphics") << "a file, not a folder";
    EXPECT_EQ(Chosen(named.c_str(), program, current), "");

    fs::remove(current + "/Graphics");
    fs::create_directory(current + "/Graphics");
    EXPECT_TRUE(Same(Chosen(named.c_str(), program, current), current));

    fs::create_directory(installed / "Graphics");
    EXPECT_TRUE(Same(Chosen(named.c_str(), program, current), installed));

    fs::create_directory(program + "/Graphics");
    EXPECT_TRUE(Same(Chosen(named.c_str(), program, current), program));
    EXPECT_TRUE(Same(Chosen(nullptr, program, current), program));
    EXPECT_TRUE(Same(Chosen("", program, current), program)) << "set but empty";

    fs::create_directory(named + "/Graphics");
    EXPECT_TRUE(Same(Chosen(named.c_str(), program, current), named));

    // Where the program's folder is unknown, only FLURBER_DATA and the current directory remain.
    EXPECT_TRUE(Same(Chosen(nullptr, "", current), current));
}
