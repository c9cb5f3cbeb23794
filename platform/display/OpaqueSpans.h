#pragma once
#include <cstdint>
#include <vector>

// Where the opaque pixels (those not of the transparent colour) of a picture lie, row by row, as
// column spans [left, right). A keyed copy from a picture with this at hand reads and writes only
// those pixels instead of testing every one: a sprite's frame is mostly transparent.
struct OpaqueSpan {
    int32_t left;
    int32_t right;
};

struct OpaqueSpans {
    // False until worked out, and again whenever the pixels change.
    bool known = false;
    // False when the spans are so short and many that testing every pixel is quicker.
    bool worthUsing = false;
    // Row y's spans are spans[rowStart[y]] up to spans[rowStart[y + 1]].
    std::vector<uint32_t> rowStart;
    std::vector<OpaqueSpan> spans;

    void Find(const uint32_t* pixels, int width, int height);
    void Forget() { known = false; }
};
