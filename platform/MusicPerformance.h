#pragma once
#include <string>

class SoundDevice;

// A standard MIDI file read into memory, ready to be played.
class MusicSegment {
public:
};

// Plays music segments into the sound device's mixer.
class MusicPerformance {
public:
    MusicPerformance() {}
    ~MusicPerformance() {}
    // Prepares the synthesizer on the given output; false when it can't.
    bool Init(SoundDevice* output);
    // Stops all music at once.
    void Stop();
    void CloseDown();
};

// Finds music files relative to a search directory.
class MusicLoader {
public:
    void SetSearchDirectory(const std::string& directory) { searchDirectory = directory; }
    // The file read as a segment; null when it is missing or unreadable.
    MusicSegment* GetObject(const wchar_t* fileName);

    std::string searchDirectory;
};
