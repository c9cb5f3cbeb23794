#include "SongParser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "GeneralMidi.h"
#include "NoteName.h"
#include "TextScan.h"

namespace {

struct TrackSetup {
    SongTrack track;
    double gate = 0.9;
    bool swing = false;
    int velocityPercent = 100;
    int line = 0;

    bool IsDrums() const { return track.channel == kDrumChannel; }
};

struct Pattern {
    std::string name;
    size_t track = 0;
    int bars = 0;
    std::vector<SongNote> notes;  // ticks from the pattern's start
};

struct PatternRef {
    int pattern = -1;  // -1: a silent bar
    int transpose = 0;
};

struct SectionLine {
    size_t track = 0;
    std::vector<PatternRef> refs;  // repeats already spelled out
    int line = 0;
};

struct Section {
    std::string name;
    int bars = 0;
    std::vector<SectionLine> lines;
};

struct Score {
    Song song;
    double swing = 0.5;
    int volumePercent = 100;
    std::vector<TrackSetup> tracks;
    std::vector<Pattern> patterns;
    std::vector<Section> sections;
    std::vector<std::string> form;
    int formLine = 0;
};

struct SourceLine {
    int number = 0;
    std::string text;  // comment stripped
};

std::string At(int line) {
    return "line " + std::to_string(line) + ": ";
}

bool IsKeyword(const std::string& word) {
    static const char* const kKeywords[] = {"title", "tempo",   "time",    "swing", "volume",
                                            "track", "pattern", "section", "form"};
    for (const char* keyword : kKeywords) {
        if (word == keyword) return true;
    }
    return false;
}

bool IsName(const std::string& word) {
    if (word.empty()) return false;
    for (char c : word) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

int FindTrack(const Score& score, const std::string& name) {
    for (size_t i = 0; i < score.tracks.size(); ++i) {
        if (score.tracks[i].track.name == name) return static_cast<int>(i);
    }
    return -1;
}

int FindPattern(const Score& score, size_t track, const std::string& name) {
    for (size_t i = 0; i < score.patterns.size(); ++i) {
        if (score.patterns[i].track == track && score.patterns[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool ParseTrack(const std::vector<std::string>& words, int line, Score& score, std::string& error) {
    TrackSetup setup;
    setup.line = line;
    if (words.size() < 2 || !IsName(words[1]) || IsKeyword(words[1]) || words[1] == "rest") {
        error = At(line) + "'track' needs a name";
        return false;
    }
    if (FindTrack(score, words[1]) >= 0) {
        error = At(line) + "track '" + words[1] + "' defined twice";
        return false;
    }
    setup.track.name = words[1];
    bool haveChannel = false;
    for (size_t i = 2; i < words.size(); ++i) {
        const std::string& key = words[i];
        if (key == "swing") {
            setup.swing = true;
            continue;
        }
        if (i + 1 >= words.size()) {
            error = At(line) + "'" + key + "' needs a value";
            return false;
        }
        const std::string& value = words[++i];
        int number = 0;
        bool ok = true;
        if (key == "channel") {
            ok = ParseInt(value, number) && number >= 1 && number <= 16;
            setup.track.channel = number - 1;
            haveChannel = ok;
        } else if (key == "program") {
            setup.track.program = FindProgram(value);
            ok = setup.track.program >= 0;
        } else if (key == "kit") {
            ok = ParseInt(value, setup.track.program) && setup.track.program >= 0 &&
                 setup.track.program <= 127;
        } else if (key == "volume") {
            ok = ParseInt(value, setup.track.volume) && setup.track.volume >= 0 &&
                 setup.track.volume <= 127;
        } else if (key == "pan") {
            ok = ParseInt(value, setup.track.pan) && setup.track.pan >= 0 && setup.track.pan <= 127;
        } else if (key == "reverb") {
            ok = ParseInt(value, setup.track.reverb) && setup.track.reverb >= 0 &&
                 setup.track.reverb <= 127;
        } else if (key == "chorus") {
            ok = ParseInt(value, setup.track.chorus) && setup.track.chorus >= 0 &&
                 setup.track.chorus <= 127;
        } else if (key == "gate") {
            ok = ParseDouble(value, setup.gate) && setup.gate > 0.05 && setup.gate <= 1.0;
        } else if (key == "velocity") {
            ok = ParseInt(value, setup.velocityPercent) && setup.velocityPercent > 0 &&
                 setup.velocityPercent <= 200;
        } else {
            error = At(line) + "unknown track setting '" + key + "'";
            return false;
        }
        if (!ok) {
            error = At(line) + "bad value '" + value + "' for '" + key + "'";
            return false;
        }
    }
    if (!haveChannel) {
        error = At(line) + "track '" + setup.track.name + "' needs a channel";
        return false;
    }
    for (const TrackSetup& other : score.tracks) {
        if (other.track.channel == setup.track.channel) {
            error = At(line) + "channel shared with track '" + other.track.name + "'";
            return false;
        }
    }
    score.tracks.push_back(setup);
    return true;
}

// Reads the notes of a melodic pattern, one line of text at a time.
struct MelodyReader {
    uint32_t barTicks = 0;
    double gate = 0.9;
    int octave = 4;
    uint32_t duration = kTicksPerQuarter;
    int velocity = 80;
    uint32_t cursor = 0;
    uint32_t barStart = 0;
    int bars = 0;
    int tiedNote = -1;  // index of a note waiting for its tie
    std::vector<SongNote> notes;
    std::vector<bool> staccato;

    bool CloseBar(std::string& error) {
        if (cursor == barStart) return true;
        if (cursor - barStart != barTicks) {
            error = "bar " + std::to_string(bars + 1) + " lasts " +
                    std::to_string(cursor - barStart) + " ticks instead of " +
                    std::to_string(barTicks);
            return false;
        }
        ++bars;
        barStart = cursor;
        return true;
    }

    bool ReadDuration(const std::string& text, size_t& pos, std::string& error) {
        if (pos >= text.size() || text[pos] != ':') return true;
        ++pos;
        uint32_t total = 0;
        while (true) {
            size_t digits = pos;
            while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
                ++digits;
            }
            int division = 0;
            if (!ParseInt(text.substr(pos, digits - pos), division) ||
                (division != 1 && division != 2 && division != 4 && division != 8 &&
                 division != 16 && division != 32)) {
                error = "bad length after ':'";
                return false;
            }
            pos = digits;
            uint32_t ticks = 4 * kTicksPerQuarter / static_cast<uint32_t>(division);
            if (pos < text.size() && text[pos] == '.') {
                ticks = ticks * 3 / 2;
                ++pos;
            } else if (pos < text.size() && text[pos] == 't') {
                ticks = ticks * 2 / 3;
                ++pos;
            }
            total += ticks;
            if (pos < text.size() && text[pos] == '+') {
                ++pos;
                continue;
            }
            break;
        }
        duration = total;
        return true;
    }

    bool ReadKey(const std::string& text, size_t& pos, int& key, std::string& error) {
        int pitchClass = 0;
        if (!ReadPitchClass(text, pos, pitchClass)) {
            error = "expected a note name";
            return false;
        }
        if (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            octave = text[pos] - '0';
            ++pos;
        }
        key = (octave + 1) * 12 + pitchClass;
        if (key < 0 || key > 127) {
            error = "note out of range";
            return false;
        }
        return true;
    }

    bool AddNotes(const std::vector<int>& keys, int noteVelocity, bool shortNote, bool tie,
                  std::string& error) {
        if (tiedNote >= 0) {
            if (keys.size() != 1 || notes[tiedNote].key != keys[0]) {
                error = "a tie '~' must lead into a single note of the same pitch";
                return false;
            }
            notes[tiedNote].length += duration;
            staccato[tiedNote] = shortNote;
            if (!tie) tiedNote = -1;
        } else {
            if (tie && keys.size() != 1) {
                error = "only single notes can be tied";
                return false;
            }
            for (int key : keys) {
                SongNote note;
                note.start = cursor;
                note.length = duration;
                note.key = key;
                note.velocity = std::max(1, std::min(127, noteVelocity));
                notes.push_back(note);
                staccato.push_back(shortNote);
            }
            if (tie) tiedNote = static_cast<int>(notes.size()) - 1;
        }
        cursor += duration;
        return true;
    }

    bool ReadLine(const std::string& text, std::string& error) {
        size_t pos = 0;
        while (pos < text.size()) {
            const char c = text[pos];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos;
                continue;
            }
            if (c == '|') {
                ++pos;
                if (!CloseBar(error)) return false;
                continue;
            }
            if (c == 'v') {
                size_t digits = ++pos;
                while (digits < text.size() &&
                       std::isdigit(static_cast<unsigned char>(text[digits]))) {
                    ++digits;
                }
                if (!ParseInt(text.substr(pos, digits - pos), velocity) || velocity < 1 ||
                    velocity > 127) {
                    error = "velocity 'v' needs 1 to 127";
                    return false;
                }
                pos = digits;
            } else if (c == 'r') {
                ++pos;
                if (!ReadDuration(text, pos, error)) return false;
                if (tiedNote >= 0) {
                    error = "a tie '~' leads into a rest";
                    return false;
                }
                cursor += duration;
            } else {
                std::vector<int> keys;
                if (c == '[') {
                    ++pos;
                    while (true) {
                        while (pos < text.size() && text[pos] == ' ') ++pos;
                        if (pos < text.size() && text[pos] == ']') break;
                        int key = 0;
                        if (!ReadKey(text, pos, key, error)) return false;
                        keys.push_back(key);
                    }
                    ++pos;
                    if (keys.empty()) {
                        error = "empty chord";
                        return false;
                    }
                } else {
                    int key = 0;
                    if (!ReadKey(text, pos, key, error)) return false;
                    keys.push_back(key);
                }
                if (!ReadDuration(text, pos, error)) return false;
                int noteVelocity = velocity;
                bool shortNote = false;
                bool tie = false;
                for (; pos < text.size(); ++pos) {
                    if (text[pos] == '!') {
                        noteVelocity += 20;
                    } else if (text[pos] == '?') {
                        noteVelocity -= 25;
                    } else if (text[pos] == '\'') {
                        shortNote = true;
                    } else if (text[pos] == '~') {
                        tie = true;
                    } else {
                        break;
                    }
                }
                if (!AddNotes(keys, noteVelocity, shortNote, tie, error)) return false;
            }
            if (pos < text.size() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '|' &&
                text[pos] != '\r') {
                error = std::string("unexpected '") + text[pos] + "'";
                return false;
            }
        }
        return true;
    }

    bool Finish(std::string& error) {
        if (!CloseBar(error)) return false;
        if (tiedNote >= 0) {
            error = "a tie '~' runs past the end of the pattern";
            return false;
        }
        for (size_t i = 0; i < notes.size(); ++i) {
            const double share = staccato[i] ? 0.5 : gate;
            notes[i].length =
                std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(notes[i].length * share)));
        }
        return true;
    }
};

bool ParseDrumGrid(const std::vector<SourceLine>& body, int grid, uint32_t barTicks,
                   Pattern& pattern, std::string& error) {
    if (grid <= 0 || barTicks % static_cast<uint32_t>(grid) != 0) {
        error = "grid must divide the bar into whole ticks";
        return false;
    }
    const uint32_t step = barTicks / static_cast<uint32_t>(grid);
    pattern.bars = 0;
    for (const SourceLine& source : body) {
        std::vector<std::string> words = SplitWords(source.text);
        const int key = FindDrum(words[0]);
        if (key < 0) {
            error = At(source.number) + "unknown drum '" + words[0] + "'";
            return false;
        }
        std::vector<std::string> bars;
        std::string current;
        const std::string rest = source.text.substr(source.text.find(words[0]) + words[0].size());
        for (char c : rest + "|") {
            if (c == '|') {
                if (!current.empty()) bars.push_back(current);
                current.clear();
            } else if (c != ' ' && c != '\t' && c != '\r') {
                current += c;
            }
        }
        if (pattern.bars != 0 && static_cast<int>(bars.size()) != pattern.bars) {
            error = At(source.number) + "drum lines of one pattern must have the same bars";
            return false;
        }
        pattern.bars = static_cast<int>(bars.size());
        for (size_t bar = 0; bar < bars.size(); ++bar) {
            if (static_cast<int>(bars[bar].size()) != grid) {
                error = At(source.number) + "bar " + std::to_string(bar + 1) + " has " +
                        std::to_string(bars[bar].size()) + " steps instead of " +
                        std::to_string(grid);
                return false;
            }
            for (int s = 0; s < grid; ++s) {
                const char mark = bars[bar][static_cast<size_t>(s)];
                int velocity = 0;
                if (mark == 'X') {
                    velocity = 115;
                } else if (mark == 'x') {
                    velocity = 90;
                } else if (mark == 'o') {
                    velocity = 55;
                } else if (mark != '.' && mark != '-') {
                    error = At(source.number) + "drum steps are X x o or '.'";
                    return false;
                }
                if (velocity == 0) continue;
                SongNote note;
                note.start =
                    static_cast<uint32_t>(bar) * barTicks + static_cast<uint32_t>(s) * step;
                note.length = std::max<uint32_t>(step / 2, 30);
                note.key = key;
                note.velocity = velocity;
                pattern.notes.push_back(note);
            }
        }
    }
    if (pattern.bars == 0) {
        error = "empty drum pattern";
        return false;
    }
    return true;
}

bool ParsePattern(const SourceLine& header, const std::vector<SourceLine>& body, Score& score,
                  std::string& error) {
    const std::vector<std::string> words = SplitWords(header.text);
    if (words.size() < 3) {
        error = At(header.number) + "'pattern' needs a track and a name";
        return false;
    }
    const int track = FindTrack(score, words[1]);
    if (track < 0) {
        error = At(header.number) + "unknown track '" + words[1] + "'";
        return false;
    }
    if (!IsName(words[2]) || words[2] == "rest" || FindPattern(score, track, words[2]) >= 0) {
        error = At(header.number) + "bad or repeated pattern name '" + words[2] + "'";
        return false;
    }
    Pattern pattern;
    pattern.name = words[2];
    pattern.track = static_cast<size_t>(track);
    const TrackSetup& setup = score.tracks[pattern.track];
    const uint32_t barTicks = score.song.BarTicks();
    if (setup.IsDrums()) {
        int grid = 16;
        if (words.size() == 5 && words[3] == "grid") {
            if (!ParseInt(words[4], grid)) grid = 0;
        } else if (words.size() != 3) {
            error = At(header.number) + "expected 'grid N' after the pattern name";
            return false;
        }
        if (!ParseDrumGrid(body, grid, barTicks, pattern, error)) {
            if (error.compare(0, 5, "line ") != 0) error = At(header.number) + error;
            return false;
        }
    } else {
        if (words.size() != 3) {
            error = At(header.number) + "the notes of a pattern go on the following lines";
            return false;
        }
        MelodyReader reader;
        reader.barTicks = barTicks;
        reader.gate = setup.gate;
        for (const SourceLine& source : body) {
            if (!reader.ReadLine(source.text, error)) {
                error = At(source.number) + error;
                return false;
            }
        }
        if (!reader.Finish(error)) {
            error = At(header.number) + "pattern '" + pattern.name + "': " + error;
            return false;
        }
        if (reader.bars == 0) {
            error = At(header.number) + "empty pattern";
            return false;
        }
        pattern.bars = reader.bars;
        pattern.notes = reader.notes;
    }
    score.patterns.push_back(pattern);
    return true;
}

// "name", "name+5", "name-2", "name*3", "name+5*3", "rest*4".
bool ParseRef(const std::string& word, const Score& score, size_t track,
              std::vector<PatternRef>& refs, std::string& error) {
    std::string base = word;
    int count = 1;
    const size_t star = base.find('*');
    if (star != std::string::npos) {
        if (!ParseInt(base.substr(star + 1), count) || count < 1 || count > 64) {
            error = "bad repeat count in '" + word + "'";
            return false;
        }
        base = base.substr(0, star);
    }
    PatternRef ref;
    const size_t sign = base.find_first_of("+-");
    if (sign != std::string::npos) {
        if (!ParseInt(base.substr(sign + 1), ref.transpose) || ref.transpose > 24) {
            error = "bad transposition in '" + word + "'";
            return false;
        }
        if (base[sign] == '-') ref.transpose = -ref.transpose;
        base = base.substr(0, sign);
    }
    if (base != "rest") {
        ref.pattern = FindPattern(score, track, base);
        if (ref.pattern < 0) {
            error = "no pattern '" + base + "' for track '" + score.tracks[track].track.name + "'";
            return false;
        }
        if (ref.transpose != 0 && score.tracks[track].IsDrums()) {
            error = "drum patterns can't be transposed";
            return false;
        }
    }
    for (int i = 0; i < count; ++i) refs.push_back(ref);
    return true;
}

bool ParseSection(const SourceLine& header, const std::vector<SourceLine>& body, Score& score,
                  std::string& error) {
    const std::vector<std::string> words = SplitWords(header.text);
    Section section;
    if (words.size() != 4 || !IsName(words[1]) || words[2] != "bars" ||
        !ParseInt(words[3], section.bars) || section.bars < 1) {
        error = At(header.number) + "expected 'section NAME bars N'";
        return false;
    }
    section.name = words[1];
    for (const Section& other : score.sections) {
        if (other.name == section.name) {
            error = At(header.number) + "section '" + section.name + "' defined twice";
            return false;
        }
    }
    for (const SourceLine& source : body) {
        const std::vector<std::string> parts = SplitWords(source.text);
        const int track = FindTrack(score, parts[0]);
        if (track < 0) {
            error = At(source.number) + "unknown track '" + parts[0] + "'";
            return false;
        }
        for (const SectionLine& other : section.lines) {
            if (other.track == static_cast<size_t>(track)) {
                error = At(source.number) + "track '" + parts[0] + "' twice in one section";
                return false;
            }
        }
        SectionLine line;
        line.track = static_cast<size_t>(track);
        line.line = source.number;
        for (size_t i = 1; i < parts.size(); ++i) {
            if (!ParseRef(parts[i], score, line.track, line.refs, error)) {
                error = At(source.number) + error;
                return false;
            }
        }
        section.lines.push_back(line);
    }
    score.sections.push_back(section);
    return true;
}

bool ParseHeaderLine(const SourceLine& source, Score& score, std::string& error) {
    const std::vector<std::string> words = SplitWords(source.text);
    const std::string& key = words[0];
    bool ok = true;
    if (key == "title") {
        score.song.title = source.text.substr(source.text.find("title") + 5);
        score.song.title.erase(0, score.song.title.find_first_not_of(" \t"));
        ok = !score.song.title.empty();
    } else if (key == "tempo") {
        ok = words.size() == 2 && ParseDouble(words[1], score.song.bpm) && score.song.bpm >= 20 &&
             score.song.bpm <= 300;
    } else if (key == "time") {
        const size_t slash = words.size() == 2 ? words[1].find('/') : std::string::npos;
        ok = slash != std::string::npos &&
             ParseInt(words[1].substr(0, slash), score.song.beatsPerBar) &&
             ParseInt(words[1].substr(slash + 1), score.song.beatUnit) &&
             score.song.beatsPerBar >= 1 && score.song.beatsPerBar <= 16 &&
             (score.song.beatUnit == 2 || score.song.beatUnit == 4 || score.song.beatUnit == 8);
        ok = ok && score.patterns.empty();
    } else if (key == "swing") {
        ok = words.size() == 2 && ParseDouble(words[1], score.swing) && score.swing >= 0.5 &&
             score.swing < 0.8;
    } else if (key == "volume") {
        ok = words.size() == 2 && ParseInt(words[1], score.volumePercent) &&
             score.volumePercent > 0 && score.volumePercent <= 200;
    } else if (key == "form") {
        score.form.assign(words.begin() + 1, words.end());
        score.formLine = source.number;
        ok = !score.form.empty();
    } else {
        return ParseTrack(words, source.number, score, error);
    }
    if (!ok) error = At(source.number) + "bad '" + key + "' line";
    return ok;
}

// Moves each off-beat eighth later in its beat, stretching the first half of the beat.
uint32_t SwingTick(uint32_t tick, double ratio) {
    const uint32_t beatStart = tick / kTicksPerQuarter * kTicksPerQuarter;
    const double inBeat = static_cast<double>(tick - beatStart);
    const double half = kTicksPerQuarter / 2.0;
    const double mapped = inBeat <= half
                              ? inBeat * ratio * 2.0
                              : kTicksPerQuarter * ratio + (inBeat - half) * (1.0 - ratio) * 2.0;
    return beatStart + static_cast<uint32_t>(std::lround(mapped));
}

bool Assemble(Score& score, Song& song, std::string& error) {
    if (score.form.empty()) {
        error = "no 'form' line";
        return false;
    }
    song = score.song;
    song.tracks.clear();
    for (const TrackSetup& setup : score.tracks) {
        SongTrack track = setup.track;
        track.volume = std::min(127, track.volume * score.volumePercent / 100);
        song.tracks.push_back(track);
    }
    const uint32_t barTicks = song.BarTicks();
    int bar = 0;
    for (const std::string& name : score.form) {
        const Section* section = nullptr;
        for (const Section& candidate : score.sections) {
            if (candidate.name == name) section = &candidate;
        }
        if (section == nullptr) {
            error = At(score.formLine) + "no section '" + name + "'";
            return false;
        }
        for (const SectionLine& line : section->lines) {
            std::vector<std::pair<const Pattern*, int>> bars;  // pattern bar by bar
            for (const PatternRef& ref : line.refs) {
                if (ref.pattern < 0) {
                    bars.push_back({nullptr, 0});
                    continue;
                }
                const Pattern& pattern = score.patterns[static_cast<size_t>(ref.pattern)];
                bars.push_back({&pattern, ref.transpose});
                for (int extra = 1; extra < pattern.bars; ++extra) bars.push_back({nullptr, 0});
            }
            if (bars.empty() || section->bars % static_cast<int>(bars.size()) != 0) {
                error = At(line.line) + "patterns last " + std::to_string(bars.size()) +
                        " bars, which doesn't fill the section's " + std::to_string(section->bars);
                return false;
            }
            const TrackSetup& setup = score.tracks[line.track];
            for (int b = 0; b < section->bars; ++b) {
                const auto& slot = bars[static_cast<size_t>(b) % bars.size()];
                if (slot.first == nullptr) continue;
                const uint32_t offset = static_cast<uint32_t>(bar + b) * barTicks;
                for (SongNote note : slot.first->notes) {
                    note.start += offset;
                    note.key += slot.second;
                    if (note.key < 0 || note.key > 127) {
                        error = At(line.line) + "transposed note out of range";
                        return false;
                    }
                    note.velocity = std::max(
                        1, std::min(127, (note.velocity * setup.velocityPercent + 50) / 100));
                    if (setup.swing) {
                        const uint32_t end = SwingTick(note.start + note.length, score.swing);
                        note.start = SwingTick(note.start, score.swing);
                        note.length = std::max<uint32_t>(1, end - note.start);
                    }
                    song.tracks[line.track].notes.push_back(note);
                }
            }
        }
        bar += section->bars;
    }
    song.bars = bar;
    for (SongTrack& track : song.tracks) {
        std::stable_sort(track.notes.begin(), track.notes.end(),
                         [](const SongNote& a, const SongNote& b) { return a.start < b.start; });
    }
    return true;
}

}  // namespace

bool ParseSong(const std::string& text, Song& song, std::string& error) {
    Score score;
    std::vector<SourceLine> lines;
    const std::vector<std::string> raw = SplitLines(text);
    for (size_t i = 0; i < raw.size(); ++i) {
        SourceLine line{static_cast<int>(i + 1), StripComment(raw[i])};
        if (!SplitWords(line.text).empty()) lines.push_back(line);
    }
    size_t i = 0;
    while (i < lines.size()) {
        const SourceLine& header = lines[i];
        const std::string keyword = SplitWords(header.text)[0];
        if (!IsKeyword(keyword)) {
            error = At(header.number) + "unexpected '" + keyword + "'";
            return false;
        }
        std::vector<SourceLine> body;
        for (++i; i < lines.size() && !IsKeyword(SplitWords(lines[i].text)[0]); ++i) {
            body.push_back(lines[i]);
        }
        bool ok = false;
        if (keyword == "pattern") {
            ok = ParsePattern(header, body, score, error);
        } else if (keyword == "section") {
            ok = ParseSection(header, body, score, error);
        } else if (!body.empty()) {
            error = At(body[0].number) + "unexpected '" + SplitWords(body[0].text)[0] + "'";
        } else {
            ok = ParseHeaderLine(header, score, error);
        }
        if (!ok) return false;
    }
    return Assemble(score, song, error);
}
