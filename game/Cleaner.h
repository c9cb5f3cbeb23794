#pragma once
#include <cstdint>

#include "platform/display/Rect.h"

// Size of one frame of "Graphics\FlurberAnims.bmp".
constexpr int32_t CleanerSpriteWidth = 500;
constexpr int32_t CleanerSpriteHeight = 325;

// The player character. Its picture is a 2 x 4 grid of frames: column 0 faces left, column 1
// right; rows are tool at rest, tool stroking, body first walking pose (also standing), body
// second walking pose. Both layers always share the column of the last move.
class Cleaner {
public:
    Cleaner();
    Cleaner(const Cleaner&) = delete;
    Cleaner& operator=(const Cleaner&) = delete;

    // direction < 0 walks left, > 0 right, 0 stands still.
    void Move(int16_t direction);
    // Non-zero shows the stroke pose on the tool layer, zero the rest pose.
    void SetStrokePose(int32_t on);
    void GetBodyFrame(Rect* out) const { *out = bodyFrame; }
    void GetToolFrame(Rect* out) const { *out = toolFrame; }
    int16_t X() const { return x; }
    // Back to the middle of the room; facing and poses are kept.
    void Reset();

    int8_t walkFrame;  // moves since the second walking pose was last shown
    Rect bodyFrame;
    Rect toolFrame;
    int8_t step;  // pixels per move
    int16_t x;    // world x of the sprite's left edge, 0..1100
};
