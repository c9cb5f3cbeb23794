// Any bytes at all as a .wav file for the game's wave loader, then whatever it made is played.
// Besides the sanitizers' findings, a buffer holding more bytes than the file, or mixer frames
// that don't match its bytes, is a crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Devices.h"
#include "media/Sound.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundDevice.h"

namespace {
HeadlessBackend* backend = nullptr;
std::string wavePath;

void RemoveWaveFile() {
    std::remove(wavePath.c_str());
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckBuffer(const SoundBuffer* buffer, size_t fileSize) {
    Check(buffer->bytes.size() <= fileSize);
    const WaveFormat& format = buffer->format;
    const uint64_t frames = buffer->bytes.size() / format.blockAlign;
    Check(buffer->frames.size() == 2 * SoundBuffer::MixerFrameCount(frames, format.samplesPerSec));
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    backend = new HeadlessBackend();
    backend->audioAvailable = true;
    activeBackend = backend;
    soundDevice = new SoundDevice();
    Check(soundDevice->Open());
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    wavePath = std::string(folder) + "/flurber-wave-fuzz-" + std::to_string(getpid()) + ".wav";
    std::atexit(RemoveWaveFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(wavePath.c_str(), "wb");
    if (file == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    SoundBuffer* slot = nullptr;
    LoadWaveSound(wavePath.c_str(), slot);
    if (slot != nullptr) {
        CheckBuffer(slot, size);
        PlaySoundFromStart(slot);
        backend->Advance(2000);
        AdjustSoundVolume(slot, -700);
        backend->Advance(1000);
        // A second load into the full slot replaces the buffer.
        LoadWaveSound(wavePath.c_str(), slot);
        Check(slot != nullptr && soundDevice->mixer.voices.size() == 1);
        CheckBuffer(slot, size);
        PlaySoundFromStart(slot);
        backend->Advance(1000);
        StopSound(slot);
        ReleaseSound(slot);
    }
    Check(soundDevice->mixer.voices.empty());
    backend->messageBoxes.clear();
    return 0;
}
