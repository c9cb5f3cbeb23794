// Wave files as the game's sound loader reads them, and the sound slots played through the headless
// platform, whose audio is rendered offline as its clock moves.
#include <dlfcn.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/Devices.h"
#include "media/Sound.h"
#include "platform/sound/AudioMixer.h"
#include "platform/sound/SoundBuffer.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/TestFiles.h"

namespace {
// Non-zero: every allocation of at least this many bytes fails, as with no memory left.
std::atomic<size_t> failAllocationsFrom{0};
}  // namespace

// The test program's allocation function: the usual one (the sanitizers' in their builds), which
// it asks by name, unless failAllocationsFrom says no.
void* operator new(std::size_t size) {
    const size_t limit = failAllocationsFrom.load(std::memory_order_relaxed);
    if (limit != 0 && size >= limit) throw std::bad_alloc();
    using Allocation = void* (*)(std::size_t);
    static const auto usual = reinterpret_cast<Allocation>(dlsym(RTLD_NEXT, "_Znwm"));
    return usual(size);
}

namespace {

// While one lives, allocations of at least `bytes` fail.
class AllocationsFail {
public:
    explicit AllocationsFail(size_t bytes) { failAllocationsFrom = bytes; }
    ~AllocationsFail() { failAllocationsFrom = 0; }
    AllocationsFail(const AllocationsFail&) = delete;
    AllocationsFail& operator=(const AllocationsFail&) = delete;
};

// A field of /proc/self/status in kB: "VmRSS" (resident now) or "VmHWM" (its peak).
long StatusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// Starts the peak of the resident set afresh from what is resident now.
bool ResetPeakResidentSet() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return static_cast<bool>(clear);
}

constexpr int Rate = 48000;
constexpr double Pi = 3.14159265358979323846;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// A chunk with its pad byte; declared stands in for the true size when it is not negative.
std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body,
                           int64_t declared = -1) {
    std::vector<uint8_t> out(id, id + 4);
    Put32(out,
          declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(body.size()));
    Append(out, body);
    if (body.size() % 2 == 1) out.push_back(0);
    return out;
}

std::vector<uint8_t> Riff(const std::vector<uint8_t>& chunks, const char* form = "WAVE",
                          int64_t declared = -1) {
    std::vector<uint8_t> body(form, form + 4);
    Append(body, chunks);
    return Chunk("RIFF", body, declared);
}

struct Format {
    uint16_t tag = 1;
    uint16_t channels = 1;
    uint32_t rate = Rate;
    uint16_t bits = 16;
    int recordBytes = 16;  // 16, 18, or more with extra bytes
};

std::vector<uint8_t> FormatChunk(const Format& f) {
    std::vector<uint8_t> body;
    const uint16_t block = static_cast<uint16_t>(f.channels * f.bits / 8);
    Put16(body, f.tag);
    Put16(body, f.channels);
    Put32(body, f.rate);
    Put32(body, f.rate * block);
    Put16(body, block);
    Put16(body, f.bits);
    if (f.recordBytes >= 18) Put16(body, static_cast<uint32_t>(f.recordBytes - 18));
    while (static_cast<int>(body.size()) < f.recordBytes) body.push_back(0xAB);
    return Chunk("fmt ", body);
}

// Samples of one cosine per channel (the first sample at its peak, so a sound starts loud).
std::vector<uint8_t> Tone(const Format& f, double seconds, double leftHz, double rightHz,
                          double amplitude) {
    std::vector<uint8_t> out;
    const int frames = static_cast<int>(std::lround(seconds * f.rate));
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < f.channels; ++c) {
            const double hz = c == 0 ? leftHz : rightHz;
            const double v = amplitude * std::cos(2 * Pi * hz * i / f.rate);
            if (f.bits == 8) {
                out.push_back(static_cast<uint8_t>(128 + std::lround(v * 127)));
            } else {
                Put16(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))));
            }
        }
    }
    return out;
}

std::vector<uint8_t> WaveFile(const Format& f, const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> chunks = FormatChunk(f);
    Append(chunks, Chunk("data", samples));
    return Riff(chunks);
}

