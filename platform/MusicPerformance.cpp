#include "platform/MusicPerformance.h"

bool MusicPerformance::Init(SoundDevice* output) {
    (void)output;
    return false;
}

void MusicPerformance::Stop() {}

void MusicPerformance::CloseDown() {}

MusicSegment* MusicLoader::GetObject(const wchar_t* fileName) {
    (void)fileName;
    return nullptr;
}
