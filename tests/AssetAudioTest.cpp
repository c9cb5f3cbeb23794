// The sounds and songs of the default asset pack, loaded by the names the game uses and played
// through the headless platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Devices.h"
#include "media/Music.h"
#include "media/Sound.h"
#include "platform/SoundBuffer.h"
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

}  // namespace
