#include "app/DataFolder.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef FLURBER_DATA_FROM_BINARY
#define FLURBER_DATA_FROM_BINARY "../share/games/flurber"
#endif

namespace {

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    path[length] = '\0';
    return std::filesystem::path(path).parent_path().string();
}

std::string CurrentFolder() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) != nullptr ? path : ".";
}

// Why the folder's Graphics can't serve: empty when it can be read, else the reason.
std::string GraphicsProblem(const std::string& folder) {
    const std::string graphics = (std::filesystem::path(folder) / "Graphics").string();
    std::error_code error;
    if (!std::filesystem::is_directory(graphics, error)) {
        if (!std::filesystem::is_directory(folder, error)) return "there is no such folder";
        return std::filesystem::is_symlink(graphics, error) ? "its Graphics/ is a broken link"
                                                            : "it has no Graphics/ folder";
    }
    // A folder that can be looked at but not read gives a black menu and an error box for every
    // sound. The permission bits alone don't tell it: they don't bind root.
    DIR* opened = opendir(graphics.c_str());
    if (opened == nullptr || access(graphics.c_str(), R_OK | X_OK) != 0) {
        const std::string reason = std::strerror(errno);
        if (opened != nullptr) closedir(opened);
        return "its Graphics/ can't be read (" + reason + ")";
    }
    closedir(opened);
    return "";
}

bool HasGraphicsFolder(const std::string& folder) {
    std::error_code error;
    return std::filesystem::exists(
        std::filesystem::symlink_status(std::filesystem::path(folder) / "Graphics", error));
}

}  // namespace

std::vector<std::string> DataFolderCandidates(const char* dataVariable,
                                              const std::string& executableFolder,
                                              const std::string& currentFolder) {
    std::vector<std::string> candidates;
    if (dataVariable != nullptr && dataVariable[0] != '\0') candidates.push_back(dataVariable);
    if (!executableFolder.empty()) {
        candidates.push_back(executableFolder);
        candidates.push_back((std::filesystem::path(executableFolder) / FLURBER_DATA_FROM_BINARY)
                                 .lexically_normal()
                                 .string());
    }
    candidates.push_back(currentFolder);
    return candidates;
}

std::string FirstDataFolder(const std::vector<std::string>& candidates) {
    for (const std::string& folder : candidates) {
        if (GraphicsProblem(folder).empty()) return folder;
    }
    return "";
}

DataFolderChoice ChooseDataFolder(const char* dataVariable, const std::string& executableFolder,
                                  const std::string& currentFolder) {
    const std::vector<std::string> candidates =
        DataFolderCandidates(dataVariable, executableFolder, currentFolder);
    const bool named = dataVariable != nullptr && dataVariable[0] != '\0';
    DataFolderChoice choice;
    std::string namedProblem;
    for (const std::string& folder : candidates) {
        const std::string problem = GraphicsProblem(folder);
        if (problem.empty()) {
            choice.folder = folder;
            break;
        }
        if (named && &folder == &candidates.front()) {
            namedProblem = problem;
        } else if (HasGraphicsFolder(folder)) {
            // Most candidates simply lack the data; one whose Graphics the game can't use is
            // worth a word.
            choice.told += "The Flurber: passing over " + folder + ": " + problem + "\n";
        }
    }
    if (!namedProblem.empty()) {
        // A mistyped FLURBER_DATA must not leave the player on other data without a word.
        const std::string instead = choice.folder.empty() ? "no other folder holds the data either"
                                                          : "using " + choice.folder + " instead";
        choice.told += "The Flurber: FLURBER_DATA names " + candidates.front() + ", but " +
                       namedProblem + "; " + instead + "\n";
    }
    if (choice.folder.empty()) {
        std::string looked;
        for (const std::string& candidate : candidates) {
            looked += looked.empty() ? "" : ", ";
            looked += candidate;
        }
        choice.told += "The Flurber: no game data (a folder holding Graphics/) in " + looked +
                       "; running in " + currentFolder + " (FLURBER_DATA names the data folder)\n";
    }
    return choice;
}

void EnterDataFolder() {
    const DataFolderChoice choice =
        ChooseDataFolder(std::getenv("FLURBER_DATA"), ExecutableFolder(), CurrentFolder());
    std::fputs(choice.told.c_str(), stderr);
    if (choice.folder.empty()) return;
    const std::string& folder = choice.folder;
    if (chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "The Flurber: cannot enter the data folder %s: %s\n", folder.c_str(),
                     std::strerror(errno));
    }
}
