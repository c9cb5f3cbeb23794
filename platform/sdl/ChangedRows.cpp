#include "platform/sdl/ChangedRows.h"

#include <cstring>

namespace {
// Bands closer than this are sent as one: each band costs a request to the display server.
constexpr int JoinedGap = 8;
}  // namespace

ChangedRows::ChangedRows() : width(0), height(0), known(false) {}

const std::vector<RowBand>& ChangedRows::Compare(const uint32_t* picture, int newWidth,
                                                 int newHeight) {
    bands.clear();
    const size_t rowBytes = static_cast<size_t>(newWidth) * 4;
    if (!known || newWidth != width || newHeight != height) {
        width = newWidth;
        height = newHeight;
        last.assign(picture, picture + static_cast<size_t>(width) * height);
        known = true;
        if (height > 0) bands.push_back({0, height});
        return bands;
    }
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = picture + static_cast<size_t>(y) * width;
        uint32_t* kept = last.data() + static_cast<size_t>(y) * width;
        if (std::memcmp(row, kept, rowBytes) == 0) continue;
        std::memcpy(kept, row, rowBytes);
        if (!bands.empty() && y - bands.back().end < JoinedGap) {
            bands.back().end = y + 1;
        } else {
            bands.push_back({y, y + 1});
        }
    }
    return bands;
}
