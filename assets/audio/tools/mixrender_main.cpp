// flurber_mixrender RUN_DIR SOUNDFONT < JOBS: renders songs and sounds through the game's own sound
// code (its mixer, its FluidSynth settings, the forced tempo) on the headless platform, with the
// given soundfont in place of the default one, into wave files that the mix check measures. One
// job a line:
//
//   render OUT.wav [song Music\x.mid BPM] [only|without 1,2] [sound Sounds\y.wav AT]...
//          [seconds N]
//
// only and without keep the notes of some MIDI channels (counted from 1) and drop the others'.
// Without seconds a song renders for one play, and sounds alone until they have ended.
#include <dlfcn.h>
#include <fluidsynth.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "TextScan.h"
#include "WaveFile.h"
#include "app/Devices.h"
#include "media/Music.h"
#include "media/Sound.h"
#include "platform/headless/HeadlessBackend.h"

namespace {
std::string chosenSoundFont;
int soundFontsSwapped = 0;
}  // namespace

// The game loads whatever soundfont the system names as the default; the check hears each of the
// two a player may have, so the file that the game asks for is swapped here, where the game's own
// loading code calls FluidSynth.
extern "C" int fluid_synth_sfload(fluid_synth_t* synth, const char*, int resetPresets) {
    using Load = int (*)(fluid_synth_t*, const char*, int);
    static const Load load = reinterpret_cast<Load>(dlsym(RTLD_NEXT, "fluid_synth_sfload"));
    ++soundFontsSwapped;
    return load(synth, chosenSoundFont.c_str(), resetPresets);
}

