#pragma once
#include <cstdint>

// Mixes every playing sound and the music into one 16-bit stereo stream. The backend pulls from it:
// the real one from its audio thread, the headless one as its clock moves.
class AudioMixer {
public:
    static constexpr int SampleRate = 48000;

    // Writes frameCount stereo frames (2 * frameCount samples).
    void Render(int16_t* stereo, int frameCount);
};