// Upward zero crossings of one channel.
int CountCrossings(const std::vector<int16_t>& audio, size_t first, size_t last, int channel) {
    int count = 0;
    for (size_t i = first + 1; i < last; ++i) {
        if (audio[(i - 1) * 2 + channel] < 0 && audio[i * 2 + channel] >= 0) ++count;
    }
    return count;
}

// Stretches of sound as [first frame, end frame) from frame `from` on; quiet gaps shorter than
// 5 ms (a sine passing through zero) don't split a stretch.
std::vector<std::pair<size_t, size_t>> SoundingStretches(const std::vector<int16_t>& audio,
                                                         size_t from) {
    std::vector<std::pair<size_t, size_t>> stretches;
    const size_t frames = audio.size() / 2;
    const size_t gap = Rate / 200;
    size_t i = from;
    while (i < frames) {
        if (audio[i * 2] == 0 && audio[i * 2 + 1] == 0) {
            ++i;
            continue;
        }
        const size_t start = i;
        size_t lastLoud = i;
        while (i < frames && i - lastLoud < gap) {
            if (audio[i * 2] != 0 || audio[i * 2 + 1] != 0) lastLoud = i;
            ++i;
        }
        stretches.push_back({start, lastLoud + 1});
    }
    return stretches;
}

int PeakOf(const std::vector<int16_t>& audio, size_t first, size_t last) {
    int peak = 0;
    for (size_t i = first * 2; i < last * 2 && i < audio.size(); ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(audio[i])));
    }
    return peak;
}

class WaveSoundTest : public ::testing::Test {
protected:
    WaveSoundTest() : session(true) { session.backend.captureAudio = true; }
    ~WaveSoundTest() override { ReleaseSound(slot); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = folder.PathOf(name);
        WriteBytes(path, bytes);
        return path;
    }
    // The frame the next rendered audio goes to.
    size_t Now() const { return session.backend.audio.size() / 2; }
    void AdvanceMs(uint64_t ms) { session.backend.Advance(ms * 1000); }
    const std::vector<int16_t>& Audio() const { return session.backend.audio; }
    std::vector<HeadlessBackend::MessageBoxRecord>& Boxes() { return session.backend.messageBoxes; }
    size_t VoiceCount() const { return soundDevice->mixer.voices.size(); }

    HeadlessSession session;
    TemporaryFolder folder;
    SoundBuffer* slot = nullptr;
};

TEST_F(WaveSoundTest, UsualLayoutsLoadAndPlayTheirSamplesUnchanged) {
    // At the mixer's own rate a mono sound comes out unchanged on both sides, which shows the
    // samples were taken from the right place in the file.
    Format f;
    const std::vector<uint8_t> samples = Tone(f, 0.05, 1000, 1000, 0.5);
    std::vector<uint8_t> listFirst = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 1, 0, 0,
                                                    0, 'x'});  // odd size: a pad byte follows
    Append(listFirst, FormatChunk(f));
    Append(listFirst, Chunk("fact", {1, 2, 3, 4}));
    Append(listFirst, Chunk("data", samples));
    Format eighteen = f;
    eighteen.recordBytes = 18;
    Format longer = f;
    longer.recordBytes = 22;
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
        {"16-byte format record", WaveFile(f, samples)},
        {"18-byte format record", WaveFile(eighteen, samples)},
        {"22-byte format record", WaveFile(longer, samples)},
        {"list chunk before the format", Riff(listFirst)},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        LoadWaveSound(Write("a.wav", bytes).c_str(), slot);
        EXPECT_TRUE(Boxes().empty());
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->bytes, samples);
        const size_t start = Now();
        PlaySoundFromStart(slot);
        AdvanceMs(60);
        for (size_t i = 0; i < samples.size() / 2; ++i) {
            const auto expected = static_cast<int16_t>(samples[i * 2] | (samples[i * 2 + 1] << 8));
            ASSERT_EQ(Audio()[(start + i) * 2], expected) << "frame " << i;
            ASSERT_EQ(Audio()[(start + i) * 2 + 1], expected) << "frame " << i;
        }
        EXPECT_EQ(PeakOf(Audio(), start + samples.size() / 2, Now()), 0);
        Boxes().clear();
    }
}

