#include "media/Music.h"

#include "app/Devices.h"

void LoadMusicSegment(const wchar_t* path) { (void)path; }

void PlayMusicSegment() {}

void StopMusic() {}

void SetMusicTempo(double beatsPerMinute) { (void)beatsPerMinute; }

void ReleaseCurrentSegment() {
    delete currentSegment;
    currentSegment = nullptr;
}

void ConvertToWide(const char* path, wchar_t* out, int capacity) {
    if (capacity <= 0) return;
    int i = 0;
    for (; i < capacity - 1 && path[i] != '\0'; ++i) out[i] = static_cast<unsigned char>(path[i]);
    out[i] = L'\0';
}
