#include "game/Cleaner.h"

namespace {

constexpr int32_t RoomWidth = 1600;
constexpr int16_t RightmostX = RoomWidth - CleanerSpriteWidth;
constexpr int16_t StartX = 620;
constexpr int16_t MiddleX = RoomWidth / 2 - CleanerSpriteWidth / 2;

// The first walking pose shows for this many moves, then the second for one.
constexpr int8_t FirstPoseMoves = 5;

constexpr int32_t ToolRestTop = 0;
constexpr int32_t ToolStrokeTop = CleanerSpriteHeight;
constexpr int32_t BodyFirstPoseTop = 2 * CleanerSpriteHeight;
constexpr int32_t BodySecondPoseTop = 3 * CleanerSpriteHeight;

}  // namespace

Cleaner::Cleaner()
    : walkFrame(0),
      bodyFrame{0, BodyFirstPoseTop, CleanerSpriteWidth, BodyFirstPoseTop + CleanerSpriteHeight},
      toolFrame{0, ToolRestTop, CleanerSpriteWidth, ToolRestTop + CleanerSpriteHeight},
      step(10),
      x(StartX) {}

void Cleaner::Move(int16_t direction) {
    if (direction != 0) {
        if (direction > 0) {
            x = static_cast<int16_t>(x + step);
            if (x + CleanerSpriteWidth > RoomWidth) {
                x = RightmostX;
            }
            toolFrame.left = CleanerSpriteWidth;
            toolFrame.right = 2 * CleanerSpriteWidth;
        } else {
            x = static_cast<int16_t>(x - step);
            if (x < 0) {
                x = 0;
            }
            toolFrame.left = 0;
            toolFrame.right = CleanerSpriteWidth;
        }
        // Walking against a wall still animates: the cleaner walks on the spot.
        walkFrame = static_cast<int8_t>(walkFrame + 1);
        int32_t top = BodyFirstPoseTop;
        if (walkFrame > FirstPoseMoves) {
            top = BodySecondPoseTop;
            walkFrame = 0;
        }
        bodyFrame.top = top;
        bodyFrame.bottom = top + CleanerSpriteHeight;
    }
    bodyFrame.left = toolFrame.left;
    bodyFrame.right = toolFrame.right;
}

void Cleaner::SetStrokePose(int32_t on) {
    int32_t top = on != 0 ? ToolStrokeTop : ToolRestTop;
    toolFrame.top = top;
    toolFrame.bottom = top + CleanerSpriteHeight;
}

void Cleaner::Reset() {
    walkFrame = 0;
    x = MiddleX;
}
