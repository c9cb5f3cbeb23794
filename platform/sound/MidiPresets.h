#pragma once
#include <cstdint>
#include <vector>

// An instrument of a General MIDI soundfont: bank 128 holds the drum kits.
struct MidiPreset {
    int bank;
    int program;
    bool operator==(const MidiPreset& other) const {
        return bank == other.bank && program == other.program;
    }
    bool operator<(const MidiPreset& other) const {
        return bank != other.bank ? bank < other.bank : program < other.program;
    }
};

// The instruments a standard MIDI file plays its notes with, each once, in order: those its
// program changes pick, and a channel's first one (piano, or the standard kit on channel 10) where
// notes come before any change. Whatever cannot be read of a damaged file is left out.
std::vector<MidiPreset> MidiPresets(const std::vector<uint8_t>& file);

// False when a track or one of its events says it is longer than what is left of the file or the
// track. FluidSynth takes such a length at its word and allocates that much (up to 256 MB), again
// and again while the song plays.
bool MidiLengthsFit(const std::vector<uint8_t>& file);
