#include "MidiFile.h"

#include <algorithm>
#include <cmath>

namespace {

struct TimedEvent {
    uint32_t tick = 0;
    int order = 0;  // at one tick: set-up first, then note-offs, then note-ons
    std::vector<unsigned char> bytes;
};

void PutVarLen(std::vector<unsigned char>& out, uint32_t value) {
    unsigned char buffer[5];
    int count = 0;
    buffer[count++] = static_cast<unsigned char>(value & 0x7F);
    while ((value >>= 7) != 0) buffer[count++] = static_cast<unsigned char>((value & 0x7F) | 0x80);
    while (count > 0) out.push_back(buffer[--count]);
}

void PutU32(std::vector<unsigned char>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
    }
}

TimedEvent Meta(uint32_t tick, unsigned char type, const std::vector<unsigned char>& data) {
    TimedEvent event;
    event.tick = tick;
    event.bytes = {0xFF, type};
    PutVarLen(event.bytes, static_cast<uint32_t>(data.size()));
    event.bytes.insert(event.bytes.end(), data.begin(), data.end());
    return event;
}

TimedEvent Channel(uint32_t tick, int order, int status, int channel, int a, int b) {
    TimedEvent event;
    event.tick = tick;
    event.order = order;
    event.bytes = {static_cast<unsigned char>(status | channel), static_cast<unsigned char>(a)};
    if (b >= 0) event.bytes.push_back(static_cast<unsigned char>(b));
    return event;
}

