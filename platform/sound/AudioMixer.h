#pragma once
#include <cstdint>
#include <vector>

class Backend;
class SoundBuffer;
class MusicPerformance;

// Mixes every playing sound and the music into one 16-bit stereo stream. The backend pulls from it:
// the real one from its audio thread, the headless one as its clock moves. Voices and music join
// and leave only with the audio locked (AudioLock).
class AudioMixer {
public:
    static constexpr int SampleRate = 48000;

    AudioMixer();

    // Writes frameCount stereo frames (2 * frameCount samples).
    void Render(int16_t* stereo, int frameCount);

    void AddVoice(SoundBuffer* voice);
    void RemoveVoice(SoundBuffer* voice);
    // Forgets every voice, leaving them silent (the device goes away before them).
    void DetachVoices();
    // Brings everything down to silence over frameCount frames from the next one rendered, and
    // keeps it silent; said with the audio locked.
    void FadeOut(int frameCount);

    std::vector<SoundBuffer*> voices;
    MusicPerformance* music;
    int fadeFrames;         // 0 while no fade is asked for
    int fadeLeft;           // frames still to fade
    uint64_t framesSilent;  // rendered since the fade ended

private:
    void Fade(float* mix, int frameCount);
};

// Holds the backend's audio lock for a scope, so the audio thread never sees a half-made change.
class AudioLock {
public:
    AudioLock();
    ~AudioLock();
    AudioLock(const AudioLock&) = delete;
    AudioLock& operator=(const AudioLock&) = delete;

    Backend* backend;
};

// Said where the program reads or changes what the mixer renders (never from the rendering
// itself): the audio must be locked there. The tests' platform fails a test that forgot the lock.
void CheckAudioLocked(const char* what);
