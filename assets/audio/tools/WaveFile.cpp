#include "WaveFile.h"

namespace {

void PutU16(std::vector<unsigned char>& out, uint32_t value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void PutU32(std::vector<unsigned char>& out, uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

void PutId(std::vector<unsigned char>& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(id[i]));
}

uint32_t GetU16(const std::vector<unsigned char>& in, size_t pos) {
    return static_cast<uint32_t>(in[pos]) | (static_cast<uint32_t>(in[pos + 1]) << 8);
}

uint32_t GetU32(const std::vector<unsigned char>& in, size_t pos) {
    return GetU16(in, pos) | (GetU16(in, pos + 2) << 16);
}

bool IdIs(const std::vector<unsigned char>& in, size_t pos, const char* id) {
    return in[pos] == id[0] && in[pos + 1] == id[1] && in[pos + 2] == id[2] && in[pos + 3] == id[3];
}

}  // namespace

std::vector<unsigned char> EncodeWaveFile(const WaveFile& wave) {
    const uint32_t blockAlign = wave.channels * 2u;
    const uint32_t dataBytes = static_cast<uint32_t>(wave.samples.size() * 2);
    std::vector<unsigned char> out;
    PutId(out, "RIFF");
    PutU32(out, 4 + (8 + 16) + (8 + dataBytes + (dataBytes & 1)));
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    PutU32(out, 16);
    PutU16(out, 1);
    PutU16(out, wave.channels);
    PutU32(out, wave.sampleRate);
    PutU32(out, wave.sampleRate * blockAlign);
    PutU16(out, blockAlign);
    PutU16(out, 16);
    PutId(out, "data");
    PutU32(out, dataBytes);
    for (int16_t sample : wave.samples) PutU16(out, static_cast<uint16_t>(sample));
    if (dataBytes & 1) out.push_back(0);
    return out;
}

bool DecodeWaveFile(const std::vector<unsigned char>& bytes, WaveFile& wave, std::string& error) {
    if (bytes.size() < 12 || !IdIs(bytes, 0, "RIFF") || !IdIs(bytes, 8, "WAVE")) {
        error = "not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint32_t size = GetU32(bytes, pos + 4);
        const size_t body = pos + 8;
        if (size > bytes.size() - body) {
            error = "chunk runs past the end of the file";
            return false;
        }
        if (IdIs(bytes, pos, "fmt ")) {
            if (size < 16) {
                error = "format chunk shorter than 16 bytes";
                return false;
            }
            wave.formatChunkSize = size;
            wave.formatTag = static_cast<uint16_t>(GetU16(bytes, body));
            wave.channels = static_cast<uint16_t>(GetU16(bytes, body + 2));
            wave.sampleRate = GetU32(bytes, body + 4);
            wave.bitsPerSample = static_cast<uint16_t>(GetU16(bytes, body + 14));
            haveFormat = true;
        } else if (IdIs(bytes, pos, "data")) {
            if (!haveFormat) {
                error = "data chunk before the format chunk";
                return false;
            }
            wave.samples.clear();
            if (wave.formatTag == 1 && wave.bitsPerSample == 16) {
                for (size_t i = 0; i + 1 < size; i += 2) {
                    wave.samples.push_back(static_cast<int16_t>(GetU16(bytes, body + i)));
                }
            }
            return true;
        }
        pos = body + size + (size & 1);
    }
    error = haveFormat ? "no data chunk" : "no format chunk";
    return false;
}
