#include "platform/web/WebFrameGrid.h"

#include <algorithm>

WebFrameGrid::WebFrameGrid()
    : started(false), nextMoment(0.0), refreshSeen(false), lastRefresh(0.0), nextInterval(0) {
    // Until refreshes have been seen, the screen counts as a 60 Hz one.
    std::fill(intervals, intervals + WatchedRefreshes, FrameMs);
}

void WebFrameGrid::NoteRefresh(double moment) {
    if (refreshSeen && moment > lastRefresh) {
        intervals[nextInterval] = moment - lastRefresh;
        nextInterval = (nextInterval + 1) % WatchedRefreshes;
    }
    refreshSeen = true;
    lastRefresh = moment;
}

double WebFrameGrid::RefreshMs() const {
    return *std::min_element(intervals, intervals + WatchedRefreshes);
}

bool WebFrameGrid::Takes(double moment) const {
    return !started || moment >= nextMoment - RefreshMs() / 2.0;
}

void WebFrameGrid::Presented(double moment) {
    if (!started || moment >= nextMoment + FrameMs) {
        // The first picture, or one that missed a whole moment: the grid starts from it.
        nextMoment = moment + FrameMs;
        started = true;
        return;
    }
    nextMoment += FrameMs;
}
