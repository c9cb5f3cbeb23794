#include "tests/support/GameHarness.h"

#include <unistd.h>

#include <climits>
#include <memory>

#include "app/Devices.h"
#include "app/Program.h"
#include "app/Shell.h"
#include "game/Random.h"
#include "media/Display.h"
#include "platform/System.h"
#include "tests/support/TestFiles.h"

namespace TestArt {

namespace {

// A short PCM wave: 16-bit mono at 22050 Hz, a quiet square wave.
void WriteWave(const std::string& path, int milliseconds) {
    const uint32_t samples = 22050u * static_cast<uint32_t>(milliseconds) / 1000u;
    const uint32_t dataBytes = samples * 2;
    std::vector<uint8_t> out;
    auto put16 = [&out](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    auto tag = [&out](const char* t) { out.insert(out.end(), t, t + 4); };
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);  // PCM
    put16(1);
    put32(22050);
    put32(22050 * 2);
    put16(2);
    put16(16);
    tag("data");
    put32(dataBytes);
    for (uint32_t i = 0; i < samples; ++i) put16((i / 50) % 2 != 0 ? 2000u : 0x10000u - 2000u);
    WriteBytes(path, out);
}

void WriteGamePictures(const TemporaryFolder& folder) {
    const char* const rooms[5] = {"Graphics\\flurberbathroom.bmp", "Graphics\\flurberbedroom2.bmp",
                                  "Graphics\\flurberliving2.bmp", "Graphics\\flurberhall.bmp",
                                  "Graphics\\flurberkitchen2.bmp"};
    for (int level = 1; level <= 5; ++level) {
        WriteBitmap(folder.PathOf(rooms[level - 1]), 1600, 600,
                    [level](int x, int) { return Room(level, x); });
    }
    WriteBitmap(folder.PathOf("Graphics\\Garbage.bmp"), 300, 100, Garbage);
    WriteBitmap(folder.PathOf("Graphics\\Arrows.bmp"), 75, 100,
                [](int, int y) { return y < 50 ? RightArrow : LeftArrow; });
    WriteBitmap(folder.PathOf("Graphics\\Flurb!.bmp"), 200, 100,
                [](int x, int) { return Banner(x); });
    WriteBitmap(folder.PathOf("Graphics\\FlurberAnims.bmp"), 1000, 1300, [](int x, int y) {
        const int column = x / 500;
        const int row = y / 325;
        if (y % 325 >= (row < 2 ? ToolRows : BodyRows)) return TransparentColor;
        return CleanerCell(column, row);
    });
    WriteFlatBitmap(folder.PathOf("Graphics\\RoomClean!.bmp"), 200, 100, RoomClean);
    WriteFlatBitmap(folder.PathOf("Graphics\\YouLose!.bmp"), 100, 50, YouLose);
    WriteBitmap(folder.PathOf("Graphics\\Winner.bmp"), 225, 240,
                [](int, int y) { return WinnerStrip(y / 60); });
    WriteWave(folder.PathOf("Sounds\\flurb!_high.wav"), 700);
    WriteWave(folder.PathOf("Sounds\\room_clean.wav"), 300);
    WriteWave(folder.PathOf("Sounds\\you_lose.wav"), 300);
    WriteWave(folder.PathOf("Sounds\\gun_shot.wav"), 200);
}

}  // namespace

const std::string& FullFolder() {
    static const std::unique_ptr<TemporaryFolder> folder = [] {
        auto made = std::make_unique<TemporaryFolder>();
        WriteGamePictures(*made);
        return made;
    }();
    return folder->path;
}

const std::string& BareFolder() {
    static const TemporaryFolder folder;
    return folder.path;
}

}  // namespace TestArt

namespace {
std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}
}  // namespace

GameHarness::GameHarness(const std::string& folder, bool withAudio)
    : started(false), game(nullptr), previousDirectory(CurrentDirectory()) {
    backend.audioAvailable = withAudio;
    activeBackend = &backend;
    ResetShellValues();
    ResetSystemState();
    const bool inFolder = chdir(folder.c_str()) == 0;
    backend.CreateMainWindow("The Flurber", 312, 234, 400, 300);
    started = StartDevices() && inFolder;
    theGame = new GameScreen();
    game = theGame;
    SeedRandom(1);
}

