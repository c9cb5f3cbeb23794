#include "platform/sound/SoundBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/sound/AudioMixer.h"

namespace {
uint8_t SilenceByte(const WaveFormat& format) {
    return format.bitsPerSample == 8 ? 0x80 : 0x00;
}

// One sample of a frame of the file's bytes as a signed 16-bit value.
int SampleAt(const WaveFormat& format, const uint8_t* frame, int channel) {
    if (format.bitsPerSample == 8) return (static_cast<int>(frame[channel]) - 128) * 256;
    const uint8_t* sample = frame + channel * 2;
    return static_cast<int16_t>(static_cast<uint16_t>(sample[0] | (sample[1] << 8)));
}
}  // namespace

SoundBuffer::SoundBuffer(AudioMixer* newMixer, const WaveFormat& newFormat, uint32_t bufferBytes)
    : format(newFormat),
      bytes(bufferBytes, SilenceByte(newFormat)),
      position(0),
      playing(false),
      locked(false),
      volume(SoundVolumeMax),
      gain(1.0f),
      mixer(newMixer) {
    if (mixer != nullptr) mixer->AddVoice(this);
}

int32_t SoundBuffer::Lock(uint32_t offset, uint32_t byteCount, void** part1, uint32_t* length1,
                          void** part2, uint32_t* length2, uint32_t flags) {
    if (part1 == nullptr || length1 == nullptr || locked) return SoundInvalidParam;
    const size_t size = bytes.size();
    if (byteCount == 0 || byteCount > size) return SoundInvalidParam;
    size_t start = offset;
    if ((flags & SoundLockFromWriteCursor) != 0) {
        // A stopped buffer writes where it would play next.
        size_t mixerFrame;
        {
            AudioLock lock;
            CheckAudioLocked("SoundBuffer::Lock");
            mixerFrame = position;
        }
        const uint64_t fileFrame =
            static_cast<uint64_t>(mixerFrame) * format.samplesPerSec / AudioMixer::SampleRate;
        start = static_cast<size_t>(fileFrame * format.blockAlign);
        if (start >= size) start = 0;
    }
    if (start >= size) return SoundInvalidParam;
    const size_t first = std::min<size_t>(byteCount, size - start);
    const size_t second = byteCount - first;
    if (second > 0 && (part2 == nullptr || length2 == nullptr)) return SoundInvalidParam;
    *part1 = bytes.data() + start;
    *length1 = static_cast<uint32_t>(first);
    if (part2 != nullptr) *part2 = second > 0 ? bytes.data() : nullptr;
    if (length2 != nullptr) *length2 = static_cast<uint32_t>(second);
    locked = true;
    return SoundOk;
}

