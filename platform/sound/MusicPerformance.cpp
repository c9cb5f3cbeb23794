#include "platform/sound/MusicPerformance.h"

#include <fluidsynth.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Backend.h"
#include "platform/Paths.h"
#include "platform/sound/AudioMixer.h"
#include "platform/sound/SoundDevice.h"

namespace {
const char* const DefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
const char* const SmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
// Our songs come out at about -20 dBFS RMS with this (-23 to -16 measured, with either soundfont),
// well under the sound effects, which peak near full scale.
constexpr double SynthGain = 0.7;
constexpr int BlockFrames = 256;
constexpr long LargestMidiFile = 16 * 1024 * 1024;

bool IsFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}
}  // namespace

MusicSegment::MusicSegment(std::vector<uint8_t> file)
    : midiFile(std::move(file)),
      standardMidiFile(false),
      repeats(0),
      downloadedTo(nullptr),
      presets(MidiPresets(midiFile)),
      instrumentsHeldBy(nullptr),
      instrumentsTicket(0) {}

MusicSegment::~MusicSegment() {
    if (downloadedTo != nullptr) SetParam(SegmentParam::Unload, downloadedTo);
    if (instrumentsHeldBy != nullptr) instrumentsHeldBy->ReleaseInstruments(this);
}

int32_t MusicSegment::SetParam(SegmentParam param, MusicPerformance* performance) {
    if (performance == nullptr) return MusicFailed;
    switch (param) {
        case SegmentParam::StandardMidiFile:
            standardMidiFile = true;
            return MusicOk;
        case SegmentParam::Download:
            downloadedTo = performance;
            performance->HoldInstruments(this);
            return MusicOk;
        case SegmentParam::Unload:
            if (performance->playingSegment == this) performance->Stop();
            if (downloadedTo == performance) downloadedTo = nullptr;
            performance->ReleaseInstruments(this);
            return MusicOk;
    }
    return MusicFailed;
}

int32_t MusicSegment::SetRepeats(uint32_t count) {
    repeats = count;
    return MusicOk;
}

MusicPerformance::MusicPerformance()
    : settings(nullptr),
      synth(nullptr),
      player(nullptr),
      mixer(nullptr),
      playingSegment(nullptr),
      playsInAll(0),
      playsStarted(0),
      lastTick(0),
      songTicks(0),
      songEnded(false),
      requestedTempo(0.0),
      appliedTempo(0.0),
      synthSilent(true),
      instruments(NoInstruments),
      waitingSegment(nullptr) {}

MusicPerformance::~MusicPerformance() {
    CloseDown();
}

bool MusicPerformance::Init(SoundDevice* output) {
    if (synth != nullptr) return true;
    if (output == nullptr || !output->opened) return false;
    // The synth is rendered here, never through an audio driver of FluidSynth's: none is set up,
    // and so none probes the sound system (SDL 3's, for one, warns when SDL has no audio yet).
    static const char* noAudioDrivers[] = {nullptr};
    static const bool driversOff = fluid_audio_driver_register(noAudioDrivers) == FLUID_OK;
    (void)driversOff;
    settings = new_fluid_settings();
    if (settings == nullptr) return false;
    fluid_settings_setnum(settings, "synth.sample-rate", AudioMixer::SampleRate);
    fluid_settings_setnum(settings, "synth.gain", SynthGain);
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    // Only the samples of the instruments the songs play are read from the soundfont.
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    synth = new_fluid_synth(settings);
    if (synth == nullptr) {
        delete_fluid_settings(settings);
        settings = nullptr;
        return false;
    }
    // The mixer renders it once its instruments are in.
    mixer = &output->mixer;
    return true;
}

bool MusicPerformance::AddPort() {
    if (synth == nullptr || instruments != NoInstruments) return false;
    soundFontPath = IsFile(DefaultSoundFont) ? DefaultSoundFont : SmallSoundFont;
    instruments = LoadingInstruments;
    // On a clock that moves only when the program waits, loading behind its back would make the
    // music start at a different moment every time.
    loader.Start(synth, soundFontPath,
                 activeBackend == nullptr ||
                     (activeBackend->ClockRunsByItself() && activeBackend->HasThreads()));
    TakeInstruments();
    return instruments != InstrumentsFailed;
}

