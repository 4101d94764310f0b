#include "analysis/LogAxis.h"

#include <algorithm>
#include <cmath>

#include "analysis/OctaveBands.h"

namespace log_axis {

namespace {

double span(const Axis& a) { return std::max(a.width - 1, 1); }

// Decades first, then fives, then twos.
int rank(int mantissa) { return mantissa == 1 ? 0 : mantissa == 5 ? 1 : 2; }

}  // namespace

double Axis::x(double hz) const
{
    return span(*this) * std::log10(hz / fmin) / std::log10(fmax / fmin);
}

double Axis::frequency(double px) const
{
    return fmin * std::pow(fmax / fmin, px / span(*this));
}

double lowestFrequency(int fs, int n) { return std::max(static_cast<double>(fs) / n, kLowestHz); }

Axis axisFor(int fs, int n, int width)
{
    Axis a;
    a.fmin = lowestFrequency(fs, n);
    a.fmax = fs / 2.0;
    a.width = width;
    return a;
}

std::vector<GridLine> gridLines(const Axis& axis)
{
    std::vector<GridLine> lines;
    const double slack = 1e-9;  // fmin = 10 Hz is a grid line
    for (int k = static_cast<int>(std::floor(std::log10(axis.fmin))); ; ++k) {
        for (int m : {1, 2, 5}) {
            const double hz = m * std::pow(10.0, k);
            if (hz > axis.fmax * (1 + slack))
                return lines;
            if (hz >= axis.fmin * (1 - slack))
                lines.push_back({hz, axis.x(hz), m});
        }
    }
}

std::vector<Label> placeLabels(const Axis& axis, const std::vector<GridLine>& lines,
                               const std::function<int(const std::string&)>& textWidth,
                               int gap)
{
    std::vector<const GridLine*> order;
    for (const GridLine& line : lines)
        order.push_back(&line);
    std::stable_sort(order.begin(), order.end(), [](const GridLine* a, const GridLine* b) {
        return rank(a->mantissa) < rank(b->mantissa);
    });
    std::vector<Label> taken;
    for (const GridLine* line : order) {
        Label label;
        label.hz = line->hz;
        label.text = octave::frequencyLabel(line->hz);
        label.width = textWidth(label.text);
        if (label.width > axis.width)
            continue;
        const long centred = std::lround(line->x - label.width / 2.0);
        label.left = static_cast<int>(std::clamp<long>(centred, 0, axis.width - label.width));
        const bool clear = std::none_of(taken.begin(), taken.end(), [&](const Label& t) {
            return label.left < t.left + t.width + gap && t.left < label.left + label.width + gap;
        });
        if (clear)
            taken.push_back(label);
    }
    std::sort(taken.begin(), taken.end(),
              [](const Label& a, const Label& b) { return a.hz < b.hz; });
    return taken;
}

}  // namespace log_axis
