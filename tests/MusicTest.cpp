// MIDI music through the headless platform: the synthesizer renders offline as the clock moves, so
// beats can be timed to the frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "app/Devices.h"
#include "media/Music.h"
#include "platform/sound/MusicPerformance.h"
#include "platform/sound/SoundDevice.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/TestFiles.h"

namespace {

// Loads a MIDI file by its path, as the screens load their songs.
void LoadSongFile(const std::string& path) {
    wchar_t wide[260];
    ConvertToWide(path.c_str(), wide, 260);
    LoadMusicSegment(wide);
}

constexpr int Rate = 48000;
constexpr uint8_t DrumChannel = 9;
constexpr uint8_t WoodBlock = 76;  // General MIDI drum: high wood block, short and dry

struct MidiEvent {
    uint32_t tick;
    std::vector<uint8_t> bytes;
};

void PutVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(groups[--count] | 0x80);
    out.push_back(groups[0]);
}

MidiEvent Tempo(uint32_t tick, double beatsPerMinute) {
    const auto micros = static_cast<uint32_t>(std::lround(60000000.0 / beatsPerMinute));
    return {tick,
            {0xFF, 0x51, 0x03, static_cast<uint8_t>(micros >> 16),
             static_cast<uint8_t>(micros >> 8), static_cast<uint8_t>(micros)}};
}

MidiEvent NoteOn(uint32_t tick, uint8_t channel, uint8_t note) {
    return {tick, {static_cast<uint8_t>(0x90 | channel), note, 110}};
}

MidiEvent NoteOff(uint32_t tick, uint8_t channel, uint8_t note) {
    return {tick, {static_cast<uint8_t>(0x80 | channel), note, 0}};
}

MidiEvent Program(uint8_t channel, uint8_t program) {
    return {0, {static_cast<uint8_t>(0xC0 | channel), program}};
}

// A standard MIDI file of format 0: one track with the events in tick order, ending at endTick.
std::vector<uint8_t> MidiFile(int ticksPerBeat, std::vector<MidiEvent> events, uint32_t endTick) {
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
    std::vector<uint8_t> track;
    uint32_t now = 0;
    for (const MidiEvent& e : events) {
        PutVariableLength(track, e.tick - now);
        track.insert(track.end(), e.bytes.begin(), e.bytes.end());
        now = e.tick;
    }
    PutVariableLength(track, endTick - now);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
    file.push_back(static_cast<uint8_t>(ticksPerBeat >> 8));
    file.push_back(static_cast<uint8_t>(ticksPerBeat));
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    const auto size = static_cast<uint32_t>(track.size());
    file.insert(file.end(), {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                             static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)});
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// A wood block on every beat for `beats` beats, at fileTempo; when slowDownAt > 0 the file drops
// to 60 beats per minute at that beat.
std::vector<uint8_t> WoodBlockBeats(int ticksPerBeat, int beats, double fileTempo,
                                    int slowDownAt = 0) {
    std::vector<MidiEvent> events = {Tempo(0, fileTempo)};
    if (slowDownAt > 0)
        events.push_back(Tempo(static_cast<uint32_t>(slowDownAt * ticksPerBeat), 60));
    for (int beat = 0; beat < beats; ++beat) {
        const auto tick = static_cast<uint32_t>(beat * ticksPerBeat);
        events.push_back(NoteOn(tick, DrumChannel, WoodBlock));
        events.push_back(NoteOff(tick + ticksPerBeat / 8, DrumChannel, WoodBlock));
    }
    return MidiFile(ticksPerBeat, events, static_cast<uint32_t>(beats * ticksPerBeat));
}

int Loudness(const std::vector<int16_t>& audio, size_t frame) {
    return std::abs(audio[frame * 2]) + std::abs(audio[frame * 2 + 1]);
}

int PeakOf(const std::vector<int16_t>& audio, size_t first, size_t last) {
    int peak = 0;
    for (size_t i = first; i < last && i * 2 + 1 < audio.size(); ++i) {
        peak = std::max(peak, Loudness(audio, i));
    }
    return peak;
}

