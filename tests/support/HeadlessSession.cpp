#include "tests/support/HeadlessSession.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "app/Devices.h"
#include "app/Shell.h"
#include "platform/System.h"

namespace {
// Whatever test touches the mixer's state without the audio lock fails, wherever its backend came
// from.
void FailUnlockedAudioTouch(const char* what) {
    ADD_FAILURE() << what << " touched the mixer's state without the audio lock";
}
const bool unlockedAudioTouchesFail =
    (HeadlessBackend::unlockedAudioTouch = FailUnlockedAudioTouch, true);

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string(".");
}
}  // namespace

WorkingDirectory::WorkingDirectory(const std::string& directory) : previous(CurrentDirectory()) {
    if (chdir(directory.c_str()) != 0) previous.clear();
}

WorkingDirectory::~WorkingDirectory() {
    if (!previous.empty() && chdir(previous.c_str()) != 0) {
        // Nothing sensible to do; the next test changes directory again anyway.
    }
}

HeadlessSession::HeadlessSession(bool withAudio, bool audioTriedFromStart)
    : started(false), previousDirectory(CurrentDirectory()) {
    backend.audioAvailable = withAudio;
    backend.audioTriedFromStart = audioTriedFromStart;
    activeBackend = &backend;
    ResetShellValues();
    ResetSystemState();
    if (chdir(FLURBER_RUN_DIR) != 0) previousDirectory.clear();
    backend.CreateMainWindow("The Flurber", 312, 234, 400, 300);
    started = StartDevices();
}

HeadlessSession::~HeadlessSession() {
    ShutdownDevices();
    activeBackend = nullptr;
    if (!previousDirectory.empty() && chdir(previousDirectory.c_str()) != 0) {
        // See WorkingDirectory.
    }
}
