#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "app/Devices.h"
#include "media/Display.h"
#include "platform/System.h"
#include "platform/sdl/FramePacer.h"
#include "tests/support/HeadlessSession.h"
#include "tests/support/TestFiles.h"

namespace {

class DisplayTest : public ::testing::Test {
protected:
    HeadlessSession session;
    TemporaryFolder folder;
    WorkingDirectory inFolder{folder.path};
};

TEST_F(DisplayTest, LoadsAtOwnSizeWithBackslashPathsAndBothRowOrders) {
    WriteBitmap(folder.PathOf("Graphics\\Sample.bmp"), 3, 2,
                [](int x, int y) { return static_cast<uint32_t>(0x100000 * (y + 1) + x); });
    Surface* slot = nullptr;
    LoadBitmapSurface("Graphics\\Sample.bmp", slot);
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(3, slot->width);
    EXPECT_EQ(2, slot->height);
    EXPECT_EQ(0x100000u, slot->Pixel(0, 0));
    EXPECT_EQ(0x200002u, slot->Pixel(2, 1));

    // The same picture stored top-down (negative height) reads the same.
    std::vector<uint8_t> bytes = ReadBytes(folder.PathOf("Graphics\\Sample.bmp"));
    const int32_t negative = -2;
    std::memcpy(&bytes[22], &negative, 4);
    std::vector<uint8_t> flipped(bytes.begin(), bytes.begin() + 54);
    flipped.insert(flipped.end(), bytes.begin() + 54 + 12, bytes.end());
    flipped.insert(flipped.end(), bytes.begin() + 54, bytes.begin() + 54 + 12);
    WriteBytes(folder.PathOf("TopDown.bmp"), flipped);
    Surface* topDown = nullptr;
    LoadBitmapSurface("TopDown.bmp", topDown);
    ASSERT_NE(nullptr, topDown);
    EXPECT_EQ(slot->pixels, topDown->pixels);
    ReleaseSurface(slot);
    ReleaseSurface(topDown);
}

TEST_F(DisplayTest, SlotHoldsOneSurfaceAndBadFilesLeaveItAsItWas) {
    WriteFlatBitmap(folder.PathOf("Red.bmp"), 4, 4, 0xFF0000);
    const int before = Surface::liveCount;
    Surface* slot = nullptr;
    for (int i = 0; i < 10000; ++i) LoadBitmapSurface("Red.bmp", slot);
    EXPECT_EQ(before + 1, Surface::liveCount);
    Surface* held = slot;

    // Missing, not a bitmap, truncated, absurdly large: the slot keeps its picture.
    WriteBytes(folder.PathOf("Text.bmp"), {'h', 'e', 'l', 'l', 'o'});
    std::vector<uint8_t> truncated = ReadBytes(folder.PathOf("Red.bmp"));
    truncated.resize(60);
    WriteBytes(folder.PathOf("Truncated.bmp"), truncated);
    std::vector<uint8_t> huge = ReadBytes(folder.PathOf("Red.bmp"));
    const int32_t side = 1000000;
    std::memcpy(&huge[18], &side, 4);
    std::memcpy(&huge[22], &side, 4);
    WriteBytes(folder.PathOf("Huge.bmp"), huge);
    for (const char* name : {"Missing.bmp", "Text.bmp", "Truncated.bmp", "Huge.bmp"}) {
        LoadBitmapSurface(name, slot);
        EXPECT_EQ(held, slot) << name;
        EXPECT_EQ(0xFF0000u, slot->Pixel(3, 3)) << name;
    }
    EXPECT_EQ(before + 1, Surface::liveCount);

    Surface* empty = nullptr;
    LoadBitmapSurface("Missing.bmp", empty);
    EXPECT_EQ(nullptr, empty);
    ReleaseSurface(slot);
    EXPECT_EQ(before, Surface::liveCount);
}

TEST_F(DisplayTest, FlipShowsTheBackBufferAndSwapsTheImages) {
    HeadlessBackend& backend = session.backend;
    FillSurface(backBuffer, 0x0000FF);
    PresentFrame();
    EXPECT_EQ(0x0000FFu, backend.ScreenPixel(10, 10));

    // Drawn only onto the back buffer: gone from it after the flip, which hands back the old
    // screen.
    FillSurface(backBuffer, 0xFF0000);
    PresentFrame();
    EXPECT_EQ(0xFF0000u, backend.ScreenPixel(10, 10));
    EXPECT_EQ(0x0000FFu, backBuffer->Pixel(10, 10));

    // Drawn onto both: still in the back buffer after the flip.
    Surface* picture = nullptr;
    WriteFlatBitmap(folder.PathOf("Green.bmp"), 10, 10, 0x00FE00);
    LoadBitmapSurface("Green.bmp", picture);
    primarySurface->BltFast(0, 0, picture, nullptr, BltFastNoColorKey);
    EXPECT_EQ(0x00FE00u, backend.ScreenPixel(5, 5)) << "the visible surface shows at once";
    backBuffer->BltFast(0, 0, picture, nullptr, BltFastNoColorKey);
    PresentFrame();
    EXPECT_EQ(0x00FE00u, backBuffer->Pixel(5, 5));
    EXPECT_EQ(0x00FE00u, backend.ScreenPixel(5, 5));

    ClearSurface(backBuffer);
    PresentFrame();
    for (int y = 0; y < 600; y += 50)
        for (int x = 0; x < 800; x += 50) ASSERT_EQ(0u, backend.ScreenPixel(x, y));
    ReleaseSurface(picture);
}

TEST_F(DisplayTest, FlipsArePacedAtSixtyPerSecond) {
    HeadlessBackend& backend = session.backend;
    PresentFrame();
    const uint64_t start = backend.microseconds;
    for (int i = 0; i < 60; ++i) PresentFrame();
    EXPECT_NEAR(1000000.0, static_cast<double>(backend.microseconds - start), 1000.0);
}

// A clock that moves only as the pacer uses it: every read costs a microsecond (a wait that spins
// runs it on), and every sleep wakes 40 microseconds late, as the system's do.
class ManualPacingClock : public PacingClock {
public:
    uint64_t Nanoseconds() override {
        now += 1000;
        ++reads;
        return now;
    }
    void Sleep(uint64_t nanoseconds) override {
        now += nanoseconds + 40000;
        ++sleeps;
    }

