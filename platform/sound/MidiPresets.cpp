#include "platform/sound/MidiPresets.h"

#include <algorithm>

namespace {

constexpr int DrumChannel = 9;
constexpr int DrumBank = 128;

uint32_t ReadBigEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

// One track's events from position to end; false where the track can't be read on.
class TrackReader {
public:
    TrackReader(const uint8_t* start, const uint8_t* finish) : at(start), end(finish) {}

    bool Has(size_t count) const { return static_cast<size_t>(end - at) >= count; }

    bool VariableLength(uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (!Has(1)) return false;
            const uint8_t byte = *at++;
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) return true;
        }
        return false;
    }

    bool Skip(uint32_t count) {
        if (!Has(count)) return false;
        at += count;
        return true;
    }

    const uint8_t* at;
    const uint8_t* end;
};

struct ChannelState {
    int bank = 0;
    bool programChosen = false;
};

void Add(std::vector<MidiPreset>& presets, MidiPreset preset) {
    if (std::find(presets.begin(), presets.end(), preset) == presets.end()) {
        presets.push_back(preset);
    }
}

// False when an event says it is longer than what is left of its track.
bool ReadTrack(TrackReader track, std::vector<MidiPreset>& presets) {
    // Tracks play side by side: each is read as if it chose its channels' instruments alone, which
    // at worst pins one instrument more.
    ChannelState channels[16];
    uint8_t runningStatus = 0;
    uint32_t delta = 0;
    while (track.Has(1) && track.VariableLength(delta) && track.Has(1)) {
        uint8_t status = *track.at;
        if (status >= 0x80) {
            ++track.at;
        } else if (runningStatus != 0) {
            status = runningStatus;
        } else {
            return true;
        }
        uint32_t length = 0;
        if (status == 0xFF) {  // meta event: type, length, data
            if (!track.Skip(1) || !track.VariableLength(length)) return true;
            if (!track.Skip(length)) return false;
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {  // system exclusive
            if (!track.VariableLength(length)) return true;
            if (!track.Skip(length)) return false;
            continue;
        }
        if (status > 0xF0) return true;  // not allowed in a file
        runningStatus = status;
        const int kind = status & 0xF0;
        const int channel = status & 0x0F;
        const uint32_t dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
        if (!track.Has(dataBytes)) return true;
        const uint8_t first = track.at[0];
        const uint8_t second = dataBytes == 2 ? track.at[1] : 0;
        track.at += dataBytes;
        ChannelState& state = channels[channel];
        const bool drums = channel == DrumChannel;
        if (kind == 0xB0 && first == 0 && !drums) state.bank = second;
        if (kind == 0xC0) {
            Add(presets, {drums ? DrumBank : state.bank, first});
            state.programChosen = true;
        }
        if (kind == 0x90 && second > 0 && !state.programChosen) {
            Add(presets, {drums ? DrumBank : state.bank, 0});
            state.programChosen = true;
        }
    }
    return true;
}

// Reads every track's instruments; false when a track or one of its events says it is longer than
// what is left of the file or the track.
bool ReadTracks(const std::vector<uint8_t>& file, std::vector<MidiPreset>& presets) {
    if (file.size() < 14 || ReadBigEndian(file.data(), 4) != 0x4D546864) return true;  // MThd
    const uint8_t* at = file.data() + 8 + ReadBigEndian(file.data() + 4, 4);
    const uint8_t* end = file.data() + file.size();
    while (end - at >= 8) {
        const uint32_t id = ReadBigEndian(at, 4);
        const uint32_t length = ReadBigEndian(at + 4, 4);
        at += 8;
        if (length > static_cast<size_t>(end - at)) return false;
        if (id == 0x4D54726B && !ReadTrack(TrackReader(at, at + length), presets)) return false;
        at += length;
    }
    return true;
}

}  // namespace

std::vector<MidiPreset> MidiPresets(const std::vector<uint8_t>& file) {
    std::vector<MidiPreset> presets;
    ReadTracks(file, presets);
    return presets;
}

bool MidiLengthsFit(const std::vector<uint8_t>& file) {
    std::vector<MidiPreset> presets;
    return ReadTracks(file, presets);
}
