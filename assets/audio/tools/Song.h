#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A song ready to be written as a standard MIDI file: every note placed in ticks.
constexpr uint32_t kTicksPerQuarter = 480;
constexpr int kDrumChannel = 9;  // channel 10 as musicians count

struct SongNote {
    uint32_t start = 0;   // ticks from the song's start
    uint32_t length = 0;  // ticks
    int key = 60;
    int velocity = 80;
};

struct SongTrack {
    std::string name;
    int channel = 0;  // 0-based
    int program = 0;  // General MIDI program, or drum kit on the drum channel
    int volume = 100;
    int pan = 64;
    int reverb = 40;
    int chorus = 0;
    std::vector<SongNote> notes;
};

struct Song {
    std::string title;
    double bpm = 120.0;
    int beatsPerBar = 4;
    int beatUnit = 4;
    int bars = 0;
    std::vector<SongTrack> tracks;

    uint32_t BarTicks() const { return beatsPerBar * kTicksPerQuarter * 4 / beatUnit; }
    uint32_t LengthTicks() const { return static_cast<uint32_t>(bars) * BarTicks(); }
    double LengthSeconds() const { return LengthTicks() / double(kTicksPerQuarter) * 60.0 / bpm; }
};