int32_t SoundBuffer::Unlock(void* part1, uint32_t length1, void* part2, uint32_t length2) {
    if (!locked) return SoundNotLocked;
    const uint8_t* begin = bytes.data();
    const uint8_t* end = begin + bytes.size();
    const auto inside = [&](void* part, uint32_t length) {
        const auto* p = static_cast<const uint8_t*>(part);
        return length == 0 ||
               (p != nullptr && p >= begin && length <= static_cast<size_t>(end - p));
    };
    if (!inside(part1, length1) || !inside(part2, length2)) return SoundInvalidParam;
    locked = false;
    if (mixer == nullptr) return SoundOk;
    std::vector<int16_t> converted;
    try {
        converted = ConvertForMixer(format, bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {
        // The sound goes on playing what it played before: nothing, on a new buffer.
        return SoundOutOfMemory;
    }
    AudioLock lock;
    CheckAudioLocked("SoundBuffer::Unlock");
    frames.swap(converted);
    position = std::min(position, frames.size() / 2);
    return SoundOk;
}

int32_t SoundBuffer::GetStatus(uint32_t* status) {
    if (status == nullptr) return SoundInvalidParam;
    AudioLock lock;
    CheckAudioLocked("SoundBuffer::GetStatus");
    *status = playing ? SoundStatusPlaying : 0;
    return SoundOk;
}

int32_t SoundBuffer::SetCurrentPosition(uint32_t byteOffset) {
    if (byteOffset > bytes.size()) return SoundInvalidParam;
    const uint64_t fileFrame = byteOffset / format.blockAlign;
    AudioLock lock;
    CheckAudioLocked("SoundBuffer::SetCurrentPosition");
    position = static_cast<size_t>(std::min<uint64_t>(
        fileFrame * AudioMixer::SampleRate / format.samplesPerSec, frames.size() / 2));
    return SoundOk;
}

int32_t SoundBuffer::Play(uint32_t reserved, uint32_t priority, uint32_t flags) {
    (void)reserved;
    (void)priority;
    (void)flags;  // never looped: no screen asks for it
    if (mixer == nullptr) return SoundOk;
    AudioLock lock;
    CheckAudioLocked("SoundBuffer::Play");
    playing = position < frames.size() / 2;
    return SoundOk;
}

int32_t SoundBuffer::Stop() {
    AudioLock lock;
    CheckAudioLocked("SoundBuffer::Stop");
    playing = false;
    return SoundOk;
}

int32_t SoundBuffer::GetVolume(int32_t* out) {
    if (out == nullptr) return SoundInvalidParam;
    *out = volume;
    return SoundOk;
}

int32_t SoundBuffer::SetVolume(int32_t newVolume) {
    if (newVolume < SoundVolumeMin || newVolume > SoundVolumeMax) return SoundInvalidParam;
    // Hundredths of a decibel as an amplitude; the lowest volume is silence.
    const float newGain =
        newVolume == SoundVolumeMin ? 0.0f : static_cast<float>(std::pow(10.0, newVolume / 2000.0));
    AudioLock lock;
    CheckAudioLocked("SoundBuffer::SetVolume");
    volume = newVolume;
    gain = newGain;
    return SoundOk;
}

void SoundBuffer::Release() {
    if (mixer != nullptr) mixer->RemoveVoice(this);
    delete this;
}

void SoundBuffer::MixInto(float* stereo, int frameCount) {
    const size_t total = frames.size() / 2;
    const size_t count = std::min<size_t>(static_cast<size_t>(frameCount), total - position);
    if (gain > 0.0f) {
        const int16_t* source = frames.data() + position * 2;
        for (size_t i = 0; i < count * 2; ++i) stereo[i] += source[i] * gain;
    }
    position += count;
    if (position >= total) playing = false;
}

uint64_t SoundBuffer::MixerFrameCount(uint64_t frameCount, uint32_t samplesPerSec) {
    if (samplesPerSec == 0) return 0;
    return (frameCount * AudioMixer::SampleRate + samplesPerSec - 1) / samplesPerSec;
}

std::vector<int16_t> SoundBuffer::ConvertForMixer(const WaveFormat& format, const uint8_t* data,
                                                  size_t byteCount) {
    std::vector<int16_t> out;
    if (format.blockAlign == 0 || format.samplesPerSec == 0) return out;
    const uint64_t sourceFrames = byteCount / format.blockAlign;
    const uint64_t outFrames = MixerFrameCount(sourceFrames, format.samplesPerSec);
    out.resize(static_cast<size_t>(outFrames) * 2);
    const int rightChannel = format.channels == 2 ? 1 : 0;
    for (uint64_t i = 0; i < outFrames; ++i) {
        const uint64_t step = i * format.samplesPerSec;
        const uint64_t index = step / AudioMixer::SampleRate;
        const int64_t fraction = static_cast<int64_t>(step % AudioMixer::SampleRate);
        const uint8_t* frame = data + index * format.blockAlign;
        const uint8_t* next = index + 1 < sourceFrames ? frame + format.blockAlign : frame;
        for (int channel = 0; channel < 2; ++channel) {
            const int sourceChannel = channel == 0 ? 0 : rightChannel;
            const int64_t a = SampleAt(format, frame, sourceChannel);
            const int64_t b = SampleAt(format, next, sourceChannel);
            out[i * 2 + channel] =
                static_cast<int16_t>(a + (b - a) * fraction / AudioMixer::SampleRate);
        }
    }
    return out;
}