std::vector<unsigned char> TrackChunk(std::vector<TimedEvent> events, uint32_t endTick) {
    std::stable_sort(events.begin(), events.end(), [](const TimedEvent& a, const TimedEvent& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    events.push_back(Meta(endTick, 0x2F, {}));
    std::vector<unsigned char> body;
    uint32_t now = 0;
    for (const TimedEvent& event : events) {
        PutVarLen(body, event.tick - now);
        now = event.tick;
        body.insert(body.end(), event.bytes.begin(), event.bytes.end());
    }
    std::vector<unsigned char> chunk = {'M', 'T', 'r', 'k'};
    PutU32(chunk, static_cast<uint32_t>(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

std::vector<unsigned char> Text(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

}  // namespace

std::vector<unsigned char> EncodeMidiFile(const Song& song) {
    const uint32_t end = song.LengthTicks();
    std::vector<unsigned char> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    const size_t trackCount = song.tracks.size() + 1;
    file.push_back(static_cast<unsigned char>(trackCount >> 8));
    file.push_back(static_cast<unsigned char>(trackCount & 0xFF));
    file.push_back(static_cast<unsigned char>(kTicksPerQuarter >> 8));
    file.push_back(static_cast<unsigned char>(kTicksPerQuarter & 0xFF));

    const uint32_t tempo = static_cast<uint32_t>(std::lround(60000000.0 / song.bpm));
    int unitPower = 0;
    while ((1 << unitPower) < song.beatUnit) ++unitPower;
    std::vector<TimedEvent> conductor = {Meta(0, 0x03, Text(song.title)),
                                         Meta(0, 0x58,
                                              {static_cast<unsigned char>(song.beatsPerBar),
                                               static_cast<unsigned char>(unitPower), 24, 8}),
                                         Meta(0, 0x51,
                                              {static_cast<unsigned char>(tempo >> 16),
                                               static_cast<unsigned char>((tempo >> 8) & 0xFF),
                                               static_cast<unsigned char>(tempo & 0xFF)})};
    std::vector<unsigned char> chunk = TrackChunk(conductor, end);
    file.insert(file.end(), chunk.begin(), chunk.end());

    for (const SongTrack& track : song.tracks) {
        const int ch = track.channel;
        std::vector<TimedEvent> events = {
            Meta(0, 0x03, Text(track.name)),           Channel(0, 0, 0xC0, ch, track.program, -1),
            Channel(0, 0, 0xB0, ch, 7, track.volume),  Channel(0, 0, 0xB0, ch, 10, track.pan),
            Channel(0, 0, 0xB0, ch, 91, track.reverb), Channel(0, 0, 0xB0, ch, 93, track.chorus)};
        for (const SongNote& note : track.notes) {
            const uint32_t off = std::min(note.start + note.length, end);
            events.push_back(Channel(note.start, 2, 0x90, ch, note.key, note.velocity));
            events.push_back(Channel(off, 1, 0x80, ch, note.key, 64));
        }
        chunk = TrackChunk(events, end);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

namespace {

struct ByteReader {
    const std::vector<unsigned char>& bytes;
    size_t pos;
    size_t end;

    bool Has(size_t count) const { return pos + count <= end; }
    unsigned char Byte() { return bytes[pos++]; }
    bool VarLen(uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (!Has(1)) return false;
            const unsigned char b = Byte();
            value = (value << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return true;
        }
        return false;
    }
};

uint32_t BigEndian(const std::vector<unsigned char>& bytes, size_t pos, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[pos + static_cast<size_t>(i)];
    return value;
}

bool ReadTrack(ByteReader reader, MidiSummary& summary, std::string& error) {
    uint32_t tick = 0;
    int status = 0;
    int sounding[16][128] = {};
    bool ended = false;
    bool hasNotes = false;
    while (reader.Has(1) && !ended) {
        uint32_t delta = 0;
        if (!reader.VarLen(delta) || !reader.Has(1)) {
            error = "truncated event";
            return false;
        }
        tick += delta;
        int first = reader.bytes[reader.pos];
        if (first & 0x80) {
            reader.Byte();
            if (first < 0xF0) status = first;
        } else if (status == 0) {
            error = "running status without a status";
            return false;
        } else {
            first = status;
        }
        if (first == 0xFF) {
            if (!reader.Has(1)) return false;
            const int type = reader.Byte();
            uint32_t length = 0;
            if (!reader.VarLen(length) || !reader.Has(length)) {
                error = "truncated meta event";
                return false;
            }
            const size_t data = reader.pos;
            if (type == 0x51 && length == 3) {
                summary.tempos.push_back(BigEndian(reader.bytes, data, 3));
            } else if (type == 0x58 && length == 4) {
                summary.beatsPerBar = reader.bytes[data];
                summary.beatUnit = 1 << reader.bytes[data + 1];
            } else if (type == 0x2F) {
                ended = true;
            }
            reader.pos += length;
        } else if (first == 0xF0 || first == 0xF7) {
            uint32_t length = 0;
            if (!reader.VarLen(length) || !reader.Has(length)) {
                error = "truncated system exclusive";
                return false;
            }
            reader.pos += length;
        } else {
            const int kind = first & 0xF0;
            const int channel = first & 0x0F;
            const size_t size = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            if (!reader.Has(size)) {
                error = "truncated channel event";
                return false;
            }
            const int a = reader.Byte() & 0x7F;
            const int b = size == 2 ? (reader.Byte() & 0x7F) : 0;
            if (kind == 0x90 && b > 0) {
                ++sounding[channel][a];
                ++summary.noteCount[channel];
                summary.maxVelocity = std::max(summary.maxVelocity, b);
                summary.lastNoteOnTick = std::max(summary.lastNoteOnTick, tick);
                hasNotes = true;
            } else if (kind == 0x80 || kind == 0x90) {
                if (sounding[channel][a] > 0) --sounding[channel][a];
                summary.lastNoteOffTick = std::max(summary.lastNoteOffTick, tick);
            }
        }
    }
    if (!ended) {
        error = "track without end-of-track";
        return false;
    }
    for (auto& channel : sounding) {
        for (int count : channel) summary.notesLeftOn += count;
    }
    if (hasNotes) ++summary.tracksWithNotes;
    summary.trackEndTicks.push_back(tick);
    summary.lengthTicks = std::max(summary.lengthTicks, tick);
    return true;
}

}  // namespace

bool SummariseMidiFile(const std::vector<unsigned char>& bytes, MidiSummary& summary,
                       std::string& error) {
    summary = MidiSummary{};
    if (bytes.size() < 14 || BigEndian(bytes, 0, 4) != 0x4D546864 || BigEndian(bytes, 4, 4) != 6) {
        error = "no MThd header";
        return false;
    }
    summary.format = static_cast<int>(BigEndian(bytes, 8, 2));
    const int declared = static_cast<int>(BigEndian(bytes, 10, 2));
    summary.division = static_cast<int>(BigEndian(bytes, 12, 2));
    size_t pos = 14;
    while (pos + 8 <= bytes.size()) {
        const uint32_t size = BigEndian(bytes, pos + 4, 4);
        if (size > bytes.size() - pos - 8) {
            error = "chunk runs past the end of the file";
            return false;
        }
        if (BigEndian(bytes, pos, 4) == 0x4D54726B) {
            if (!ReadTrack(ByteReader{bytes, pos + 8, pos + 8 + size}, summary, error)) {
                return false;
            }
            ++summary.trackCount;
        }
        pos += 8 + size;
    }
    if (summary.trackCount != declared) {
        error = "header declares " + std::to_string(declared) + " tracks, file has " +
                std::to_string(summary.trackCount);
        return false;
    }
    return true;
}