TEST_F(WaveSoundTest, EachFailureShowsItsBoxAndLeavesTheSlotAsItWas) {
    Format f;
    const std::vector<uint8_t> samples = Tone(f, 0.01, 500, 500, 0.5);
    const std::vector<uint8_t> format = FormatChunk(f);
    const std::vector<uint8_t> data = Chunk("data", samples);
    Format eighteen = f;
    eighteen.recordBytes = 18;
    const std::vector<uint8_t> format18 = FormatChunk(eighteen);
    auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        Append(a, b);
        return a;
    };
    Format floating = f;
    floating.tag = 3;
    floating.bits = 32;
    Format extensible = f;
    extensible.tag = 0xFFFE;
    std::vector<uint8_t> cutFormat = Riff(join(format, data));
    cutFormat.resize(12 + 8 + 10);  // the file ends 10 bytes into the format chunk
    std::vector<uint8_t> formatAtEnd = Riff(format);  // 16 bytes, then the file ends
    // A RIFF chunk whose size covers the format chunk only: the data lies outside it.
    const std::vector<uint8_t> shortForm =
        Riff(join(format, data), "WAVE", static_cast<int64_t>(4 + format.size()));

    const std::vector<std::pair<std::vector<uint8_t>, const char*>> cases = {
        {{}, "First descend failed"},
        {{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, "First descend failed"},
        {Riff(join(format, data), "AVI "), "First descend failed"},
        {Chunk("JUNK", {1, 2, 3}), "First descend failed"},
        {Riff(data), "Second descend failed"},
        {Riff(join(Chunk("LIST", {'I', 'N', 'F', 'O'}), data)), "Second descend failed"},
        {formatAtEnd, "mmioRead() failed"},
        {cutFormat, "mmioRead() failed"},
        {WaveFile(floating, samples), "Not WAVE_FORMAT_PCM format"},
        {WaveFile(extensible, samples), "Not WAVE_FORMAT_PCM format"},
        {Riff(join(format, Chunk("fact", {0, 0, 0, 0}))), "Third descend failed"},
        {Riff(join(data, format18)), "Third descend failed"},
        {shortForm, "Third descend failed"},
    };
    SoundBuffer* held = nullptr;
    LoadWaveSound(Write("good.wav", WaveFile(f, samples)).c_str(), held);
    ASSERT_NE(held, nullptr);
    int index = 0;
    for (const auto& [bytes, text] : cases) {
        SCOPED_TRACE(std::string(text) + ", case " + std::to_string(index++));
        Boxes().clear();
        slot = held;
        LoadWaveSound(Write("bad.wav", bytes).c_str(), slot);
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].caption, "Error");
        EXPECT_EQ(Boxes()[0].text, text);
        EXPECT_EQ(slot, held);
    }
    Boxes().clear();
    LoadWaveSound(folder.PathOf("missing.wav").c_str(), slot);
    LoadWaveSound(folder.path.c_str(), slot);  // a folder, not a file
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].caption, "Error");
    EXPECT_EQ(Boxes()[0].text, "Could not open .wav file");
    EXPECT_EQ(Boxes()[1].text, "Could not open .wav file");
    EXPECT_EQ(slot, held);
    EXPECT_EQ(VoiceCount(), 1u);
    // The sound that stayed still plays.
    const size_t start = Now();
    PlaySoundFromStart(slot);
    AdvanceMs(5);
    EXPECT_GT(PeakOf(Audio(), start, Now()), 10000);
}

