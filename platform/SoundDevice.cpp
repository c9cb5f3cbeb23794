#include "platform/SoundDevice.h"

#include "platform/Backend.h"

SoundDevice::SoundDevice() : opened(false) {}

SoundDevice::~SoundDevice() {
    if (opened && activeBackend != nullptr) activeBackend->CloseAudio();
}

bool SoundDevice::Open() {
    opened = activeBackend != nullptr && activeBackend->OpenAudio(mixer, AudioMixer::SampleRate);
    return opened;
}
