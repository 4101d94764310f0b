#include "gui/GuiFrequencyAxis.h"

#include <algorithm>
#include <cmath>

#include "gui/GuiGeometry.h"

void FrequencyAxis::update(bool logarithmic, int fs, int n, int width, int maxColumns)
{
    log_ = logarithmic;
    fs_ = fs;
    n_ = n;
    width_ = width;
    if (!logarithmic) {
        const GuiGeometry::ColumnMapping map = GuiGeometry::columnMapping(n, width);
        columns_ = std::min(map.columns, maxColumns);
        xStep_ = map.xStep;
        binsPerColumn_ = map.binsPerColumn;
        return;
    }
    columns_ = fs > 0 && n >= 2 ? std::min(width, maxColumns) : 0;
    // The columns' bins stay worked out across a change to the linear axis
    // and back.
    const LogKey key{fs, n, width, columns_};
    if (key == logKey_)
        return;
    logKey_ = key;
    axis_ = log_axis::axisFor(fs > 0 ? fs : 1, n > 0 ? n : 1, width);
    lo_.assign(columns_ + 1, 0);
    hi_.assign(columns_ + 1, 0);
    const int last = n / 2;
    const double binsPerHz = static_cast<double>(n) / fs;
    for (int t = 1; t <= columns_; ++t) {
        const double x = t - 1;
        int first = static_cast<int>(std::ceil(axis_.frequency(x - 0.5) * binsPerHz - 0.5));
        int end = static_cast<int>(std::ceil(axis_.frequency(x + 0.5) * binsPerHz - 0.5)) - 1;
        if (end < first)  // wider bins than the column: the nearest one
            first = end = static_cast<int>(std::lround(axis_.frequency(x) * binsPerHz));
        first = std::clamp(first, 1, last);
        end = std::clamp(end, first, last);
        lo_[t] = first - 1;
        hi_[t] = end;
    }
}

int FrequencyAxis::columnX(int t) const
{
    return log_ ? t - 1 : static_cast<int>(t * xStep_);
}

int FrequencyAxis::columnAt(int x) const
{
    int t = log_ ? x + 1 : static_cast<int>(x / xStep_);
    return t < 1 ? 1 : (t > columns_ ? columns_ : t);
}

void FrequencyAxis::columnBins(int t, int& lo, int& hi) const
{
    if (log_) {
        lo = lo_[t];
        hi = hi_[t];
        return;
    }
    lo = static_cast<int>((t - 1) * binsPerColumn_);
    hi = static_cast<int>(t * binsPerColumn_);
}

float FrequencyAxis::columnValue(const float* spectrum, int t, float floor) const
{
    int lo, hi;
    columnBins(t, lo, hi);
    float v = floor;
    for (int b = hi; b > lo; --b)
        if (spectrum[b] > v)
            v = spectrum[b];
    return v;
}

int FrequencyAxis::xOfBin(float bin) const
{
    if (log_)
        return xOfFrequency(static_cast<double>(bin) * fs_ / n_);
    return static_cast<int>(bin * 2 * width_ / n_);
}

int FrequencyAxis::xOfFrequency(double hz) const
{
    if (!log_)
        return static_cast<int>(hz * 2 * width_ / fs_);
    if (!(hz > 0.0))
        return -1;
    return static_cast<int>(std::floor(axis_.x(hz) + 0.5));
}

int FrequencyAxis::xOfMarker(int hz) const
{
    if (log_)
        return xOfFrequency(hz);
    return static_cast<int>(static_cast<long long>(width_) * hz * 2 / fs_);
}

double FrequencyAxis::frequencyAt(double x) const
{
    if (log_)
        return axis_.frequency(x);
    return width_ > 0 ? fs_ * x / 2.0 / width_ : 0.0;
}
