#include "platform/AudioMixer.h"

#include <cstring>

void AudioMixer::Render(int16_t* stereo, int frameCount) {
    std::memset(stereo, 0, static_cast<size_t>(frameCount) * 2 * sizeof(int16_t));
}
