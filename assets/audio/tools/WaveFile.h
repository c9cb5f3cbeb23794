#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A PCM wave file as the game's loader reads it: RIFF "WAVE" with a "fmt " and a "data" chunk.
struct WaveFile {
    uint16_t formatTag = 1;  // 1 = PCM
    uint16_t channels = 1;
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;
    uint32_t formatChunkSize = 16;
    std::vector<int16_t> samples;  // interleaved when channels > 1
};

// Writes 16-bit PCM with a 16-byte format chunk.
std::vector<unsigned char> EncodeWaveFile(const WaveFile& wave);

// Reads any RIFF WAVE; samples are filled only for 16-bit PCM.
bool DecodeWaveFile(const std::vector<unsigned char>& bytes, WaveFile& wave, std::string& error);
