#include "platform/sdl/PictureScaler.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define FLURBER_SHUFFLED_ROWS 1
#endif

namespace {

// The picture pixel sampled at the centre of screen pixel i of n: floor((i + 1/2) * size / n).
int SourceIndex(int i, int size, int n) {
    return static_cast<int>((2 * static_cast<int64_t>(i) + 1) * size /
                            (2 * static_cast<int64_t>(n)));
}

uint32_t* TargetRow(uint32_t* target, int pitch, int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(target) +
                                       static_cast<size_t>(y) * pitch);
}

void PaintBlack(uint32_t* row, int count) {
    if (count > 0) std::memset(row, 0, static_cast<size_t>(count) * 4);
}

#ifdef FLURBER_SHUFFLED_ROWS
// Eight area pixels at a time: the eight picture pixels from the run's start, put in order by one
// shuffle. Built for AVX2 whatever the build's target, and used only where the processor has it.
__attribute__((target("avx2"))) void ShuffleRuns(const uint32_t* in, uint32_t* out,
                                                 const int* starts, const int32_t* offsets,
                                                 int runs) {
    for (int run = 0; run < runs; ++run) {
        const __m256i pixels =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + starts[run]));
        const __m256i order =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + 8 * run));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * run),
                            _mm256_permutevar8x32_epi32(pixels, order));
    }
}

bool ProcessorShuffles() {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    return hasAvx2;
}
#else
void ShuffleRuns(const uint32_t*, uint32_t*, const int*, const int32_t*, int) {}
bool ProcessorShuffles() {
    return false;
}
#endif

}  // namespace

PictureScaler::PictureScaler() : columnsForWidth(0), runsUsable(false) {}

void PictureScaler::Scale(const uint32_t* picture, int width, int height, uint32_t* target,
                          int targetPitch, int targetWidth, int targetHeight,
                          const PictureArea& area, bool paintBars) {
    if (area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
        area.x + area.width > targetWidth || area.y + area.height > targetHeight) {
        return;
    }
    if (paintBars) {
        for (int y = 0; y < area.y; ++y) PaintBlack(TargetRow(target, targetPitch, y), targetWidth);
        for (int y = area.y; y < area.y + area.height; ++y) {
            uint32_t* row = TargetRow(target, targetPitch, y);
            PaintBlack(row, area.x);
            PaintBlack(row + area.x + area.width, targetWidth - area.x - area.width);
        }
        for (int y = area.y + area.height; y < targetHeight; ++y)
            PaintBlack(TargetRow(target, targetPitch, y), targetWidth);
    }
    ScaleRows(picture, width, height, target, targetPitch, area, 0, area.height);
}

int PictureScaler::FirstAreaRowShowing(int pictureRow, int height, int areaHeight) {
    // Row i shows picture row floor((2i + 1) * height / (2 * areaHeight)), which is at least r from
    // (2i + 1) * height >= 2 * r * areaHeight on.
    const int64_t excess = 2 * static_cast<int64_t>(pictureRow) * areaHeight - height;
    if (excess <= 0) return 0;
    const int64_t row = (excess + 2 * static_cast<int64_t>(height) - 1) / (2 * height);
    return static_cast<int>(row < areaHeight ? row : areaHeight);
}

void PictureScaler::ScaleRows(const uint32_t* picture, int width, int height, uint32_t* target,
                              int targetPitch, const PictureArea& area, int first, int end) {
    const bool sameSize = area.width == width && area.height == height;
    if (!sameSize &&
        (static_cast<int>(sourceColumns.size()) != area.width || columnsForWidth != width)) {
        sourceColumns.resize(static_cast<size_t>(area.width));
        for (int i = 0; i < area.width; ++i) sourceColumns[i] = SourceIndex(i, width, area.width);
        columnsForWidth = width;
        PlanRuns(width);
    }
    const bool shuffled = !sameSize && runsUsable && ProcessorShuffles();
    const int shuffledColumns = shuffled ? static_cast<int>(runStarts.size()) * 8 : 0;
    int previousSourceRow = -1;
    const uint32_t* previousRow = nullptr;
    for (int y = first; y < end; ++y) {
        uint32_t* out = TargetRow(target, targetPitch, area.y + y) + area.x;
        const int sourceRow = sameSize ? y : SourceIndex(y, height, area.height);
        if (sourceRow == previousSourceRow) {
            // Enlarged: the rows that show the same picture row are copies of the first.
            std::memcpy(out, previousRow, static_cast<size_t>(area.width) * 4);
            continue;
        }
        const uint32_t* in = picture + static_cast<size_t>(sourceRow) * width;
        if (sameSize) {
            std::memcpy(out, in, static_cast<size_t>(width) * 4);
        } else {
            if (shuffled) {
                ShuffleRuns(in, out, runStarts.data(), runOffsets.data(),
                            static_cast<int>(runStarts.size()));
            }
            const int* columns = sourceColumns.data();
            for (int x = shuffledColumns; x < area.width; ++x) out[x] = in[columns[x]];
        }
        previousSourceRow = sourceRow;
        previousRow = out;
    }
}

void PictureScaler::PlanRuns(int width) {
    const int areaWidth = static_cast<int>(sourceColumns.size());
    // Shrinking, a run of 8 may need more than 8 picture pixels; those rows go pixel by pixel.
    runsUsable = areaWidth >= width && width >= 8;
    const int runs = runsUsable ? areaWidth / 8 : 0;
    runStarts.assign(static_cast<size_t>(runs), 0);
    runOffsets.assign(static_cast<size_t>(runs) * 8, 0);
    for (int run = 0; run < runs; ++run) {
        // The load stays inside the row: the last runs start early enough to end at its end.
        const int start = std::min(sourceColumns[8 * run], width - 8);
        runStarts[run] = start;
        for (int k = 0; k < 8; ++k) {
            const int offset = sourceColumns[8 * run + k] - start;
            if (offset < 0 || offset > 7) runsUsable = false;
            runOffsets[8 * run + k] = offset;
        }
    }
}
