// The floor every other figure is measured against, and the cost of the blit forms per megapixel
// next to a plain memcpy of the same bytes. scripts/bench.sh divides each time by the floor's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchSession.h"
#include "platform/display/BitmapFile.h"
#include "platform/display/Surface.h"

namespace {

constexpr int ScreenWidth = 800;
constexpr int ScreenHeight = 600;
// The blit figures copy one megapixel each.
constexpr int BlockSide = 1000;
constexpr int64_t BlockPixels = int64_t{BlockSide} * BlockSide;

// A sprite-like picture: opaque blobs on a pure green background, about half of it transparent,
// with runs of both so that the key test can't be skipped by a shortcut.
void PaintSprite(Surface& surface) {
    for (int y = 0; y < surface.height; ++y) {
        for (int x = 0; x < surface.width; ++x) {
            const bool opaque = ((x / 7 + y / 5) % 2) == 0;
            surface.SetPixel(
                x, y, opaque ? 0x00102030u + static_cast<uint32_t>(x ^ y) : TransparentColor);
        }
    }
}

void PerPixel(benchmark::State& state, int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 4);
}

// The floor: one memcpy of a whole 800 x 600 x 32-bit frame.
void BM_Floor_MemcpyFrame(benchmark::State& state) {
    const size_t bytes = size_t{ScreenWidth} * ScreenHeight * 4;
    std::vector<uint8_t> from(bytes, 0x5A);
    std::vector<uint8_t> to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    PerPixel(state, int64_t{ScreenWidth} * ScreenHeight);
}
BENCHMARK(BM_Floor_MemcpyFrame);

// The reference of the per-megapixel figures: the same bytes as one block blit, in one memcpy.
void BM_Memcpy_Megapixel(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(BlockPixels) * 4;
    std::vector<uint8_t> from(bytes, 0x5A);
    std::vector<uint8_t> to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    PerPixel(state, BlockPixels);
}
BENCHMARK(BM_Memcpy_Megapixel);

// Opaque blit at equal sizes: what the room background and the menu background take.
void BM_PlainBlit_Megapixel(benchmark::State& state) {
    Surface source(BlockSide, BlockSide);
    PaintSprite(source);
    Surface target(BlockSide, BlockSide);
    for (auto _ : state) {
        target.BltFast(0, 0, &source, nullptr, BltFastNoColorKey);
        benchmark::DoNotOptimize(target.pixels.data());
        benchmark::ClobberMemory();
    }
    PerPixel(state, BlockPixels);
}
BENCHMARK(BM_PlainBlit_Megapixel);

// Keyed blit at equal sizes: garbage, arrows, the cleaner's layers, the menu items.
void BM_KeyedBlit_Megapixel(benchmark::State& state) {
    Surface source(BlockSide, BlockSide);
    PaintSprite(source);
    Surface target(BlockSide, BlockSide);
    target.ColorFill(0x00336699);
    for (auto _ : state) {
        target.Blt(nullptr, &source, nullptr, BltKeySrc);
        benchmark::DoNotOptimize(target.pixels.data());
        benchmark::ClobberMemory();
    }
    PerPixel(state, BlockPixels);
}
BENCHMARK(BM_KeyedBlit_Megapixel);

// Keyed blit of a real sprite sheet, the cleaner's 1000 x 1300 picture (about nine tenths of it
// transparent), at equal sizes.
void BM_KeyedBlit_SpriteMegapixel(benchmark::State& state) {
    if (!AssetPackPresent()) {
        state.SkipWithError("no asset pack in the run folder (build with -DFLURBER_ASSETS=ON)");
        return;
    }
    const std::unique_ptr<Surface> sprite =
        ReadBitmapFile(FLURBER_RUN_DIR "/Graphics/FlurberAnims.bmp");
    if (!sprite) {
        state.SkipWithError("cannot read Graphics/FlurberAnims.bmp");
        return;
    }
    Surface target(sprite->width, sprite->height);
    target.ColorFill(0x00336699);
    for (auto _ : state) {
        target.Blt(nullptr, sprite.get(), nullptr, BltKeySrc);
        benchmark::DoNotOptimize(target.pixels.data());
        benchmark::ClobberMemory();
    }
    PerPixel(state, int64_t{sprite->width} * sprite->height);
}
BENCHMARK(BM_KeyedBlit_SpriteMegapixel);

// Stretched blits, counted per pixel written: a 500 x 500 picture doubled to 1000 x 1000, without
// and with the key (the menu stretches whole pictures into their rectangles).
void StretchedBlit(benchmark::State& state, uint32_t flags) {
    Surface source(BlockSide / 2, BlockSide / 2);
    PaintSprite(source);
    Surface target(BlockSide, BlockSide);
    target.ColorFill(0x00336699);
    for (auto _ : state) {
        target.Blt(nullptr, &source, nullptr, flags);
        benchmark::DoNotOptimize(target.pixels.data());
        benchmark::ClobberMemory();
    }
    PerPixel(state, BlockPixels);
}

void BM_StretchedBlit_Megapixel(benchmark::State& state) {
    StretchedBlit(state, 0);
}
BENCHMARK(BM_StretchedBlit_Megapixel);

void BM_StretchedKeyedBlit_Megapixel(benchmark::State& state) {
    StretchedBlit(state, BltKeySrc);
}
BENCHMARK(BM_StretchedKeyedBlit_Megapixel);

// The black fill that starts every frame.
void BM_ClearFrame(benchmark::State& state) {
    Surface target(ScreenWidth, ScreenHeight);
    for (auto _ : state) {
        target.ColorFill(0);
        benchmark::DoNotOptimize(target.pixels.data());
        benchmark::ClobberMemory();
    }
    PerPixel(state, int64_t{ScreenWidth} * ScreenHeight);
}
BENCHMARK(BM_ClearFrame);

}  // namespace