TEST_F(WaveSoundTest, ABufferThatCannotBeMadeEmptiesTheSlot) {
    Format f;
    Format threeChannels = f;
    threeChannels.channels = 3;
    Format twelveBits = f;
    twelveBits.bits = 12;
    Format noRate = f;
    noRate.rate = 0;
    Format wrongBlock = f;
    wrongBlock.bits = 8;  // the block size written below is for 16 bits
    std::vector<uint8_t> wrongBlockChunk = FormatChunk(wrongBlock);
    wrongBlockChunk[8 + 12] = 2;
    Append(wrongBlockChunk, Chunk("data", std::vector<uint8_t>(100, 0x80)));
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"empty data chunk", WaveFile(f, {})},
        {"three channels", WaveFile(threeChannels, std::vector<uint8_t>(60, 0))},
        {"12 bits", WaveFile(twelveBits, std::vector<uint8_t>(60, 0))},
        {"0 frames a second", WaveFile(noRate, std::vector<uint8_t>(60, 0))},
        {"block size not of the format", Riff(wrongBlockChunk)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        LoadWaveSound(Write("good.wav", WaveFile(f, Tone(f, 0.01, 500, 500, 0.5))).c_str(), slot);
        ASSERT_NE(slot, nullptr);
        PlaySoundFromStart(slot);
        Boxes().clear();
        LoadWaveSound(Write("bad.wav", bytes).c_str(), slot);
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].caption, "Error");
        EXPECT_EQ(Boxes()[0].text, "CreateSoundBuffer() failed");
        EXPECT_EQ(slot, nullptr);
        EXPECT_EQ(VoiceCount(), 0u);  // the old buffer went, and nothing sounds
        const size_t start = Now();
        AdvanceMs(20);
        EXPECT_EQ(PeakOf(Audio(), start, Now()), 0);
    }
}

TEST_F(WaveSoundTest, AGibibyteOfDataIsRefusedAtOnceWithoutBeingRead) {
    // A file that really is 1 GiB long, nearly all of it a hole, whose data chunk says so: what a
    // damaged or hostile download gives.
    Format f;
    constexpr uint32_t Gibibyte = uint32_t{1} << 30;
    std::vector<uint8_t> chunks = FormatChunk(f);
    Append(chunks, Chunk("data", {}, Gibibyte));
    const std::vector<uint8_t> head = Riff(chunks, "WAVE", 4 + chunks.size() + Gibibyte);
    const std::string path = Write("huge.wav", head);
    std::filesystem::resize_file(path, head.size() + Gibibyte);
    LoadWaveSound(Write("good.wav", WaveFile(f, Tone(f, 0.01, 500, 500, 0.5))).c_str(), slot);
    ASSERT_NE(slot, nullptr);
    Boxes().clear();

    ASSERT_TRUE(ResetPeakResidentSet());
    const long residentBefore = StatusKilobytes("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    LoadWaveSound(path.c_str(), slot);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    const long peakGrowth = StatusKilobytes("VmHWM") - residentBefore;

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Error");
    EXPECT_EQ(Boxes()[0].text, "CreateSoundBuffer() failed");
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(VoiceCount(), 0u);
    EXPECT_LT(took.count(), 50000) << "microseconds to load";
    ASSERT_GE(residentBefore, 0);
    EXPECT_LT(peakGrowth, 8 * 1024) << "kB more resident at the peak of the load";
}

TEST_F(WaveSoundTest, MemoryRunningOutGivesTheBoxOfItsStepAndNeverEndsTheGame) {
    // 8-bit mono at 6000 frames a second: the mixer's copy (48 kHz stereo, 16 bits) is 32 times
    // the file's bytes, so a limit between the two fails that copy, made at Unlock, alone.
    Format f;
    f.bits = 8;
    f.rate = 6000;
    const std::vector<uint8_t> samples = Tone(f, 0.5, 440, 440, 0.5);
    const std::string path = Write("tone.wav", WaveFile(f, samples));
    LoadWaveSound(path.c_str(), slot);
    ASSERT_NE(slot, nullptr);
    Boxes().clear();
    {
        AllocationsFail noMemory(samples.size() * 4);
        LoadWaveSound(path.c_str(), slot);
    }
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Error");
    EXPECT_EQ(Boxes()[0].text, "Unlock() failed");
    // The new buffer stays in the slot with the file's bytes, and plays nothing.
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->bytes, samples);
    EXPECT_EQ(VoiceCount(), 1u);
    size_t start = Now();
    PlaySoundFromStart(slot);
    AdvanceMs(50);
    EXPECT_EQ(PeakOf(Audio(), start, Now()), 0);

    // Not even the file's bytes can be had: no buffer at all.
    Boxes().clear();
    {
        AllocationsFail noMemory(samples.size());
        LoadWaveSound(path.c_str(), slot);
    }
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "CreateSoundBuffer() failed");
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(VoiceCount(), 0u);

    // With memory back, the same file loads and is heard.
    Boxes().clear();
    LoadWaveSound(path.c_str(), slot);
    EXPECT_TRUE(Boxes().empty());
    ASSERT_NE(slot, nullptr);
    start = Now();
    PlaySoundFromStart(slot);
    AdvanceMs(50);
    EXPECT_GT(PeakOf(Audio(), start, Now()), 10000);
}

