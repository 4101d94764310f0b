// The spectrum graph's frequency axis: where a frequency, a bin edge or a
// marker lies across the graph, and which bins each pixel column shows,
// on the linear axis or the logarithmic one (analysis/LogAxis.h).
//
// How it works
// - Linear: the bins spread evenly from 0 Hz to fs / 2 as
//   GuiGeometry::columnMapping spreads them; every position is computed with
//   the very expressions (and types) the graph always used, so the linear
//   graph stays the same pixel for pixel.
// - Logarithmic: column t is pixel t - 1, from the lowest resolvable
//   frequency at the left edge to fs / 2 at the right one. A column shows
//   the largest of the bins whose centres fall within its half-pixel either
//   side; where the bins are wider than a column (the low end) it shows the
//   bin nearest its frequency, so a bin reads as a flat step.
// - The logarithmic columns' bins are worked out when the rate, block
//   length or width changes (update), not with every paint, nor when the
//   axis goes linear and back.
#pragma once

#include <vector>

#include "analysis/LogAxis.h"

class FrequencyAxis {
public:
    // Sets the axis up for a graph `width` pixels wide showing an n-point
    // transform at fs Hz, with at most maxColumns columns.
    void update(bool logarithmic, int fs, int n, int width, int maxColumns);

    bool logarithmic() const { return log_; }
    const log_axis::Axis& logAxis() const { return axis_; }
    // Columns 1 .. columns().
    int columns() const { return columns_; }
    // The pixel of column t, and the column at pixel x (held to 1 .. columns).
    int columnX(int t) const;
    int columnAt(int x) const;
    // Column t shows bins lo + 1 .. hi.
    void columnBins(int t, int& lo, int& hi) const;
    // Column t's value: the largest of its bins, `floor` where none is higher.
    float columnValue(const float* spectrum, int t, float floor) const;

    // The pixel of a fractional bin (a band edge), of a frequency in Hz, and
    // of a marker's whole-Hz frequency.
    int xOfBin(float bin) const;
    int xOfFrequency(double hz) const;
    int xOfMarker(int hz) const;
    // The frequency at pixel x.
    double frequencyAt(double x) const;

private:
    bool log_ = false;
    int fs_ = 0;
    int n_ = 0;
    int width_ = 0;
    int columns_ = 0;
    float xStep_ = 1.0f;
    float binsPerColumn_ = 1.0f;
    log_axis::Axis axis_;
    // The logarithmic columns' bins, and what they were worked out for.
    struct LogKey {
        int fs = 0, n = 0, width = 0, columns = -1;
        bool operator==(const LogKey& o) const
        {
            return fs == o.fs && n == o.n && width == o.width && columns == o.columns;
        }
    };
    LogKey logKey_;
    std::vector<int> lo_, hi_;
};