// The frames at which a sound rises above a quarter of the loudest after at least 50 ms below a
// fortieth of it.
std::vector<size_t> Onsets(const std::vector<int16_t>& audio, size_t from, size_t to = SIZE_MAX) {
    to = std::min(to, audio.size() / 2);
    const int peak = PeakOf(audio, from, to);
    const int loud = peak / 4;
    const int quiet = peak / 40;
    const size_t quietFrames = Rate / 20;
    std::vector<size_t> onsets;
    bool armed = true;
    size_t quietRun = 0;
    for (size_t i = from; i < to; ++i) {
        const int level = Loudness(audio, i);
        quietRun = level <= quiet ? quietRun + 1 : 0;
        if (quietRun >= quietFrames) armed = true;
        if (armed && level > loud) {
            onsets.push_back(i);
            armed = false;
        }
    }
    return onsets;
}

std::vector<double> Intervals(const std::vector<size_t>& onsets) {
    std::vector<double> seconds;
    for (size_t i = 1; i < onsets.size(); ++i) {
        seconds.push_back(static_cast<double>(onsets[i] - onsets[i - 1]) / Rate);
    }
    return seconds;
}

double Mean(const std::vector<double>& values) {
    return values.empty() ? 0.0
                          : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

class MusicTest : public ::testing::Test {
protected:
    MusicTest() : session(true) { session.backend.captureAudio = true; }

    // Writes the file and loads it by its full name.
    void Load(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = folder.PathOf(name);
        WriteBytes(path, bytes);
        LoadByName(path);
    }
    void LoadByName(const std::string& name) { LoadSongFile(name); }
    size_t Now() const { return session.backend.audio.size() / 2; }
    void AdvanceMs(uint64_t ms) { session.backend.Advance(ms * 1000); }
    const std::vector<int16_t>& Audio() const { return session.backend.audio; }

    HeadlessSession session;
    TemporaryFolder folder;
};

// Beats of the music from `from` to now, and their mean spacing in seconds.
struct Beats {
    std::vector<size_t> onsets;
    std::vector<double> intervals;
    double spacing;
};

Beats BeatsOf(const std::vector<int16_t>& audio, size_t from, size_t to = SIZE_MAX) {
    Beats beats;
    beats.onsets = Onsets(audio, from, to);
    beats.intervals = Intervals(beats.onsets);
    beats.spacing = Mean(beats.intervals);
    return beats;
}

// A song heard again from `available` on: within a second and a beat, and on the beat (at 95 per
// minute) that it kept from `start` while nothing was heard.
void ExpectBackOnTheSongsBeat(const Beats& after, size_t start, size_t available) {
    ASSERT_GE(after.onsets.size(), 3u);
    EXPECT_LT(after.onsets[0] - available, static_cast<size_t>(Rate * (1 + 60 / 95.0)));
    for (size_t onset : after.onsets) {
        const double beats = static_cast<double>(onset - start) / Rate / (60 / 95.0);
        EXPECT_NEAR(beats, std::round(beats), 0.01) << "beat at " << onset;
    }
}

TEST_F(MusicTest, TheTempoSentSetsTheBeatWhateverTheFileSays) {
    // The file says 120 beats per minute, then 60 from its fifth beat on.
    const std::vector<uint8_t> file = WoodBlockBeats(480, 32, 120, 4);
    double spacing[2] = {};
    const double tempos[2] = {95, 115};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(tempos[i]);
        Load("beats.mid", file);
        SetMusicTempo(tempos[i]);  // between the load and the play, as the menu does
        PlayMusicSegment();
        const size_t start = Now();
        AdvanceMs(10000);
        const Beats beats = BeatsOf(Audio(), start);
        ASSERT_GE(beats.onsets.size(), 14u);
        EXPECT_LT(beats.onsets[0] - start, static_cast<size_t>(Rate / 100));
        for (double interval : beats.intervals) EXPECT_NEAR(interval, 60 / tempos[i], 0.003);
        spacing[i] = beats.spacing;
    }
    EXPECT_NEAR(spacing[0] / spacing[1], 115.0 / 95.0, 0.002);
}

