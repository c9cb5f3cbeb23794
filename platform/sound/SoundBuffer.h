#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class AudioMixer;

// The format record of a wave file, field for field as the file stores it (18 bytes).
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;  // meaningless for PCM
};
constexpr uint16_t WaveFormatPcm = 1;

// What a new sound buffer must be: a static buffer of bufferBytes bytes in the given format.
struct SoundBufferDesc {
    uint32_t size;  // SoundBufferDescSize
    uint32_t flags;
    uint32_t bufferBytes;
    uint32_t reserved;
    const WaveFormat* format;
    uint8_t algorithm3D[16];
};
constexpr uint32_t SoundBufferDescSize = 36;

// Flags of SoundBufferDesc. Every buffer here is static, mixed in software, with volume control;
// the others are accepted and change nothing.
constexpr uint32_t SoundCapsStatic = 0x2;
constexpr uint32_t SoundCapsSoftware = 0x8;
constexpr uint32_t SoundCapsCtrlFrequency = 0x20;
constexpr uint32_t SoundCapsCtrlPan = 0x40;
constexpr uint32_t SoundCapsCtrlVolume = 0x80;
constexpr uint32_t SoundCapsGlobalFocus = 0x8000;

// Flag of SoundBuffer::Lock: start at the write cursor (on a new buffer, its start).
constexpr uint32_t SoundLockFromWriteCursor = 0x1;
// Bit of the status word of SoundBuffer::GetStatus.
constexpr uint32_t SoundStatusPlaying = 0x1;

// Volumes in hundredths of a decibel.
constexpr int32_t SoundVolumeMin = -10000;  // silent
constexpr int32_t SoundVolumeMax = 0;       // full

constexpr int32_t SoundOk = 0;
constexpr int32_t SoundInvalidParam = -1;
constexpr int32_t SoundBadFormat = -2;
constexpr int32_t SoundOutOfMemory = -3;
constexpr int32_t SoundNotLocked = -4;

// One sound held whole in memory: its bytes in the file's own format (what Lock hands out) and
// the same sound converted for the mixer (48 kHz stereo, made at Unlock). It plays once from its
// position to its end, never looped. Made by SoundDevice::CreateSoundBuffer; ended by Release.
class SoundBuffer {
public:
    // mixer is null when there is no audio output: the buffer then holds its sound and is never
    // heard.
    SoundBuffer(AudioMixer* mixer, const WaveFormat& format, uint32_t bufferBytes);
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    // Gives the bytes from offset (or the write cursor) in up to two parts, the second one
    // wrapping round to the start.
    int32_t Lock(uint32_t offset, uint32_t byteCount, void** part1, uint32_t* length1, void** part2,
                 uint32_t* length2, uint32_t flags);
    // Ends a Lock; the new content is what plays from now on. Without memory for the mixer's copy
    // it fails (SoundOutOfMemory) and the old content plays on.
    int32_t Unlock(void* part1, uint32_t length1, void* part2, uint32_t length2);
    int32_t GetStatus(uint32_t* status);
    // Moves the play position to a byte offset of the sound.
    int32_t SetCurrentPosition(uint32_t byteOffset);
    int32_t Play(uint32_t reserved, uint32_t priority, uint32_t flags);
    int32_t Stop();
    int32_t GetVolume(int32_t* volume);
    int32_t SetVolume(int32_t volume);
    // Silences the buffer and frees it.
    void Release();

    // Adds the next frameCount frames of the sound to a stereo mix (in 16-bit units); called by
    // the mixer with the audio locked. Stops at the end of the sound.
    void MixInto(float* stereo, int frameCount);

    // The mixer's frames for the file's bytes: each frame of the file's rate resampled (linear
    // interpolation) to AudioMixer::SampleRate; a trailing partial frame is left out.
    static std::vector<int16_t> ConvertForMixer(const WaveFormat& format, const uint8_t* bytes,
                                                size_t byteCount);
    // How many mixer frames ConvertForMixer makes of frameCount frames at the given rate.
    static uint64_t MixerFrameCount(uint64_t frameCount, uint32_t samplesPerSec);

    WaveFormat format;
    std::vector<uint8_t> bytes;
    std::vector<int16_t> frames;  // stereo, interleaved
    size_t position;              // next mixer frame to play
    bool playing;
    bool locked;
    int32_t volume;
    float gain;
    AudioMixer* mixer;

private:
    ~SoundBuffer() = default;
};
