#pragma once
#include <cstdint>

// Which of the browser's display refreshes a picture goes out on. The game moves a fixed amount per
// frame, so it must make 60 frames a second whatever the screen's rate: the pictures follow a grid
// of 1/60 s, and a refresh takes the grid's next moment once it comes within half a refresh of
// it. On a 60 Hz screen that is every refresh, on 120 Hz every other one, on 144 Hz two or three
// refreshes apart by turns. A picture that misses a whole moment gives that moment up and the grid
// starts again from it.
class WebFrameGrid {
public:
    static constexpr double FrameMs = 1000.0 / 60.0;
    static constexpr int WatchedRefreshes = 32;

    WebFrameGrid();

    // A refresh came at this moment (the browser's timestamp of its frame, in milliseconds).
    void NoteRefresh(double moment);
    // Whether the picture waiting goes out on the refresh at this moment.
    bool Takes(double moment) const;
    // The picture went out on the refresh at this moment.
    void Presented(double moment);
    // The screen's refresh interval as seen: the shortest of the recent ones.
    double RefreshMs() const;

    bool started;
    double nextMoment;  // the grid's next moment
    bool refreshSeen;
    double lastRefresh;
    double intervals[WatchedRefreshes];
    int nextInterval;
};