TEST_F(MusicTest, ATempoSentOnEveryFrameHoldsTheBeatAndAChangeTakesOver) {
    // At 96 ticks a beat a tempo applied anew on every 16 ms frame would round the position to
    // whole ticks each time and run the music far off the beat.
    Load("beats.mid", WoodBlockBeats(96, 64, 120, 4));
    PlayMusicSegment();
    const size_t start = Now();
    for (int frame = 0; frame < 500; ++frame) {
        SetMusicTempo(95);
        AdvanceMs(16);
    }
    const size_t change = Now();
    for (int frame = 0; frame < 500; ++frame) {
        SetMusicTempo(115);
        AdvanceMs(16);
    }
    const Beats slow = BeatsOf(Audio(), start, change);
    const Beats fast = BeatsOf(Audio(), change + Rate / 2);
    ASSERT_GE(slow.onsets.size(), 11u);
    ASSERT_GE(fast.onsets.size(), 11u);
    EXPECT_NEAR(slow.spacing, 60 / 95.0, 0.002);
    EXPECT_NEAR(fast.spacing, 60 / 115.0, 0.002);
    for (double interval : slow.intervals) EXPECT_NEAR(interval, 60 / 95.0, 0.003);
    for (double interval : fast.intervals) EXPECT_NEAR(interval, 60 / 115.0, 0.003);
}

TEST_F(MusicTest, ASegmentPlaysOneHundredAndOneTimesThenFallsSilent) {
    Load("one-beat.mid", WoodBlockBeats(480, 1, 120));
    SetMusicTempo(150);  // 0.4 s a play
    PlayMusicSegment();
    const size_t start = Now();
    for (int frame = 0; frame < 2750; ++frame) {  // 44 s, the tempo sent all along
        SetMusicTempo(150);
        AdvanceMs(16);
        if (frame == 2500) {
            // 40 s: the last play is over, and that is known by its ticks, not seconds later.
            EXPECT_TRUE(musicPerformance->IsPlaying());
        }
        if (frame == 2540) {
            EXPECT_FALSE(musicPerformance->IsPlaying());  // 40.6 s
        }
    }
    const Beats beats = BeatsOf(Audio(), start);
    ASSERT_EQ(beats.onsets.size(), 101u);
    EXPECT_NEAR(static_cast<double>(beats.onsets.back() - start) / Rate, 100 * 0.4, 0.01);
    for (double interval : beats.intervals) EXPECT_NEAR(interval, 0.4, 0.003);
    const size_t lastPlayEnd = beats.onsets.back() + Rate * 4 / 10;
    EXPECT_EQ(PeakOf(Audio(), lastPlayEnd + Rate, Now()), 0);
    EXPECT_NE(currentSegment, nullptr);  // still loaded; playing it again starts over
    const size_t again = Now();
    PlayMusicSegment();
    AdvanceMs(1000);
    EXPECT_EQ(BeatsOf(Audio(), again).onsets.size(), 3u);
}

TEST_F(MusicTest, ANewSegmentOrAStopSilencesTheOldMusicAtOnce) {
    // A held organ chord: the notes only end when something stops them.
    std::vector<MidiEvent> chord = {Tempo(0, 120), Program(0, 19)};
    for (uint8_t note : {48, 52, 55, 60}) {
        chord.push_back(NoteOn(0, 0, note));
        chord.push_back(NoteOff(480 * 40, 0, note));
    }
    const std::vector<uint8_t> organ = MidiFile(480, chord, 480 * 40);
    // Two beats of rest at 120 beats per minute, then wood blocks.
    std::vector<MidiEvent> later = {Tempo(0, 120)};
    for (uint32_t beat = 2; beat < 6; ++beat) {
        later.push_back(NoteOn(beat * 480, DrumChannel, WoodBlock));
        later.push_back(NoteOff(beat * 480 + 60, DrumChannel, WoodBlock));
    }
    const std::vector<uint8_t> restFirst = MidiFile(480, later, 480 * 6);

    Load("organ.mid", organ);
    PlayMusicSegment();
    size_t mark = Now();
    AdvanceMs(1000);
    const int organLevel = PeakOf(Audio(), mark + Rate / 2, Now());
    ASSERT_GT(organLevel, 10000);

    Load("rest-first.mid", restFirst);
    PlayMusicSegment();
    mark = Now();
    AdvanceMs(3000);
    // What the synthesizer's effects leave is 40 dB down at once; a note left sounding is not.
    EXPECT_LT(PeakOf(Audio(), mark + Rate / 50, mark + Rate * 95 / 100), organLevel / 100);
    const Beats beats = BeatsOf(Audio(), mark);
    ASSERT_EQ(beats.onsets.size(), 4u);
    EXPECT_NEAR(static_cast<double>(beats.onsets[0] - mark) / Rate, 1.0, 0.005);

    Load("organ.mid", organ);
    PlayMusicSegment();
    AdvanceMs(1000);
    StopMusic();
    mark = Now();
    AdvanceMs(1000);
    EXPECT_EQ(PeakOf(Audio(), mark + Rate / 50, Now()), 0);
    StopMusic();  // nothing playing: no effect
    EXPECT_NE(currentSegment, nullptr);
}

