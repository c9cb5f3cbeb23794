// The sounds and songs of the default asset pack, loaded by the names the game uses and played
// through the headless platform, and from a real audio thread (the AudioThread tests, which the
// ThreadSanitizer build runs).
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Devices.h"
#include "media/Music.h"
#include "media/Sound.h"
#include "platform/sdl/SdlAudio.h"
#include "platform/sound/SoundBuffer.h"
#include "tests/support/HeadlessSession.h"

namespace {

const char* const Sounds[] = {"Sounds\\flurb!_high.wav", "Sounds\\room_clean.wav",
                              "Sounds\\you_lose.wav", "Sounds\\gun_shot.wav"};

struct Song {
    const char* path;
    double tempo;  // what the screen playing it sends
};
const Song Songs[] = {
    {"Music\\groove.mid", 95},  {"Music\\carribean.mid", 110},   {"Music\\stepitup.mid", 100},
    {"Music\\hectic.mid", 120}, {"Music\\snazzyjazzy.mid", 120}, {"Music\\doublebass.mid", 120},
};

double RmsDecibels(const std::vector<int16_t>& audio, size_t firstSample) {
    double sum = 0;
    for (size_t i = firstSample; i < audio.size(); ++i)
        sum += static_cast<double>(audio[i]) * audio[i];
    const double count = static_cast<double>(audio.size() - firstSample);
    return 10 * std::log10(std::max(sum / count, 1e-9) / (32768.0 * 32768.0));
}

TEST(AssetAudioTest, EverySoundLoadsWithoutABoxAndIsHeard) {
    HeadlessSession session(true);
    session.backend.captureAudio = true;
    for (const char* path : Sounds) {
        SCOPED_TRACE(path);
        SoundBuffer* slot = nullptr;
        LoadWaveSound(path, slot);
        EXPECT_TRUE(session.backend.messageBoxes.empty());
        ASSERT_NE(slot, nullptr);
        const size_t start = session.backend.audio.size();
        PlaySoundFromStart(slot);
        session.backend.Advance(100000);
        EXPECT_EQ(IsSoundPlaying(slot), 1);
        // Levelled by loudness, a sound may begin softly: its first 400 ms are looked at.
        session.backend.Advance(300000);
        int peak = 0;
        for (size_t i = start; i < session.backend.audio.size(); ++i) {
            peak = std::max(peak, std::abs(static_cast<int>(session.backend.audio[i])));
        }
        EXPECT_GT(peak, 3000);
        ReleaseSound(slot);
        session.backend.messageBoxes.clear();
    }
}

TEST(AssetAudioTest, EverySongLoadsAndStillPlaysAfterThirtySeconds) {
    HeadlessSession session(true);
    for (const Song& song : Songs) {
        SCOPED_TRACE(song.path);
        wchar_t wide[260];
        ConvertToWide(song.path, wide, 260);
        LoadMusicSegment(wide);
        ASSERT_NE(currentSegment, nullptr);
        SetMusicTempo(song.tempo);
        PlayMusicSegment();
        session.backend.captureAudio = false;
        session.backend.Advance(29000000);
        session.backend.captureAudio = true;
        const size_t start = session.backend.audio.size();
        session.backend.Advance(1000000);
        EXPECT_TRUE(musicPerformance->IsPlaying());
        // Clearly heard, under the sound effects: about -20 dBFS.
        const double level = RmsDecibels(session.backend.audio, start);
        EXPECT_GT(level, -32.0);
        EXPECT_LT(level, -10.0);
        session.backend.audio.clear();
    }
}

// The headless platform with a real audio thread: SDL's, whose dummy driver pulls the mixer in
// real time with no device, locked the way the real platform locks it.
class AudioThreadBackend : public HeadlessBackend {
public:
    AudioThreadBackend() {
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        // Short periods, so that the audio thread renders between the steps below (Settle).
        audio.bufferFrames = 1024;
        audioAvailable = true;
        // The soundfont loads on a thread of its own, as in the game.
        clockRunsByItself = true;
    }
    ~AudioThreadBackend() override {
        audio.Close();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    bool OpenAudio(AudioMixer& mixer, int sampleRate) override {
        return audio.Open(mixer, sampleRate);
    }
    void CloseAudio() override { audio.Close(); }
    void LockAudio() override {
        audio.Lock();
        HeadlessBackend::LockAudio();
    }
    void UnlockAudio() override {
        HeadlessBackend::UnlockAudio();
        audio.Unlock();
    }

    SdlAudio audio;
};

// The devices started in the game's folder on that platform; the test shuts them down itself.
class AudioThread : public ::testing::Test {
protected:
    AudioThread() : folder(FLURBER_RUN_DIR) {
        activeBackend = &backend;
        backend.CreateMainWindow("The Flurber", 312, 234, 400, 300);
        started = StartDevices();
    }
    ~AudioThread() override {
        ShutdownDevices();
        activeBackend = nullptr;
    }