namespace {

constexpr uint64_t LongestRender = 200000000;  // us

struct SoundCue {
    std::string path;
    uint64_t at;  // us
};

struct Job {
    std::string out;
    std::string song;
    double tempo = 0.0;
    uint16_t channels = 0xFFFF;  // bit per channel whose notes play
    std::vector<SoundCue> sounds;
    uint64_t length = 0;  // us; 0 for the natural length
};

std::string Replaced(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

bool ParseJob(const std::vector<std::string>& words, Job& job) {
    if (words.size() < 2) return false;
    job.out = words[1];
    for (size_t i = 2; i < words.size(); ++i) {
        const std::string& key = words[i];
        const bool hasOne = i + 1 < words.size();
        const bool hasTwo = i + 2 < words.size();
        double value = 0.0;
        if (key == "song" && hasTwo && ParseDouble(words[i + 2], job.tempo)) {
            job.song = words[i + 1];
            i += 2;
        } else if ((key == "only" || key == "without") && hasOne) {
            uint16_t listed = 0;
            for (const std::string& number : SplitWords(Replaced(words[i + 1], ',', ' '))) {
                int channel = 0;
                if (!ParseInt(number, channel) || channel < 1 || channel > 16) return false;
                listed |= static_cast<uint16_t>(1u << (channel - 1));
            }
            job.channels = key == "only" ? listed : static_cast<uint16_t>(~listed);
            ++i;
        } else if (key == "sound" && hasTwo && ParseDouble(words[i + 2], value) && value >= 0) {
            job.sounds.push_back({words[i + 1], static_cast<uint64_t>(value * 1e6)});
            i += 2;
        } else if (key == "seconds" && hasOne && ParseDouble(words[i + 1], value) && value > 0) {
            job.length = static_cast<uint64_t>(value * 1e6);
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// Lets through only the notes of some channels; every other event (programs, volumes, note-offs)
// plays as written, so a part sounds exactly as it does in the whole song.
int PlayChannels(void* data, fluid_midi_event_t* event) {
    const uint16_t channels = *static_cast<const uint16_t*>(data);
    const bool noteOn =
        fluid_midi_event_get_type(event) == 0x90 && fluid_midi_event_get_velocity(event) > 0;
    const bool kept = (channels >> fluid_midi_event_get_channel(event) & 1) != 0;
    if (noteOn && !kept) return FLUID_OK;
    return fluid_synth_handle_midi_event(musicPerformance->synth, event);
}

bool Render(HeadlessBackend& backend, const Job& job) {
    static uint16_t channels;
    channels = job.channels;
    backend.audio.clear();
    backend.captureAudio = true;
    if (!job.song.empty()) {
        // Music from any other soundfont would measure the wrong one.
        if (soundFontsSwapped == 0) {
            std::fprintf(stderr, "the game loaded its soundfont some other way: none swapped\n");
            return false;
        }
        wchar_t wide[260];
        ConvertToWide(job.song.c_str(), wide, 260);
        LoadMusicSegment(wide);
        if (currentSegment == nullptr) {
            std::fprintf(stderr, "%s: cannot load\n", job.song.c_str());
            return false;
        }
        // As the menu starts its song: load, tempo, play.
        SetMusicTempo(job.tempo);
        PlayMusicSegment();
        if (channels != 0xFFFF) {
            AudioLock lock;
            if (musicPerformance->player == nullptr) {
                std::fprintf(stderr, "%s: no player to take a part of\n", job.song.c_str());
                return false;
            }
            fluid_player_set_playback_callback(musicPerformance->player, PlayChannels, &channels);
        }
    }
    std::map<std::string, SoundBuffer*> slots;
    for (const SoundCue& cue : job.sounds) {
        if (slots.count(cue.path) != 0) continue;
        SoundBuffer*& slot = slots[cue.path];
        LoadWaveSound(cue.path.c_str(), slot);
        if (slot == nullptr) {
            std::fprintf(stderr, "%s: cannot load\n", cue.path.c_str());
            return false;
        }
    }
    std::vector<SoundCue> cues = job.sounds;
    std::stable_sort(cues.begin(), cues.end(),
                     [](const SoundCue& a, const SoundCue& b) { return a.at < b.at; });
    const uint64_t start = backend.microseconds;
    size_t next = 0;
    constexpr uint64_t Step = 10000;
    for (;;) {
        const uint64_t now = backend.microseconds - start;
        while (next < cues.size() && cues[next].at <= now) {
            PlaySoundFromStart(slots[cues[next].path]);
            ++next;
        }
        bool done = now >= LongestRender;
        if (job.length > 0) {
            done = done || now >= job.length;
        } else {
            bool sounding = next < cues.size();
            for (auto& entry : slots) sounding = sounding || IsSoundPlaying(entry.second) != 0;
            // One play of the song: the player has gone round to its start again.
            const bool songOn = !job.song.empty() && musicPerformance->playsStarted < 2;
            done = done || (!sounding && !songOn);
        }
        if (done) break;
        uint64_t step = Step;
        if (job.length > 0) step = std::min(step, job.length - now);
        if (next < cues.size()) step = std::min(step, cues[next].at - now);
        backend.Advance(std::max<uint64_t>(step, 1));
    }
    StopMusic();
    ReleaseCurrentSegment();
    for (auto& entry : slots) ReleaseSound(entry.second);

    WaveFile wave;
    wave.channels = 2;
    wave.sampleRate = AudioMixer::SampleRate;
    wave.samples = backend.audio;
    backend.audio.clear();
    if (!WriteBinaryFile(job.out, EncodeWaveFile(wave))) {
        std::fprintf(stderr, "%s: cannot write\n", job.out.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RUN_DIR SOUNDFONT < JOBS\n", argv[0]);
        return 2;
    }
    chosenSoundFont = argv[2];
    if (chdir(argv[1]) != 0) {
        std::fprintf(stderr, "%s: cannot enter\n", argv[1]);
        return 1;
    }
    HeadlessBackend backend;
    backend.audioAvailable = true;
    activeBackend = &backend;
    backend.CreateMainWindow("The Flurber", 0, 0, 800, 600);
    bool ok = StartDevices() && musicPerformance->synth != nullptr;
    if (!ok) std::fprintf(stderr, "cannot start the game's devices\n");
    std::string line;
    while (ok && std::getline(std::cin, line)) {
        const std::vector<std::string> words = SplitWords(StripComment(line));
        if (words.empty()) continue;
        Job job;
        if (words[0] == "render" && ParseJob(words, job)) {
            ok = Render(backend, job);
        } else {
            std::fprintf(stderr, "cannot read the job: %s\n", line.c_str());
            ok = false;
        }
    }
    ShutdownDevices();
    activeBackend = nullptr;
    return ok ? 0 : 1;
}
