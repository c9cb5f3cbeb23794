#pragma once
#include <string>

#include "platform/headless/HeadlessBackend.h"

// The headless platform, able to leave out its copy of every shown picture into Screen(): that
// copy stands in for the real screen and is no part of drawing a frame into the back buffer.
class BenchBackend : public HeadlessBackend {
public:
    void ShowImage(const Surface& image) override;

    bool copyToScreen = true;
};

// The program's devices started on the headless platform, in the folder the game runs in, as
// RunProgram has them before its first frame (or only the folder and the platform, for a run of
// RunProgram itself). Everything is shut down at the end of the scope.
class BenchSession {
public:
    explicit BenchSession(bool startDevices = true);
    ~BenchSession();
    BenchSession(const BenchSession&) = delete;
    BenchSession& operator=(const BenchSession&) = delete;

    BenchBackend backend;
    bool started;

private:
    std::string previousDirectory;
};

// True when the asset pack has been built into the run folder.
bool AssetPackPresent();

// Resident set size of this process, in kilobytes.
long ResidentKilobytes();