    // The main thread keeps off the lock for longer than the audio thread's period (1024 frames,
    // 21 ms), so that the thread renders in between: a step that touched the mixer's state
    // without the lock is then unordered with that rendering, which is what ThreadSanitizer tells.
    static void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }
    // Waits up to `seconds` of real time for the audio thread to make the condition true.
    static bool WaitFor(double seconds, const std::function<bool()>& condition) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Settle();
        }
        return true;
    }
    // As a screen starts its music: load, tempo, play.
    static void StartSong(const Song& song) {
        wchar_t wide[260];
        ConvertToWide(song.path, wide, 260);
        LoadMusicSegment(wide);
        Settle();
        SetMusicTempo(song.tempo);
        Settle();
        PlayMusicSegment();
        Settle();
    }

    WorkingDirectory folder;
    AudioThreadBackend backend;
    bool started = false;
};

TEST_F(AudioThread, SoundsAndSongsChangeWhileTheMixerRenders) {
    ASSERT_TRUE(started);
    ASSERT_TRUE(soundDevice->opened) << SDL_GetError();
    SoundBuffer* slots[2] = {nullptr, nullptr};
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        SoundBuffer*& slot = slots[round % 2];
        const Song& song = Songs[round / 3 % 6];
        // A slot that holds a sound, playing or not, is loaded again.
        LoadWaveSound(Sounds[round % 4], slot);
        ASSERT_NE(slot, nullptr);
        Settle();
        PlaySoundFromStart(slot);
        Settle();
        AdjustSoundVolume(slot, -300 * (round % 3));
        Settle();
        if (round % 3 == 0) StartSong(song);
        // The game's one rise of the tempo in a room.
        SetMusicTempo(song.tempo + (round % 3 == 2 ? 20 : 0));
        Settle();
        IsSoundPlaying(slots[0]);
        Settle();
        musicPerformance->IsPlaying();
        Settle();
        if (round % 4 == 1) {
            StopSound(slot);
            Settle();
        }
        if (round % 3 == 2) {
            StopMusic();
            Settle();
        }
        if (round % 5 == 4) {
            ReleaseSound(slots[0]);
            Settle();
        }
    }
    ReleaseSound(slots[0]);
    ReleaseSound(slots[1]);

    // Only the audio thread moves a sound to its end and the music through its song.
    LoadWaveSound("Sounds\\gun_shot.wav", slots[0]);
    PlaySoundFromStart(slots[0]);
    EXPECT_EQ(IsSoundPlaying(slots[0]), 1);
    EXPECT_TRUE(WaitFor(5, [&] { return IsSoundPlaying(slots[0]) == 0; }))
        << "the sound never ended";
    ReleaseSound(slots[0]);
    StartSong(Songs[0]);
    EXPECT_TRUE(WaitFor(10, [] {
        // As a screen does on every frame: the song starts once its instruments are in.
        SetMusicTempo(Songs[0].tempo);
        AudioLock lock;
        return musicPerformance->lastTick > 0;
    })) << "the music never moved on";
    EXPECT_TRUE(musicPerformance->IsPlaying());
    StopMusic();
    EXPECT_FALSE(musicPerformance->IsPlaying());
}

TEST_F(AudioThread, DevicesShutDownWhileSoundAndMusicPlay) {
    ASSERT_TRUE(started);
    ASSERT_TRUE(soundDevice->opened) << SDL_GetError();
    SoundBuffer* released = nullptr;
    SoundBuffer* heldPastShutdown = nullptr;
    LoadWaveSound("Sounds\\room_clean.wav", released);
    LoadWaveSound("Sounds\\you_lose.wav", heldPastShutdown);
    StartSong(Songs[3]);
    PlaySoundFromStart(released);
    PlaySoundFromStart(heldPastShutdown);
    Settle();
    EXPECT_EQ(IsSoundPlaying(released), 1);
    EXPECT_TRUE(musicPerformance->IsPlaying());
    // As a screen goes before the devices: one sound released while it plays.
    ReleaseSound(released);
    Settle();
    ShutdownDevices();
    // A holder that outlives the device finds its sound silent, and can still release it.
    EXPECT_EQ(IsSoundPlaying(heldPastShutdown), 0);
    PlaySoundFromStart(heldPastShutdown);
    EXPECT_EQ(IsSoundPlaying(heldPastShutdown), 0);
    ReleaseSound(heldPastShutdown);
}

}  // namespace
