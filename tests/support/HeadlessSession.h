#pragma once
#include <string>

#include "platform/headless/HeadlessBackend.h"

// Runs a test on the headless platform with the devices started, in the folder the game runs in
// (where the asset pack is built). Everything is shut down and put back at the end of the scope.
// Without audio, audioTriedFromStart has the program try a device again, as the real platform does.
class HeadlessSession {
public:
    explicit HeadlessSession(bool withAudio = false, bool audioTriedFromStart = false);
    ~HeadlessSession();
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    HeadlessBackend backend;
    bool started;

private:
    std::string previousDirectory;
};

// Changes the working directory for a scope.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& directory);
    ~WorkingDirectory();

private:
    std::string previous;
};
