#include "platform/display/OpaqueSpans.h"

#include <cstddef>

#include "platform/display/Surface.h"

namespace {

// Below this average length a span costs more to copy than to test its pixels one by one.
constexpr size_t ShortestWorthwhileSpan = 8;

// Gives up on the spans and their memory: the picture is copied pixel by pixel.
void Drop(OpaqueSpans& found) {
    found.worthUsing = false;
    std::vector<uint32_t>().swap(found.rowStart);
    std::vector<OpaqueSpan>().swap(found.spans);
}

}  // namespace

void OpaqueSpans::Find(const uint32_t* pixels, int width, int height) {
    rowStart.clear();
    spans.clear();
    known = true;
    worthUsing = false;
    // More spans than this can't average the worthwhile length; it also bounds their memory to a
    // quarter of the picture's.
    const size_t mostSpans =
        static_cast<size_t>(width) * static_cast<size_t>(height) / ShortestWorthwhileSpan;
    size_t opaque = 0;
    for (int y = 0; y < height; ++y) {
        rowStart.push_back(static_cast<uint32_t>(spans.size()));
        const uint32_t* row = pixels + static_cast<size_t>(y) * width;
        int x = 0;
        while (x < width) {
            while (x < width && row[x] == TransparentColor) ++x;
            if (x == width) break;
            const int left = x;
            while (x < width && row[x] != TransparentColor) ++x;
            if (spans.size() == mostSpans) {
                Drop(*this);
                return;
            }
            spans.push_back({left, x});
            opaque += static_cast<size_t>(x - left);
        }
    }
    rowStart.push_back(static_cast<uint32_t>(spans.size()));
    worthUsing = opaque >= spans.size() * ShortestWorthwhileSpan;
    if (!worthUsing) Drop(*this);
}