GameHarness::~GameHarness() {
    ShutdownDevices();
    activeBackend = nullptr;
    if (!previousDirectory.empty() && chdir(previousDirectory.c_str()) != 0) {
        // The next test changes directory itself.
    }
}

void GameHarness::StartFromMenu() {
    gameMode = ModePlaying;
    WaitMilliseconds(200);
    SetGameLastTick(timeGetTime());
    StartNewGame();
}

void GameHarness::ResumeFromMenu() {
    gameMode = ModePlaying;
    WaitMilliseconds(200);
    SetGameLastTick(timeGetTime());
}

void GameHarness::Pass() {
    Message message{};
    if (PeekMessage(&message)) WindowProc(message);
    // The menu is not part of these tests: only play-mode frames run.
    if (appActive != 0 && gameMode == ModePlaying) UpdateFrame();
}

void GameHarness::StepCountdown() {
    const uint32_t due = game->lastTick + 1000;
    const uint32_t now = Now();
    if (due > now) backend.Advance(static_cast<uint64_t>(due - now) * 1000);
    Pass();
}

void GameHarness::Tap(int keyCode) {
    backend.SetKey(keyCode, true);
    Pass();
    backend.ReleaseKey(keyCode);
}

GarbageItem* GameHarness::OnlyPiece(int8_t type, int16_t x, int16_t y) {
    RemoveAllGarbage();
    game->garbage->Add(type, x, y);
    return game->garbage->head;
}

void GameHarness::RemoveAllGarbage() {
    while (!game->garbage->IsEmpty()) game->garbage->Remove(game->garbage->head);
    game->targetItem = nullptr;
}

uint32_t GameHarness::Now() const {
    return timeGetTime();
}

std::vector<HeadlessBackend::ShownImage> GameHarness::TakeImages() {
    std::vector<HeadlessBackend::ShownImage> images;
    images.swap(backend.shownImages);
    return images;
}

std::vector<uint32_t> RoomViewWithCountdown(int level, int cameraX, const char* text) {
    Surface view(800, 600);
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) view.SetPixel(x, y, TestArt::Room(level, cameraX + x));
    }
    DrawText(&view, 395, 20, text);
    return view.pixels;
}

bool RegionsEqual(const std::vector<uint32_t>& image, const std::vector<uint32_t>& reference,
                  const Rect& region) {
    for (int y = region.top; y < region.bottom; ++y) {
        for (int x = region.left; x < region.right; ++x) {
            if (PixelOf(image, x, y) != PixelOf(reference, x, y)) return false;
        }
    }
    return true;
}

int DrawsSinceSeed(uint32_t seed) {
    const int32_t first = Rand();
    const int32_t second = Rand();
    SeedRandom(seed);
    int32_t previous = Rand();
    for (int draws = 0; draws < 400; ++draws) {
        const int32_t next = Rand();
        if (previous == first && next == second) return draws;
        previous = next;
    }
    return -1;
}

uint32_t SeedWithFirstDraw(bool odd, uint32_t from) {
    for (uint32_t seed = from;; ++seed) {
        SeedRandom(seed);
        if ((Rand() % 2 != 0) == odd) return seed;
    }
}

std::vector<DrawnPiece> GarbageDrawnFrom(uint32_t seed, int base) {
    SeedRandom(seed);
    const int count = base + Rand() % 3;
    std::vector<DrawnPiece> pieces;
    for (int i = 0; i < count; ++i) {
        const auto x = static_cast<int16_t>(Rand() % 1300 + 100);
        const auto type = static_cast<int8_t>(Rand() % 5 + 1);
        pieces.push_back({x, type});
    }
    return pieces;
}

::testing::AssertionResult HoldsStartingGarbage(const GarbageList& list,
                                                const std::vector<DrawnPiece>& pieces) {
    const int n = static_cast<int>(pieces.size());
    if (list.Count() != n) {
        return ::testing::AssertionFailure() << list.Count() << " pieces, expected " << n;
    }
    for (int i = 0; i < n; ++i) {
        const GarbageItem* item = list.At(n - 1 - i);
        if (item->X() != pieces[i].x || item->Type() != pieces[i].type || item->Y() != 530) {
            return ::testing::AssertionFailure()
                   << "piece " << i << " is type " << int{item->Type()} << " at (" << item->X()
                   << ", " << item->Y() << "), expected type " << int{pieces[i].type} << " at ("
                   << pieces[i].x << ", 530)";
        }
    }
    return ::testing::AssertionSuccess();
}
