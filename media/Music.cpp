#include "media/Music.h"

#include "app/Devices.h"
#include "app/Shell.h"

void LoadMusicSegment(const wchar_t* path) {
    // The old segment's instruments leave the performance, and the segment goes, before the new
    // one is looked for: a missing file leaves the slot empty and the music silent.
    ReleaseCurrentSegment();
    if (musicLoader == nullptr) return;
    currentSegment = musicLoader->GetObject(path);
    if (currentSegment == nullptr) return;
    // The standard-MIDI-file setting goes before the download.
    lastResult = currentSegment->SetParam(SegmentParam::StandardMidiFile, musicPerformance);
    lastResult = currentSegment->SetParam(SegmentParam::Download, musicPerformance);
    lastResult = currentSegment->SetRepeats(100);
}

void PlayMusicSegment() {
    if (musicPerformance == nullptr || currentSegment == nullptr) return;
    lastResult = musicPerformance->PlaySegment(currentSegment);
}

void StopMusic() {
    if (musicPerformance != nullptr) musicPerformance->Stop();
}

void SetMusicTempo(double beatsPerMinute) {
    if (musicPerformance != nullptr) lastResult = musicPerformance->SetTempo(beatsPerMinute);
}

void ReleaseCurrentSegment() {
    if (currentSegment == nullptr) return;
    lastResult = currentSegment->SetParam(SegmentParam::Unload, musicPerformance);
    delete currentSegment;
    currentSegment = nullptr;
}

void ConvertToWide(const char* path, wchar_t* out, int capacity) {
    if (capacity <= 0) return;
    int i = 0;
    for (; i < capacity - 1 && path[i] != '\0'; ++i) out[i] = static_cast<unsigned char>(path[i]);
    out[i] = L'\0';
}