TEST_F(WaveSoundTest, TouchingTheMixerWithoutTheAudioLockFailsTheTest) {
    // A slip on purpose: the check that every touch of the mixer's state makes, with no lock held,
    // as in a SoundBuffer::Stop whose lock was left out.
    EXPECT_NONFATAL_FAILURE(CheckAudioLocked("SoundBuffer::Stop"),
                            "SoundBuffer::Stop touched the mixer's state without the audio lock");
    {
        AudioLock outer;
        { AudioLock inner; }
        CheckAudioLocked("SoundBuffer::Stop");  // the outer lock is still held: no failure
    }
    EXPECT_NONFATAL_FAILURE(CheckAudioLocked("SoundBuffer::Play"),
                            "SoundBuffer::Play touched the mixer's state without the audio lock");
}

TEST_F(WaveSoundTest, SizesThatRunPastTheFileAreCutToIt) {
    Format f;
    const std::vector<uint8_t> samples = Tone(f, 0.02, 700, 700, 0.5);  // 960 frames
    std::vector<uint8_t> chunks = FormatChunk(f);
    Append(chunks, Chunk("data", samples, 0xFFFFFFF0));
    const std::vector<uint8_t> lying = Riff(chunks, "WAVE", 0xFFFFFFFF);
    // A data chunk whose file ends partway through it, and partway through a 16-bit frame.
    std::vector<uint8_t> cut = WaveFile(f, samples);
    cut.resize(cut.size() - 501);
    Format eightBit = f;
    eightBit.bits = 8;
    std::vector<uint8_t> cutEight = WaveFile(eightBit, Tone(eightBit, 0.02, 700, 700, 0.5));
    cutEight.resize(cutEight.size() - 300);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        size_t bufferBytes;
        size_t frames;  // what plays before silence
    };
    const std::vector<Case> cases = {
        {"sizes far beyond the file", lying, samples.size(), samples.size() / 2},
        {"16-bit data cut mid-frame", cut, samples.size() - 501, (samples.size() - 501) / 2},
        {"8-bit data cut short", cutEight, 960 - 300, 660},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Boxes().clear();
        LoadWaveSound(Write("a.wav", c.bytes).c_str(), slot);
        EXPECT_TRUE(Boxes().empty());
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->bytes.size(), c.bufferBytes);
        const size_t start = Now();
        PlaySoundFromStart(slot);
        AdvanceMs(50);
        const auto stretches = SoundingStretches(Audio(), start);
        ASSERT_EQ(stretches.size(), 1u);
        EXPECT_EQ(stretches[0].first, start);
        // The last frames may pass through zero; nothing sounds after the data that is there.
        EXPECT_LE(stretches[0].second - start, c.frames);
        EXPECT_GE(stretches[0].second - start, c.frames - 2);
    }
}

