#include "Contour.h"

#include <cmath>

#include "NoteName.h"
#include "TextScan.h"

namespace {

// Index of the segment that holds the position and the fraction within it.
void Locate(const std::vector<double>& points, double position, size_t& index, double& fraction) {
    if (position <= 0.0) position = 0.0;
    if (position >= 1.0) position = 1.0;
    const double scaled = position * static_cast<double>(points.size() - 1);
    index = static_cast<size_t>(scaled);
    if (index >= points.size() - 1) index = points.size() - 2;
    fraction = scaled - static_cast<double>(index);
}

}  // namespace

double Contour::Linear(double position) const {
    if (points.empty()) return 0.0;
    if (points.size() == 1) return points[0];
    size_t index = 0;
    double fraction = 0.0;
    Locate(points, position, index, fraction);
    return points[index] + (points[index + 1] - points[index]) * fraction;
}

double Contour::Exponential(double position) const {
    if (points.empty()) return 0.0;
    if (points.size() == 1) return points[0];
    size_t index = 0;
    double fraction = 0.0;
    Locate(points, position, index, fraction);
    const double from = points[index];
    const double to = points[index + 1];
    if (from <= 0.0 || to <= 0.0) return from + (to - from) * fraction;
    return from * std::pow(to / from, fraction);
}

bool ParseContour(const std::string& text, bool allowNotes, Contour& contour) {
    contour.points.clear();
    size_t start = 0;
    while (true) {
        const size_t end = text.find('>', start);
        const std::string part = text.substr(start, end == std::string::npos ? end : end - start);
        double value = 0.0;
        int key = 0;
        if (ParseDouble(part, value)) {
            contour.points.push_back(value);
        } else if (allowNotes && ParseNoteName(part, key)) {
            contour.points.push_back(MidiKeyToHz(key));
        } else {
            return false;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return true;
}