TEST_F(MusicTest, AMissingFileLeavesTheSlotEmptyTheMusicSilentAndTheTempoRemembered) {
    Load("beats.mid", WoodBlockBeats(480, 64, 120));
    PlayMusicSegment();
    AdvanceMs(1000);
    ASSERT_NE(currentSegment, nullptr);

    LoadByName(folder.PathOf("Music/missing.mid"));
    EXPECT_EQ(currentSegment, nullptr);
    PlayMusicSegment();
    size_t mark = Now();
    for (int frame = 0; frame < 60; ++frame) {
        SetMusicTempo(95);
        AdvanceMs(16);
    }
    EXPECT_EQ(PeakOf(Audio(), mark + Rate / 50, Now()), 0);

    // Neither a file that is not MIDI, nor one with an event longer than its track, nor a folder
    // is a segment.
    Load("not-midi.mid", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 0, 0, 0, 0});
    EXPECT_EQ(currentSegment, nullptr);
    std::vector<uint8_t> damaged = WoodBlockBeats(480, 4, 120);
    // A text event whose length (0x0FFFFF7F bytes) runs far past the file, before the first note.
    const uint8_t overlong[] = {0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F};
    damaged.insert(damaged.begin() + 22, overlong, overlong + sizeof overlong);
    const uint32_t trackLength =
        (damaged[18] << 24 | damaged[19] << 16 | damaged[20] << 8 | damaged[21]) + sizeof overlong;
    for (int i = 0; i < 4; ++i) damaged[18 + i] = static_cast<uint8_t>(trackLength >> (24 - 8 * i));
    Load("damaged.mid", damaged);
    EXPECT_EQ(currentSegment, nullptr);
    LoadByName(folder.path);
    EXPECT_EQ(currentSegment, nullptr);

    // The tempo sent while nothing played holds for the next music.
    Load("beats.mid", WoodBlockBeats(480, 16, 120));
    ASSERT_NE(currentSegment, nullptr);
    PlayMusicSegment();
    mark = Now();
    AdvanceMs(6000);
    EXPECT_NEAR(BeatsOf(Audio(), mark).spacing, 60 / 95.0, 0.002);
}

TEST_F(MusicTest, NamesAreFoundInTheSearchFolderWhateverTheWorkingFolder) {
    char startFolder[PATH_MAX];
    ASSERT_NE(realpath(FLURBER_RUN_DIR, startFolder), nullptr);
    EXPECT_EQ(musicLoader->searchDirectory, startFolder);

    WriteBytes(folder.PathOf("Music\\beats.mid"), WoodBlockBeats(480, 8, 120));
    musicLoader->SetSearchDirectory(folder.path);  // as if the game had started in the folder
    WorkingDirectory elsewhere("/");
    LoadMusicSegment(L"Music\\beats.mid");
    ASSERT_NE(currentSegment, nullptr);
    // The same file again: one segment, which plays.
    LoadMusicSegment(L"Music\\beats.mid");
    ASSERT_NE(currentSegment, nullptr);
    PlayMusicSegment();
    const size_t mark = Now();
    AdvanceMs(2000);
    EXPECT_EQ(BeatsOf(Audio(), mark).onsets.size(), 4u);
}