TEST_F(WaveSoundTest, EightBitAndStereoSoundsPlayAtTheirPitchAndLength) {
    struct Case {
        const char* name;
        Format format;
        double seconds;
        double leftHz;
        double rightHz;
    };
    Format eightBit;
    eightBit.bits = 8;
    eightBit.rate = 22050;
    Format stereo;
    stereo.channels = 2;
    stereo.rate = 44100;
    Format stereoEight;
    stereoEight.channels = 2;
    stereoEight.bits = 8;
    stereoEight.rate = 11025;
    const std::vector<Case> cases = {
        {"8-bit mono at 22050 Hz", eightBit, 1.0, 440, 440},
        {"16-bit stereo at 44100 Hz", stereo, 0.5, 440, 660},
        {"8-bit stereo at 11025 Hz", stereoEight, 1.0, 300, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadWaveSound(Write("tone.wav",
                            WaveFile(c.format, Tone(c.format, c.seconds, c.leftHz, c.rightHz, 0.7)))
                          .c_str(),
                      slot);
        ASSERT_NE(slot, nullptr);
        const size_t start = Now();
        PlaySoundFromStart(slot);
        AdvanceMs(static_cast<uint64_t>(c.seconds * 1000) + 100);
        const auto stretches = SoundingStretches(Audio(), start);
        ASSERT_EQ(stretches.size(), 1u);
        const double length = static_cast<double>(stretches[0].second - stretches[0].first) / Rate;
        EXPECT_NEAR(length, c.seconds, 0.001);
        const double leftHz = CountCrossings(Audio(), start, stretches[0].second, 0) / c.seconds;
        const double rightHz = CountCrossings(Audio(), start, stretches[0].second, 1) / c.seconds;
        EXPECT_NEAR(leftHz, c.leftHz, 2.5);
        EXPECT_NEAR(rightHz, c.rightHz, 2.5);
        EXPECT_NEAR(PeakOf(Audio(), start, stretches[0].second), 0.7 * 32767, 0.02 * 32767);
    }
}

TEST_F(WaveSoundTest, PlayingIgnoresCallsWhileTheSoundPlaysAndStopRestarts) {
    Format f;
    LoadWaveSound(Write("second.wav", WaveFile(f, Tone(f, 1.0, 440, 440, 0.5))).c_str(), slot);
    ASSERT_NE(slot, nullptr);
    // Four calls 600 ms apart on a sound of 1 s: the 2nd and 4th come while it plays.
    const size_t start = Now();
    for (int call = 0; call < 4; ++call) {
        PlaySoundFromStart(slot);
        EXPECT_EQ(IsSoundPlaying(slot), 1);
        AdvanceMs(600);
        EXPECT_EQ(IsSoundPlaying(slot), call == 0 || call == 2 ? 1 : 0) << "call " << call;
    }
    AdvanceMs(400);
    const auto stretches = SoundingStretches(Audio(), start);
    ASSERT_EQ(stretches.size(), 2u);
    EXPECT_EQ(stretches[0].first, start);
    EXPECT_EQ(stretches[1].first, start + Rate * 12 / 10);
    EXPECT_EQ(stretches[0].second - stretches[0].first, static_cast<size_t>(Rate));
    EXPECT_EQ(stretches[1].second - stretches[1].first, static_cast<size_t>(Rate));

    // Stopped partway, it is silent at once; played again, it starts from its beginning.
    PlaySoundFromStart(slot);
    AdvanceMs(300);
    StopSound(slot);
    EXPECT_EQ(IsSoundPlaying(slot), 0);
    const size_t stopped = Now();
    AdvanceMs(100);
    EXPECT_EQ(PeakOf(Audio(), stopped, Now()), 0);
    StopSound(slot);  // not playing: nothing changes
    const size_t third = Now();
    PlaySoundFromStart(slot);
    AdvanceMs(1100);
    for (size_t i = 0; i < static_cast<size_t>(Rate); i += 997) {
        ASSERT_EQ(Audio()[(third + i) * 2], Audio()[(start + i) * 2]) << "frame " << i;
    }
    EXPECT_EQ(IsSoundPlaying(slot), 0);
}

TEST_F(WaveSoundTest, VolumeIsClampedAndScalesTheSound) {
    Format f;
    LoadWaveSound(Write("tone.wav", WaveFile(f, Tone(f, 2.0, 440, 440, 0.8))).c_str(), slot);
    ASSERT_NE(slot, nullptr);
    int32_t volume = 1;
    auto volumeNow = [&] {
        slot->GetVolume(&volume);
        return volume;
    };
    EXPECT_EQ(volumeNow(), 0);
    const int full = static_cast<int>(std::lround(0.8 * 32767));
    size_t start = Now();
    PlaySoundFromStart(slot);

    AdjustSoundVolume(slot, -20000);
    EXPECT_EQ(volumeNow(), -10000);
    AdvanceMs(100);
    EXPECT_EQ(PeakOf(Audio(), start, Now()), 0);
    EXPECT_EQ(IsSoundPlaying(slot), 1);  // silent, still playing

    AdjustSoundVolume(slot, 9800);
    EXPECT_EQ(volumeNow(), -200);
    AdjustSoundVolume(slot, 500);
    EXPECT_EQ(volumeNow(), 0);
    start = Now();
    AdvanceMs(100);
    EXPECT_EQ(PeakOf(Audio(), start, Now()), full);

    // -6 dB halves the amplitude.
    AdjustSoundVolume(slot, -600);
    EXPECT_EQ(volumeNow(), -600);
    start = Now();
    AdvanceMs(100);
    EXPECT_NEAR(PeakOf(Audio(), start, Now()), full * std::pow(10.0, -0.3), 2.0);
}

TEST_F(WaveSoundTest, ASlotHoldsOneBufferAndAReloadSilencesTheOld) {
    Format f;
    const std::string path = Write("tone.wav", WaveFile(f, Tone(f, 1.0, 440, 440, 0.5)));
    LoadWaveSound(path.c_str(), slot);
    PlaySoundFromStart(slot);
    AdvanceMs(100);
    LoadWaveSound(path.c_str(), slot);
    EXPECT_EQ(VoiceCount(), 1u);
    EXPECT_EQ(IsSoundPlaying(slot), 0);
    const size_t start = Now();
    AdvanceMs(100);
    EXPECT_EQ(PeakOf(Audio(), start, Now()), 0);
    ReleaseSound(slot);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(VoiceCount(), 0u);
    // An empty slot does nothing and says it is not playing.
    PlaySoundFromStart(slot);
    StopSound(slot);
    AdjustSoundVolume(slot, -100);
    EXPECT_EQ(IsSoundPlaying(slot), 0);
}

TEST_F(WaveSoundTest, WindowsStyleNamesAreFoundInTheWorkingDirectory) {
    Format f;
    Write("Sounds\\beep.wav", WaveFile(f, Tone(f, 0.1, 440, 440, 0.5)));
    WorkingDirectory here(folder.path);
    LoadWaveSound("Sounds\\beep.wav", slot);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_NE(slot, nullptr);
}

TEST(WaveSoundSilentMachineTest, WithoutAnAudioDeviceSoundsLoadQuietlyAndNeverPlay) {
    HeadlessSession session(false);
    TemporaryFolder folder;
    Format f;
    const std::string path = folder.PathOf("tone.wav");
    WriteBytes(path, WaveFile(f, Tone(f, 0.5, 440, 440, 0.5)));
    SoundBuffer* slot = nullptr;
    LoadWaveSound(path.c_str(), slot);
    // No box for the missing device: only a broken file is worth one.
    EXPECT_TRUE(session.backend.messageBoxes.empty());
    ASSERT_NE(slot, nullptr);
    PlaySoundFromStart(slot);
    EXPECT_EQ(IsSoundPlaying(slot), 0);
    AdjustSoundVolume(slot, -300);
    StopSound(slot);
    session.backend.Advance(100000);
    LoadWaveSound(path.c_str(), slot);
    EXPECT_TRUE(session.backend.messageBoxes.empty());
    ReleaseSound(slot);
    EXPECT_EQ(slot, nullptr);
    LoadWaveSound(folder.PathOf("missing.wav").c_str(), slot);
    ASSERT_EQ(session.backend.messageBoxes.size(), 1u);
    EXPECT_EQ(session.backend.messageBoxes[0].text, "Could not open .wav file");
}

}  // namespace
