#pragma once

#include <string>
#include <vector>

// A value that moves over the length of a sound layer, written "600>900>700": the points are
// spread evenly from the layer's start to its end. One point is a constant.
struct Contour {
    std::vector<double> points;

    bool IsSet() const { return !points.empty(); }
    // position runs from 0 (layer start) to 1 (layer end).
    double Linear(double position) const;
    // Interpolates in the logarithm, so a pitch glide sounds even.
    double Exponential(double position) const;
};

// Points are numbers, or note names (such as "c6") when allowNotes is set, given as Hz.
bool ParseContour(const std::string& text, bool allowNotes, Contour& contour);
