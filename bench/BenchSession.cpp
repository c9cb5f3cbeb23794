#include "bench/BenchSession.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>

#include "app/Devices.h"
#include "app/Shell.h"
#include "platform/System.h"

namespace {
std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}
}  // namespace

void BenchBackend::ShowImage(const Surface& image) {
    if (copyToScreen) {
        HeadlessBackend::ShowImage(image);
    } else {
        ++imagesShown;
    }
}

BenchSession::BenchSession(bool startDevices)
    : started(false), previousDirectory(CurrentDirectory()) {
    // No sound: the mixer would be rendered offline as the clock moves, which is no part of a
    // frame.
    backend.audioAvailable = false;
    activeBackend = &backend;
    ResetShellValues();
    ResetSystemState();
    if (chdir(FLURBER_RUN_DIR) != 0) return;
    if (!startDevices) return;
    backend.CreateMainWindow("The Flurber", 312, 234, 400, 300);
    started = StartDevices();
}

BenchSession::~BenchSession() {
    ShutdownDevices();
    activeBackend = nullptr;
    if (!previousDirectory.empty() && chdir(previousDirectory.c_str()) != 0) {
        // Nothing to go back to; the process ends with the benchmarks anyway.
    }
}

bool AssetPackPresent() {
    const std::filesystem::path run(FLURBER_RUN_DIR);
    return std::filesystem::exists(run / "Graphics" / "MenuBG.bmp") &&
           std::filesystem::exists(run / "Graphics" / "flurberbathroom.bmp");
}

long ResidentKilobytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return -1;
    long pages = 0;
    long resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    if (read != 2) return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