TEST_F(MusicTest, ALostDeviceIsTriedOnceASecondAndTheSoundGoesOnWhereItWouldBeWhenItOpens) {
    HeadlessBackend& backend = session.backend;
    // Frames as the game runs them: events polled, the tempo sent, a frame's time gone by.
    const auto runMs = [&](int ms) {
        for (int t = 0; t < ms; t += 16) {
            PlatformEvent event;
            while (backend.PollEvent(event)) {
            }
            SetMusicTempo(95);
            AdvanceMs(16);
        }
    };
    Load("beats.mid", WoodBlockBeats(480, 64, 120));
    SetMusicTempo(95);  // a beat every 0.63 s: no whole number of beats in the time lost below
    PlayMusicSegment();
    const size_t start = Now();
    runMs(2000);

    backend.audioAvailable = false;
    backend.LoseAudioDevice();
    const size_t lost = Now();
    runMs(3500);
    EXPECT_EQ(4, backend.audioOpenTries);  // at once, then after 1, 2 and 3 s
    EXPECT_EQ(0, PeakOf(Audio(), lost, Now()));

    backend.audioAvailable = true;
    const size_t available = Now();
    runMs(3000);
    EXPECT_EQ(5, backend.audioOpenTries);
    EXPECT_FALSE(backend.audioDeviceLost);
    const Beats before = BeatsOf(Audio(), start, lost);
    const Beats after = BeatsOf(Audio(), available);
    ASSERT_GE(before.onsets.size(), 3u);
    ExpectBackOnTheSongsBeat(after, start, available);

    // A sound that would have ended while the device was away is not heard when it comes back.
    StopMusic();
    runMs(500);
    WaveFormat format{WaveFormatPcm, 1, Rate, Rate * 2, 2, 16, 0};
    SoundBufferDesc desc{SoundBufferDescSize, 0, Rate, 0, &format, {}};  // half a second
    SoundBuffer* sound = nullptr;
    ASSERT_EQ(SoundOk, soundDevice->CreateSoundBuffer(&desc, &sound));
    void* part = nullptr;
    void* second = nullptr;
    uint32_t length = 0;
    uint32_t secondLength = 0;
    ASSERT_EQ(SoundOk, sound->Lock(0, Rate, &part, &length, &second, &secondLength, 0));
    std::fill_n(static_cast<int16_t*>(part), length / 2, int16_t{8000});
    ASSERT_EQ(SoundOk, sound->Unlock(part, length, second, secondLength));
    sound->Play(0, 0, 0);
    runMs(200);
    backend.audioAvailable = false;
    backend.LoseAudioDevice();
    runMs(1000);
    backend.audioAvailable = true;
    const size_t back = Now();
    runMs(1500);
    EXPECT_FALSE(backend.audioDeviceLost);
    EXPECT_EQ(0, PeakOf(Audio(), back, Now()));
    uint32_t status = 1;
    sound->GetStatus(&status);
    EXPECT_EQ(0u, status & SoundStatusPlaying);
    sound->Release();
}

