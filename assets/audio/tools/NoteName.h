#pragma once

#include <string>

// Note names as written in our sound recipes and song scores: a letter a-g, an optional
// sharp '#' or flat 'b', then the octave (c4 is middle C, MIDI key 60).

// Reads the letter and accidental at text[pos], advancing pos; gives the pitch class
// (0 = C .. 11 = B, may be -1 for c flat or 12 for b sharp).
bool ReadPitchClass(const std::string& text, size_t& pos, int& pitchClass);

// A whole note name with its octave, e.g. "f#5", "bb3".
bool ParseNoteName(const std::string& text, int& midiKey);

double MidiKeyToHz(double midiKey);
