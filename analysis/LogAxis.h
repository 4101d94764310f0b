// The logarithmic frequency axis of a spectrum: frequency <-> pixel, grid
// lines at 1, 2 and 5 per decade, and labels that never overlap. Portable:
// no <windows.h>; the window measures the label texts and passes a callback.
//
// How it works
// - The axis runs from the lowest frequency the transform resolves (one bin,
//   fs/N, but not below 10 Hz) at pixel 0 to half the sampling rate at pixel
//   width - 1, linear in log10 of the frequency between.
// - Every 1, 2 and 5 times a power of ten in that range is a grid line.
// - Labels: each grid line offers its frequency as text ("20", "500", "2k"),
//   centred on the line and moved inside the axis where it would stick out.
//   They are taken in order of importance (decades first, then the fives,
//   then the twos; from the left within each) and a label is dropped when
//   its box would come closer than `gap` pixels to one already taken.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace log_axis {

// Never below this, however fine the bins.
constexpr double kLowestHz = 10.0;

// fmax > fmin > 0.
struct Axis {
    double fmin = kLowestHz;
    double fmax = 20000.0;
    int width = 2;  // pixels

    // The pixel (0 at fmin, width - 1 at fmax; beyond them outside the axis).
    double x(double hz) const;
    // The frequency at a pixel (the inverse of x).
    double frequency(double x) const;
};

// max(fs / n, kLowestHz).
double lowestFrequency(int fs, int n);
// The axis of a transform of n samples at fs Hz across `width` pixels.
Axis axisFor(int fs, int n, int width);

struct GridLine {
    double hz = 0.0;
    double x = 0.0;
    int mantissa = 1;  // 1, 2 or 5: hz = mantissa * 10^k
};
// The grid lines from fmin to fmax, lowest first.
std::vector<GridLine> gridLines(const Axis& axis);

struct Label {
    double hz = 0.0;
    std::string text;  // "20", "500", "2k"
    int left = 0;      // pixel of the text's left edge, 0 .. width - textWidth
    int width = 0;     // the text's width in pixels
};
// The labels of the grid lines that fit without overlapping, lowest first:
// textWidth gives a text's width in pixels; neighbouring labels keep at
// least `gap` pixels between them.
std::vector<Label> placeLabels(const Axis& axis, const std::vector<GridLine>& lines,
                               const std::function<int(const std::string&)>& textWidth,
                               int gap);

}  // namespace log_axis