TEST(MusicStartTest, ADeviceMissingAtStartUpIsTriedOnceASecondAndTheMusicGoesOnWhereItIs) {
    HeadlessSession session(false, true);
    HeadlessBackend& backend = session.backend;
    backend.captureAudio = true;
    ASSERT_TRUE(session.started);
    const auto now = [&] { return backend.audio.size() / 2; };
    const auto runMs = [&](int ms) {
        for (int t = 0; t < ms; t += 16) {
            PlatformEvent event;
            while (backend.PollEvent(event)) {
            }
            SetMusicTempo(95);
            backend.Advance(16000);
        }
    };
    // A sound made while nothing is heard is the game's like any other once a device opens.
    WaveFormat format{WaveFormatPcm, 1, Rate, Rate * 2, 2, 16, 0};
    SoundBufferDesc desc{SoundBufferDescSize, 0, Rate / 5, 0, &format, {}};
    SoundBuffer* sound = nullptr;
    ASSERT_EQ(SoundOk, soundDevice->CreateSoundBuffer(&desc, &sound));
    void* part = nullptr;
    void* second = nullptr;
    uint32_t length = 0;
    uint32_t secondLength = 0;
    ASSERT_EQ(SoundOk, sound->Lock(0, Rate / 5, &part, &length, &second, &secondLength, 0));
    std::fill_n(static_cast<int16_t*>(part), length / 2, int16_t{8000});
    ASSERT_EQ(SoundOk, sound->Unlock(part, length, second, secondLength));

    TemporaryFolder folder;
    const std::string path = folder.PathOf("beats.mid");
    WriteBytes(path, WoodBlockBeats(480, 64, 120));
    LoadSongFile(path);
    SetMusicTempo(95);
    PlayMusicSegment();
    const size_t start = now();
    runMs(2500);
    EXPECT_EQ(2, backend.audioOpenTries);  // after 1 and 2 s, none at once
    EXPECT_EQ(0, PeakOf(backend.audio, start, now()));

    backend.audioAvailable = true;
    const size_t available = now();
    runMs(3000);
    EXPECT_EQ(3, backend.audioOpenTries);
    EXPECT_FALSE(backend.audioDeviceLost);
    const Beats after = BeatsOf(backend.audio, available);
    ExpectBackOnTheSongsBeat(after, start, available);

    StopMusic();
    runMs(500);
    const size_t played = now();
    sound->Play(0, 0, 0);
    runMs(100);
    EXPECT_GT(PeakOf(backend.audio, played, now()), 8000);
    sound->Release();
}

TEST(MusicLoadingTest, InstrumentsLoadBehindTheProgramAndTheSongThenStartsFromItsFirstNote) {
    // On a clock that runs by itself the soundfont loads on a thread of its own.
    HeadlessBackend backend;
    backend.audioAvailable = true;
    backend.captureAudio = true;
    backend.clockRunsByItself = true;
    activeBackend = &backend;
    {
        SoundDevice output;
        ASSERT_TRUE(output.Open());
        MusicPerformance performance;
        ASSERT_TRUE(performance.Init(&output));
        ASSERT_TRUE(performance.AddPort());
        MusicSegment segment(WoodBlockBeats(480, 8, 120));
        segment.SetRepeats(100);
        performance.SetTempo(95);
        // Asked for before the instruments may be in: nothing waits, and the song is on its way.
        EXPECT_EQ(MusicOk, performance.PlaySegment(&segment));
        EXPECT_TRUE(performance.IsPlaying());
        // Frames go on meanwhile (each sends the tempo) until the song's instruments are in.
        for (int frame = 0;
             frame < 1000 && (performance.instruments != MusicPerformance::InstrumentsIn ||
                              performance.waitingSegment != nullptr);
             ++frame) {
            backend.Advance(16667);
            performance.SetTempo(95);
            usleep(10000);
        }
        ASSERT_EQ(MusicPerformance::InstrumentsIn, performance.instruments);
        const size_t in = backend.audio.size() / 2;
        EXPECT_EQ(0, PeakOf(backend.audio, 0, in)) << "heard before the instruments were in";
        backend.Advance(3000000);
        const Beats beats = BeatsOf(backend.audio, in);
        ASSERT_GE(beats.onsets.size(), 4u);
        // The first beat of the song, at once, then the song's beats at the tempo asked for.
        EXPECT_LT(beats.onsets[0] - in, static_cast<size_t>(Rate / 100));
        EXPECT_NEAR(beats.spacing, 60 / 95.0, 0.003);
        performance.CloseDown();
    }
    activeBackend = nullptr;
}

TEST(MusicSilentMachineTest, WithoutAnAudioDeviceMusicCallsDoNothing) {
    HeadlessSession session(false);
    TemporaryFolder folder;
    const std::string path = folder.PathOf("beats.mid");
    WriteBytes(path, WoodBlockBeats(480, 4, 120));
    LoadSongFile(path);
    SetMusicTempo(95);
    PlayMusicSegment();
    session.backend.Advance(100000);
    SetMusicTempo(115);
    EXPECT_FALSE(musicPerformance->IsPlaying());
    StopMusic();
    LoadSongFile(path);
    PlayMusicSegment();
}

}  // namespace
