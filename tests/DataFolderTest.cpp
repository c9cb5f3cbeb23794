#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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
    EXPECT_EQ("The Flurber: FLURBER_DATA names " + named +
                  ", but it has no Graphics/ folder; using " + program + " instead\n",
              ChooseDataFolder(named.c_str(), program, current).told);
    EXPECT_TRUE(Same(Chosen(nullptr, program, current), program));
    EXPECT_TRUE(Same(Chosen("", program, current), program)) << "set but empty";

    fs::create_directory(named + "/Graphics");
    EXPECT_TRUE(Same(Chosen(named.c_str(), program, current), named));

    // Where the program's folder is unknown, only FLURBER_DATA and the current directory remain.
    EXPECT_TRUE(Same(Chosen(nullptr, "", current), current));
}

// A Graphics folder the player can't read gave a black menu and an error box for every sound; it is
// passed over and told. Permission bits don't bind root, so as root the search runs in a child that
// has given root up.
TEST(DataFolderTest, AGraphicsFolderThatCantBeReadIsPassedOverAndTold) {
    TemporaryFolder root;
    const std::string locked = root.path + "/locked";
    const std::string current = root.path + "/current";
    fs::create_directories(locked + "/Graphics");
    fs::create_directories(current + "/Graphics");
    fs::permissions(root.path,
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(locked + "/Graphics", fs::perms::none);
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        const DataFolderChoice choice = ChooseDataFolder(nullptr, locked, current);
        const std::string expected = "The Flurber: passing over " + locked +
                                     ": its Graphics/ can't be read (Permission denied)\n";
        if (choice.folder == current && choice.told == expected) _exit(0);
        std::fprintf(stderr, "chose %s, told: %s", choice.folder.c_str(), choice.told.c_str());
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    fs::permissions(locked + "/Graphics", fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}