void MusicPerformance::HoldInstruments(MusicSegment* segment) {
    if (synth == nullptr || instruments == NoInstruments || segment->instrumentsHeldBy == this) {
        return;
    }
    segment->instrumentsHeldBy = this;
    segment->instrumentsTicket = loader.Pin(segment->presets);
}

void MusicPerformance::ReleaseInstruments(MusicSegment* segment) {
    if (segment->instrumentsHeldBy != this) return;
    if (waitingSegment == segment) waitingSegment = nullptr;
    segment->instrumentsHeldBy = nullptr;
    loader.Unpin(segment->presets);
}

void MusicPerformance::TakeInstruments() {
    if (instruments == LoadingInstruments && loader.SoundFontDone()) {
        if (!loader.SoundFontLoaded()) {
            std::fprintf(stderr, "The Flurber: cannot load the instruments in %s; no music\n",
                         soundFontPath.c_str());
            instruments = InstrumentsFailed;
            waitingSegment = nullptr;
            playingSegment = nullptr;
            return;
        }
        instruments = InstrumentsIn;
        AudioLock lock;
        CheckAudioLocked("MusicPerformance::TakeInstruments");
        mixer->music = this;
    }
    if (instruments != InstrumentsIn || waitingSegment == nullptr ||
        !loader.Done(waitingSegment->instrumentsTicket)) {
        return;
    }
    MusicSegment* segment = waitingSegment;
    waitingSegment = nullptr;
    StartPlayer(segment);
}

int32_t MusicPerformance::PlaySegment(MusicSegment* segment) {
    if (segment == nullptr || segment->midiFile.empty()) return MusicFailed;
    if (synth == nullptr) return MusicOk;  // no audio device: nothing is heard
    HoldInstruments(segment);
    TakeInstruments();
    if (instruments == LoadingInstruments ||
        (instruments == InstrumentsIn && !loader.Done(segment->instrumentsTicket))) {
        if (instruments == InstrumentsIn) {
            // The music that plays stops at once, as it would for a segment ready to play.
            AudioLock lock;
            DropPlayer();
        }
        waitingSegment = segment;
        playingSegment = segment;
        return MusicOk;
    }
    if (instruments != InstrumentsIn) return MusicOk;  // no instruments: nothing is heard
    return StartPlayer(segment);
}

int32_t MusicPerformance::StartPlayer(MusicSegment* segment) {
    AudioLock lock;
    DropPlayer();
    CheckAudioLocked("MusicPerformance::PlaySegment");
    player = new_fluid_player(synth);
    if (player == nullptr) return MusicFailed;
    playingSegment = segment;
    synthSilent = false;
    playsInAll = static_cast<int>(std::min<uint32_t>(segment->repeats, 1000000) + 1);
    playsStarted = 1;
    lastTick = 0;
    songTicks = 0;
    songEnded = false;
    fluid_player_add_mem(player, segment->midiFile.data(), segment->midiFile.size());
    fluid_player_set_loop(player, playsInAll);
    if (requestedTempo > 0.0 && fluid_player_set_tempo(player, FLUID_PLAYER_TEMPO_EXTERNAL_BPM,
                                                       requestedTempo) == FLUID_OK) {
        appliedTempo = requestedTempo;
    }
    return fluid_player_play(player) == FLUID_OK ? MusicOk : MusicFailed;
}

void MusicPerformance::Stop() {
    if (synth == nullptr) return;
    TakeInstruments();
    waitingSegment = nullptr;
    if (instruments != InstrumentsIn) {
        playingSegment = nullptr;
        return;
    }
    AudioLock lock;
    DropPlayer();
}

int32_t MusicPerformance::SetTempo(double beatsPerMinute) {
    if (!(beatsPerMinute > 0.0) || !std::isfinite(beatsPerMinute)) return MusicFailed;
    requestedTempo = beatsPerMinute;
    // The screens send their tempo on every frame: the waiting music starts at the first frame
    // after its instruments are in.
    TakeInstruments();
    // Every tempo call rounds the player's position to whole ticks: sent on every frame, the
    // music would drift far off the beat. Only a change is passed on.
    if (player == nullptr || beatsPerMinute == appliedTempo) return MusicOk;
    AudioLock lock;
    CheckAudioLocked("MusicPerformance::SetTempo");
    if (fluid_player_set_tempo(player, FLUID_PLAYER_TEMPO_EXTERNAL_BPM, beatsPerMinute) !=
        FLUID_OK) {
        return MusicFailed;
    }
    appliedTempo = beatsPerMinute;
    return MusicOk;
}

