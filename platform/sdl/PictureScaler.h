#pragma once
#include <cstdint>
#include <vector>

#include "platform/sdl/ScreenGeometry.h"

// Copies the game's picture into a window's own pixels at any size, by nearest pixels taken as a
// graphics processor takes them from a texture: at the centre of each screen pixel. Both ways of
// presenting thus put every picture pixel on the same screen pixels.
class PictureScaler {
public:
    PictureScaler();

    // picture: width x height pixels of 0x00RRGGBB, rows packed. target: targetWidth x
    // targetHeight 32-bit pixels of the same layout in rows of targetPitch bytes. The picture goes
    // into area (which lies inside the target); with paintBars the rest of the target turns black.
    void Scale(const uint32_t* picture, int width, int height, uint32_t* target, int targetPitch,
               int targetWidth, int targetHeight, const PictureArea& area, bool paintBars);
    // Only the rows first to end (exclusive) of the area, leaving the rest of the target as it is.
    // The area must lie inside the target.
    void ScaleRows(const uint32_t* picture, int width, int height, uint32_t* target,
                   int targetPitch, const PictureArea& area, int first, int end);
    // The first row of an area areaHeight rows high that shows picture row pictureRow or one below
    // it (areaHeight for pictureRow = height).
    static int FirstAreaRowShowing(int pictureRow, int height, int areaHeight);
    // Works out the runs below for sourceColumns of a picture width pixels wide.
    void PlanRuns(int width);

    // The picture column shown in each column of the area, worked out once per size.
    std::vector<int> sourceColumns;
    int columnsForWidth;
    // Enlarging, each run of 8 area columns shows at most 8 neighbouring picture pixels: where the
    // processor can, a run is one load and one shuffle. runStarts[r] is the first picture column
    // loaded for run r, runOffsets the 8 columns of each run counted from there.
    bool runsUsable;
    std::vector<int> runStarts;
    std::vector<int32_t> runOffsets;
};
