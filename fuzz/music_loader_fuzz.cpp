// Any bytes at all as a MIDI file for LoadMusicSegment, then whatever it made is played, re-timed
// and stopped, with the synthesizer rendering as it would in the game.
#include <fluidsynth.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Devices.h"
#include "media/Music.h"
#include "platform/headless/HeadlessBackend.h"

namespace {
HeadlessBackend* backend = nullptr;
std::string folder;
std::string musicPath;

void RemoveMusicFile() {
    std::remove(musicPath.c_str());
    rmdir((folder + "/Music").c_str());
    rmdir(folder.c_str());
}

void Check(bool condition) {
    if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A file full of notes at once overflows the synthesizer's event queue, which it reports on
    // every block: quiet, or the fuzzer spends its time writing the log.
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
        fluid_set_log_function(level, nullptr, nullptr);
    }
    // The devices as the game starts them, with the music loader looking in a folder of our own.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    folder = std::string(base) + "/flurber-music-fuzz-" + std::to_string(getpid());
    Check(mkdir(folder.c_str(), 0700) == 0 || access(folder.c_str(), W_OK) == 0);
    Check(mkdir((folder + "/Music").c_str(), 0700) == 0 ||
          access((folder + "/Music").c_str(), W_OK) == 0);
    musicPath = folder + "/Music/fuzz.mid";
    std::atexit(RemoveMusicFile);
    Check(chdir(folder.c_str()) == 0);

    backend = new HeadlessBackend();
    backend->audioAvailable = true;
    activeBackend = backend;
    backend->CreateMainWindow("The Flurber", 0, 0, 400, 300);
    Check(StartDevices());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(musicPath.c_str(), "wb");
    if (file == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    LoadMusicSegment(L"Music\\fuzz.mid");
    SetMusicTempo(95.0);
    PlayMusicSegment();
    backend->Advance(5000);  // 5 ms of music: the file is read and its first events played
    SetMusicTempo(130.0);
    backend->Advance(3000);
    // Loaded again into the full slot, from its start, then silenced.
    LoadMusicSegment(L"Music\\fuzz.mid");
    PlayMusicSegment();
    backend->Advance(2000);
    StopMusic();
    backend->Advance(1000);
    ReleaseCurrentSegment();
    Check(currentSegment == nullptr);
    return 0;
}
