#include "app/DataFolder.h"

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
        std::error_code error;
        if (std::filesystem::is_directory(std::filesystem::path(folder) / "Graphics", error)) {
            return folder;
        }
    }
    return "";
}

void EnterDataFolder() {
    const std::string current = CurrentFolder();
    const std::vector<std::string> candidates =
        DataFolderCandidates(std::getenv("FLURBER_DATA"), ExecutableFolder(), current);
    const std::string folder = FirstDataFolder(candidates);
    if (folder.empty()) {
        std::string looked;
        for (const std::string& candidate : candidates) {
            looked += looked.empty() ? "" : ", ";
            looked += candidate;
        }
        std::fprintf(stderr,
                     "The Flurber: no game data (a folder holding Graphics/) in %s; running in %s "
                     "(FLURBER_DATA names the data folder)\n",
                     looked.c_str(), current.c_str());
        return;
    }
    if (chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "The Flurber: cannot enter the data folder %s: %s\n", folder.c_str(),
                     std::strerror(errno));
    }
}
