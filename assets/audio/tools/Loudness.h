#pragma once

#include <vector>

// Loudness as EBU R 128 measures it (ITU-R BS.1770): K-weighted power, in LUFS.

// The loudest momentary loudness (400 ms windows, one every 100 ms) of a mono sound as the game
// plays it: the same samples on both channels of its stereo output.
double LoudestMomentaryLoudness(const std::vector<double>& mono, int sampleRate);