    uint64_t now = 5000000000;
    int reads = 0;
    int sleeps = 0;
};

TEST(FramePacing, PicturesGoOutOnTheGridAndFramesStartJustBeforeTheirMoment) {
    constexpr uint64_t Frame = FramePacer::FrameNanoseconds;
    ManualPacingClock clock;
    FramePacer pacer;
    uint64_t firstPresent = 0;
    uint64_t frameStart = clock.now;
    for (int frame = 0; frame < 120; ++frame) {
        SCOPED_TRACE(frame);
        // Frames draw for 0.3 ms, every tenth for 2.5 ms; one holds a timed pause of 200 ms.
        const uint64_t work = frame % 10 == 5 ? 2500000 : 300000;
        clock.now += work;
        if (frame == 60) {
            pacer.PauseBegins(clock);
            clock.now += 200000000;
            pacer.PauseEnds(clock);
        }
        const uint64_t ready = clock.now;
        const int readsBefore = clock.reads;
        pacer.WaitToPresent(clock);
        const uint64_t present = clock.now;
        EXPECT_LE(clock.reads - readsBefore, 103) << "spun for more than a tenth of a millisecond";
        if (frame == 0) firstPresent = present;
        if (frame == 0 || frame == 60) {
            // The first frame and the one with the pause go out as soon as they are ready: no
            // frame waits for a moment that has passed.
            EXPECT_LE(present - ready, 3000u);
        } else {
            // The others exactly on the grid of 1/60 s that the first began, pause or not.
            const uint64_t off = (present - firstPresent) % Frame;
            EXPECT_TRUE(off < 2000 || off > Frame - 2000) << off << " ns off the grid";
        }

        const int sleepsBefore = clock.sleeps;
        const int readsBeforeStart = clock.reads;
        const uint64_t moment = firstPresent + (present - firstPresent + 2000) / Frame * Frame;
        pacer.WaitForNextFrame(clock);
        frameStart = clock.now;
        EXPECT_LE(clock.sleeps - sleepsBefore, 1);
        EXPECT_LE(clock.reads - readsBeforeStart, 3) << "the wait for the next frame spun";
        // The next frame starts as late as it can: by the longest of the last 32 frames and a
        // millisecond before its moment (the pause is no frame's drawing). Before 32 frames were
        // seen, at once.
        const uint64_t lead = frame < 32 ? Frame : 2500000 + FramePacer::Margin;
        const uint64_t start = moment + Frame - lead;
        // A frame that went out after that start has its follower start at once.
        EXPECT_GE(frameStart + 100000, start);
        EXPECT_LE(frameStart, std::max(start, present + 3000) + 60000);
    }
}

// Runs frames that each take cost(frame) to draw, then are presented by display(clock), for
// `seconds`; returns the moments the pictures were handed to the display.
std::vector<uint64_t> RunFrames(FramePacer& pacer, ManualPacingClock& clock, int seconds,
                                const std::function<uint64_t(int)>& cost,
                                const std::function<void(ManualPacingClock&)>& display) {
    std::vector<uint64_t> presents;
    const uint64_t end = clock.now + static_cast<uint64_t>(seconds) * 1000000000;
    for (int frame = 0; clock.now < end; ++frame) {
        clock.now += cost(frame);
        pacer.WaitToPresent(clock);
        presents.push_back(clock.now);
        display(clock);
        pacer.WaitForNextFrame(clock);
    }
    return presents;
}

size_t PresentsInTenSeconds(const std::vector<uint64_t>& presents) {
    const uint64_t end = presents.front() + 10000000000ULL;
    return static_cast<size_t>(std::count_if(presents.begin(), presents.end(),
                                             [end](uint64_t moment) { return moment < end; }));
}

void ReturnsAtOnce(ManualPacingClock&) {}

// A display with vsync: it returns at the screen's next refresh, 60 times a second.
void WaitsForTheScreen(ManualPacingClock& clock) {
    constexpr uint64_t Refresh = FramePacer::FrameNanoseconds;
    clock.now = (clock.now / Refresh + 1) * Refresh;
}

TEST(FramePacing, SixtyPicturesASecondWhateverTheFramesTakeUpToASixtieth) {
    for (const uint64_t milliseconds : {2, 6, 10, 15}) {
        for (const bool jitter : {false, true}) {
            SCOPED_TRACE(testing::Message() << milliseconds << " ms" << (jitter ? ", jitter" : ""));
            ManualPacingClock clock;
            FramePacer pacer;
            uint32_t seed = 12345;
            // With jitter a frame takes from 1.5 ms less to 3 ms more, as a busy machine makes it:
            // frames of 15 ms then often miss their moment.
            const auto cost = [&](int) {
                seed = seed * 1664525u + 1013904223u;
                const uint64_t base = milliseconds * 1000000;
                return jitter ? base - 1500000 + (seed >> 8) % 4500000 : base;
            };
            const std::vector<uint64_t> presents = RunFrames(pacer, clock, 11, cost, ReturnsAtOnce);
            EXPECT_NEAR(600.0, static_cast<double>(PresentsInTenSeconds(presents)), 5.0);
        }
    }
}

TEST(FramePacing, ATwentyMillisecondFrameSlowsThatFrameOnly) {
    constexpr uint64_t Frame = FramePacer::FrameNanoseconds;
    ManualPacingClock clock;
    FramePacer pacer;
    const auto cost = [](int frame) -> uint64_t { return frame == 100 ? 20000000 : 2000000; };
    const std::vector<uint64_t> presents = RunFrames(pacer, clock, 11, cost, ReturnsAtOnce);
    int slow = 0;
    for (size_t i = 1; i < presents.size(); ++i) {
        const uint64_t interval = presents[i] - presents[i - 1];
        if (i == 100) {
            EXPECT_GT(interval, Frame + 15000000) << "the 20 ms frame";
            EXPECT_LT(interval, 2 * Frame + 2000000) << "the 20 ms frame";
        } else if (interval > Frame + 100000) {
            ADD_FAILURE() << "frame " << i << " took " << interval;
            ++slow;
        }
    }
    EXPECT_EQ(0, slow) << "frames other than the 20 ms one went out late";
    EXPECT_NEAR(599.0, static_cast<double>(PresentsInTenSeconds(presents)), 1.0);
}

TEST(FramePacing, ADisplayThatReturnsAtOnceIsNotTakenForVsync) {
    ManualPacingClock clock;
    EXPECT_FALSE(FramePacer::DisplayWaits(clock, [&] { ReturnsAtOnce(clock); }));
    EXPECT_TRUE(FramePacer::DisplayWaits(clock, [&] { WaitsForTheScreen(clock); }));

    const auto cost = [](int) -> uint64_t { return 2000000; };
    // The display reports 60 Hz and its first presents waited, then it stops waiting (vsync
    // turned off in the driver): the clock takes over.
    FramePacer stopsWaiting;
    stopsWaiting.vsync = true;
    std::vector<uint64_t> presents = RunFrames(stopsWaiting, clock, 11, cost, ReturnsAtOnce);
    EXPECT_FALSE(stopsWaiting.vsync);
    EXPECT_NEAR(600.0, static_cast<double>(PresentsInTenSeconds(presents)), 5.0);

    // A display that does wait keeps setting the pace.
    FramePacer waits;
    waits.vsync = true;
    presents = RunFrames(waits, clock, 11, cost, WaitsForTheScreen);
    EXPECT_TRUE(waits.vsync);
    EXPECT_NEAR(600.0, static_cast<double>(PresentsInTenSeconds(presents)), 5.0);
}

TEST_F(DisplayTest, LostDisplaySurfacesAreRestoredAndDrawAgain) {
    PlatformEvent reset;
    reset.type = PlatformEvent::DisplayReset;
    session.backend.PushEvent(reset);
    ::Message message;
    EXPECT_FALSE(PeekMessage(&message));
    EXPECT_TRUE(backBuffer->IsLost());
    EXPECT_TRUE(primarySurface->IsLost());
    FillSurface(backBuffer, 0xFF0000);
    EXPECT_NE(0xFF0000u, backBuffer->Pixel(0, 0));

    RestoreLostSurfaces();
    EXPECT_FALSE(backBuffer->IsLost());
    EXPECT_FALSE(primarySurface->IsLost());
    FillSurface(backBuffer, 0xFF0000);
    PresentFrame();
    EXPECT_EQ(0xFF0000u, session.backend.ScreenPixel(0, 0));
}

TEST_F(DisplayTest, TextIsBlackOnAnOpaqueWhiteBox) {
    FillSurface(backBuffer, 0x0000FF);
    DrawText(backBuffer, 395, 20, "20");
    int white = 0;
    int black = 0;
    for (int y = 20; y < 40; ++y) {
        for (int x = 395; x < 420; ++x) {
            const uint32_t p = backBuffer->Pixel(x, y);
            white += p == 0xFFFFFF;
            black += p == 0x000000;
        }
    }
    EXPECT_GT(white, 100);
    EXPECT_GT(black, 10);
    EXPECT_EQ(0x0000FFu, backBuffer->Pixel(394, 25));
    EXPECT_EQ(0x0000FFu, backBuffer->Pixel(400, 19));
    // Text at the very edge is cut, not refused.
    DrawText(backBuffer, 795, 590, "12345");
    EXPECT_EQ(0xFFFFFFu, backBuffer->Pixel(799, 592));
}

}  // namespace
