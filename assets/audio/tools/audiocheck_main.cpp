// flurber_audiocheck: checks the built sounds and songs and prints their figures.
//   wave FILE MIN_SECONDS MAX_SECONDS   a PCM sound effect
//   song FILE BPM                       a looping song written for that tempo
//   stamp FILE                          written when every check passed
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Loudness.h"
#include "MidiFile.h"
#include "TextScan.h"
#include "WaveFile.h"

namespace {

int failures = 0;

void Fail(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "audio check FAILED: %s: %s\n", file.c_str(), why.c_str());
    ++failures;
}

std::string Name(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

void CheckWave(const std::string& path, double minSeconds, double maxSeconds) {
    std::vector<unsigned char> bytes;
    WaveFile wave;
    std::string error;
    if (!ReadBinaryFile(path, bytes) || !DecodeWaveFile(bytes, wave, error)) {
        Fail(path, error.empty() ? "cannot read" : error);
        return;
    }
    if (wave.formatTag != 1 || wave.bitsPerSample != 16 || wave.formatChunkSize != 16 ||
        (wave.sampleRate != 44100 && wave.sampleRate != 22050) || wave.channels != 1) {
        Fail(path, "not 16-bit mono PCM at 44100 or 22050 Hz with a 16-byte format chunk");
        return;
    }
    if (wave.samples.empty()) {
        Fail(path, "no samples");
        return;
    }
    const double seconds = static_cast<double>(wave.samples.size()) / wave.sampleRate;
    double peak = 0.0, sum = 0.0, squares = 0.0;
    std::vector<double> values;
    for (int16_t sample : wave.samples) {
        const double value = sample / 32768.0;
        values.push_back(value);
        peak = std::max(peak, std::fabs(value));
        sum += value;
        squares += value * value;
    }
    const double peakDb = 20.0 * std::log10(std::max(peak, 1e-9));
    const double rmsDb = 10.0 * std::log10(std::max(squares / wave.samples.size(), 1e-18));
    const double mean = sum / wave.samples.size();
    const double loudest = LoudestMomentaryLoudness(values, static_cast<int>(wave.sampleRate));
    std::printf(
        "  %-18s %6.3f s  loudest %6.1f LUFS  peak %6.2f dBFS  rms %6.2f dBFS  dc %+.5f  ends "
        "%d/%d\n",
        Name(path).c_str(), seconds, loudest, peakDb, rmsDb, mean, wave.samples.front(),
        wave.samples.back());
    if (seconds < minSeconds || seconds > maxSeconds) Fail(path, "length out of range");
    // Levelled by loudness to sit just above the songs (about -18 LUFS), never near clipping.
    if (loudest < -22.0 || loudest > -12.0) Fail(path, "loudness not within -22 to -12 LUFS");
    if (peakDb > -0.95) Fail(path, "peak above -1 dBFS");
    if (std::fabs(mean) > 0.002) Fail(path, "DC offset");
    if (std::abs(wave.samples.front()) > 1 || std::abs(wave.samples.back()) > 1) {
        Fail(path, "does not start and end at zero");
    }
}

void CheckSong(const std::string& path, double bpm) {
    std::vector<unsigned char> bytes;
    MidiSummary midi;
    std::string error;
    if (!ReadBinaryFile(path, bytes) || !SummariseMidiFile(bytes, midi, error)) {
        Fail(path, error.empty() ? "cannot read" : error);
        return;
    }
    const uint32_t barTicks =
        static_cast<uint32_t>(midi.beatsPerBar * midi.division * 4 / std::max(1, midi.beatUnit));
    const double bars = barTicks ? static_cast<double>(midi.lengthTicks) / barTicks : 0.0;
    const double seconds =
        static_cast<double>(midi.lengthTicks) / std::max(1, midi.division) * 60.0 / bpm;
    std::printf(
        "  %-18s %5.1f bars of %d/%d  %6.1f s at %3.0f bpm  %d tracks  %5d notes (%d drums)"
        "  max velocity %d\n",
        Name(path).c_str(), bars, midi.beatsPerBar, midi.beatUnit, seconds, bpm, midi.trackCount,
        [&] {
            int total = 0;
            for (int count : midi.noteCount) total += count;
            return total;
        }(),
        midi.noteCount[9], midi.maxVelocity);
    if ((midi.format != 0 && midi.format != 1) || midi.division != 480) {
        Fail(path, "not format 0/1 at 480 ticks per quarter");
    }
    if (midi.tempos.empty() || std::fabs(60000000.0 / midi.tempos[0] - bpm) > 0.05) {
        Fail(path, "tempo in the file is not the room's tempo");
    }
    if (barTicks == 0 || midi.lengthTicks % barTicks != 0) Fail(path, "not whole bars");
    for (uint32_t end : midi.trackEndTicks) {
        if (end != midi.lengthTicks) Fail(path, "a track ends before the last bar line");
    }
    if (bars < 16 || seconds < 30.0) Fail(path, "shorter than 16 bars or 30 s");
    if (midi.notesLeftOn != 0 || midi.lastNoteOffTick > midi.lengthTicks ||
        midi.lastNoteOnTick >= midi.lengthTicks) {
        Fail(path, "notes hang over the loop point");
    }
    if (midi.noteCount[9] == 0) Fail(path, "no drums on channel 10");
    if (midi.tracksWithNotes < 3) Fail(path, "fewer than three parts");
}

}  // namespace

int main(int argc, char** argv) {
    std::string stamp;
    for (int i = 1; i < argc; ++i) {
        const std::string kind = argv[i];
        double a = 0.0, b = 0.0;
        if (kind == "wave" && i + 3 < argc && ParseDouble(argv[i + 2], a) &&
            ParseDouble(argv[i + 3], b)) {
            CheckWave(argv[i + 1], a, b);
            i += 3;
        } else if (kind == "song" && i + 2 < argc && ParseDouble(argv[i + 2], a)) {
            CheckSong(argv[i + 1], a);
            i += 2;
        } else if (kind == "stamp" && i + 1 < argc) {
            stamp = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [wave FILE MIN MAX | song FILE BPM | stamp FILE]...\n",
                         argv[0]);
            return 2;
        }
    }
    if (failures > 0) return 1;
    if (!stamp.empty() && !WriteBinaryFile(stamp, {'o', 'k', '\n'})) return 1;
    return 0;
}