void MusicPerformance::CloseDown() {
    if (synth == nullptr) return;
    loader.Stop();
    waitingSegment = nullptr;
    {
        AudioLock lock;
        DropPlayer();
        CheckAudioLocked("MusicPerformance::CloseDown");
        if (mixer != nullptr) mixer->music = nullptr;
        mixer = nullptr;
    }
    delete_fluid_synth(synth);
    synth = nullptr;
    delete_fluid_settings(settings);
    settings = nullptr;
}

bool MusicPerformance::IsPlaying() {
    TakeInstruments();
    if (waitingSegment != nullptr) return true;
    AudioLock lock;
    CheckAudioLocked("MusicPerformance::IsPlaying");
    return player != nullptr && !songEnded;
}

void MusicPerformance::Render(float* stereo, int frameCount) {
    if (synth == nullptr) return;
    const bool playing = player != nullptr && !songEnded;
    if (!playing && (synthSilent || fluid_synth_get_active_voice_count(synth) == 0)) return;
    float left[BlockFrames];
    float right[BlockFrames];
    while (frameCount > 0) {
        const int count = std::min(frameCount, BlockFrames);
        fluid_synth_write_float(synth, count, left, 0, 1, right, 0, 1);
        for (int i = 0; i < count; ++i) {
            stereo[i * 2] += left[i] * 32768.0f;
            stereo[i * 2 + 1] += right[i] * 32768.0f;
        }
        if (player != nullptr && !songEnded) NoteProgress();
        stereo += count * 2;
        frameCount -= count;
    }
}

// The end of the last play is told by the ticks: the player itself reports it done only seconds
// after the last note has died away, and never while a note hangs.
void MusicPerformance::NoteProgress() {
    const int tick = fluid_player_get_current_tick(player);
    if (songTicks <= 0) songTicks = fluid_player_get_total_ticks(player);
    const int total = songTicks;
    // Back by more than half the song: the player went round to the start again.
    if (tick + total / 2 < lastTick) ++playsStarted;
    lastTick = tick;
    const bool lastPlayOver = playsStarted >= playsInAll && total > 0 && tick >= total;
    if (lastPlayOver || fluid_player_get_status(player) == FLUID_PLAYER_DONE) {
        fluid_player_stop(player);
        songEnded = true;
    }
}

// With the audio locked: the old player goes, and with it every note it left sounding.
void MusicPerformance::DropPlayer() {
    CheckAudioLocked("MusicPerformance::DropPlayer");
    playingSegment = nullptr;
    songEnded = false;
    appliedTempo = 0.0;
    // Already quiet: the synthesizer is left alone, which the loader may be holding meanwhile.
    if (player == nullptr && synthSilent) return;
    if (player != nullptr) {
        fluid_player_stop(player);
        delete_fluid_player(player);
        player = nullptr;
    }
    // In this order: a reset after the sounds-off brings the voices back (measured), and the
    // reset clears the reverb and chorus, which would ring on for a second.
    fluid_synth_system_reset(synth);
    fluid_synth_all_sounds_off(synth, -1);
    synthSilent = true;
}

MusicSegment* MusicLoader::GetObject(const wchar_t* fileName) {
    if (fileName == nullptr) return nullptr;
    std::string name;
    for (const wchar_t* c = fileName; *c != L'\0'; ++c) {
        // Our names come from narrow ones, one byte per character.
        if (*c < 0 || *c > 0xFF) return nullptr;
        name.push_back(static_cast<char>(*c));
    }
    std::string path = NativePath(name.c_str());
    if (path.empty()) return nullptr;
    if (path[0] != '/' && !searchDirectory.empty()) path = searchDirectory + "/" + path;

    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    std::vector<uint8_t> bytes;
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 14 &&
        info.st_size <= LargestMidiFile) {
        bytes.resize(static_cast<size_t>(info.st_size));
        if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
    }
    std::fclose(file);
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "MThd", 4) != 0) return nullptr;
    if (!MidiLengthsFit(bytes)) return nullptr;  // damaged: no music, as from a file not found
    return new MusicSegment(std::move(bytes));
}
