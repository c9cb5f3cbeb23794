#include "platform/sound/SoundDevice.h"

#include <new>

#include "platform/Backend.h"

namespace {
constexpr uint32_t SmallestRate = 100;
constexpr uint32_t LargestRate = 200000;
constexpr uint32_t SmallestBuffer = 4;
// A buffer is held twice, as the file has it and as the mixer plays it, and read through a block
// of its size: a sound of the largest kind costs about 100 MB. Ours are a few hundred kB.
constexpr uint32_t LargestBuffer = uint32_t{32} << 20;
// About 3 minutes at the mixer's rate: a sound at a very low rate is never blown up past this.
constexpr uint64_t LargestMixerFrames = uint64_t{1} << 23;
// 20 ms: short enough not to delay the quit, long enough not to click.
constexpr int FadeFrames = AudioMixer::SampleRate / 50;
// A device that stops asking for sound must not hold up the quit for long.
constexpr uint32_t LongestFadeWaitMs = 500;

bool IsPlayableFormat(const WaveFormat& format) {
    if (format.formatTag != WaveFormatPcm) return false;
    if (format.channels != 1 && format.channels != 2) return false;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
    if (format.blockAlign != format.channels * format.bitsPerSample / 8) return false;
    return format.samplesPerSec >= SmallestRate && format.samplesPerSec <= LargestRate;
}
}  // namespace

SoundDevice::SoundDevice() : opened(false) {}

SoundDevice::~SoundDevice() {
    if (opened && activeBackend != nullptr) activeBackend->CloseAudio();
    // A buffer still held past this point stays silent rather than reaching a dead mixer.
    mixer.DetachVoices();
}

bool SoundDevice::Open() {
    opened = activeBackend != nullptr && activeBackend->OpenAudio(mixer, AudioMixer::SampleRate);
    return opened;
}

void SoundDevice::FadeOut() {
    if (!opened || activeBackend == nullptr) return;
    const uint64_t queued = activeBackend->AudioQueuedFrames();
    {
        AudioLock lock;
        mixer.FadeOut(FadeFrames);
    }
    const uint32_t start = activeBackend->Milliseconds();
    while (activeBackend->Milliseconds() - start < LongestFadeWaitMs) {
        {
            AudioLock lock;
            CheckAudioLocked("SoundDevice::FadeOut");
            if (mixer.fadeLeft == 0 && mixer.framesSilent >= queued) return;
        }
        activeBackend->SleepSlice();
    }
}

int32_t SoundDevice::CheckBufferDesc(const SoundBufferDesc* desc) {
    if (desc == nullptr || desc->size != SoundBufferDescSize || desc->format == nullptr) {
        return SoundInvalidParam;
    }
    if (!IsPlayableFormat(*desc->format)) return SoundBadFormat;
    if (desc->bufferBytes < SmallestBuffer || desc->bufferBytes > LargestBuffer) {
        return SoundInvalidParam;
    }
    const uint64_t frames = desc->bufferBytes / desc->format->blockAlign;
    if (SoundBuffer::MixerFrameCount(frames, desc->format->samplesPerSec) > LargestMixerFrames) {
        return SoundOutOfMemory;
    }
    return SoundOk;
}

int32_t SoundDevice::CreateSoundBuffer(const SoundBufferDesc* desc, SoundBuffer** out) {
    if (out == nullptr) return SoundInvalidParam;
    *out = nullptr;
    const int32_t check = CheckBufferDesc(desc);
    if (check < 0) return check;
    try {
        *out = new SoundBuffer(opened ? &mixer : nullptr, *desc->format, desc->bufferBytes);
    } catch (const std::bad_alloc&) {
        return SoundOutOfMemory;
    }
    return SoundOk;
}
