#pragma once
#include <string>
#include <vector>

// The game loads everything by names relative to its working directory. Installed, it is started
// from anywhere, so at start-up it moves into the folder that holds its data.

// Where the data is looked for, in order: the folder that FLURBER_DATA names (when set and not
// empty), the executable's own folder (the build's run folder), the installed data folder
// relative to the executable, and the current directory.
std::vector<std::string> DataFolderCandidates(const char* dataVariable,
                                              const std::string& executableFolder,
                                              const std::string& currentFolder);

// The first of the candidates that holds a Graphics folder the game can read; empty when none
// does.
std::string FirstDataFolder(const std::vector<std::string>& candidates);

// The folder the game takes its data from (empty: none holds it) and what the player is told on
// stderr about the search, in whole lines: a FLURBER_DATA that was passed over is named with the
// folder used instead, and so is a Graphics folder that can't be read.
struct DataFolderChoice {
    std::string folder;
    std::string told;
};
DataFolderChoice ChooseDataFolder(const char* dataVariable, const std::string& executableFolder,
                                  const std::string& currentFolder);

// Makes the data folder the working directory. When no candidate holds the data, says once on
// stderr where it looked and stays in the current directory, as the game always has.
void EnterDataFolder();
