#include "gui/GuiGeometry.h"

#include <cmath>
#include <cwchar>

namespace GuiGeometry {

const int kMeterThresholds[kMeterSegments] = {10, 20, 30, 40, 45, 48, 51, 54, 57, 60,
                                               63, 66, 69, 72, 76, 85, 92, 100, 115, 130};

int scaleForDpi(int value, int dpi)
{
    if (dpi == 96)
        return value;
    const long long product = static_cast<long long>(value) * dpi;
    return static_cast<int>(product >= 0 ? (product + 48) / 96 : (product - 48) / 96);
}

DbRange displayRange(int selector)
{
    switch (selector) {
    case 2: return {40, 100};
    case 3: return {-30, 90};
    default: return {0, 120};
    }
}

ColumnMapping columnMapping(int n, int width)
{
    const int half = n / 2;
    if (half > width)
        return {width - 1, 1.0f, static_cast<float>(half) / static_cast<float>(width)};
    return {half - 1, static_cast<float>(width) / static_cast<float>(half), 1.0f};
}

int meterLitSegments(int level)
{
    int lit = 0;
    while (lit < kMeterSegments && level >= kMeterThresholds[lit])
        ++lit;
    return lit;
}

MeterGeometry meterGeometry(int width)
{
    const int pitch = (width - 1) / kMeterSegments;
    return {pitch, (width - kMeterSegments * pitch) / 2};
}

int integrationProgressValue(int minimum, int maximum, int target, int done)
{
    if (done >= target)
        return maximum;
    if (target <= 0)
        return minimum;
    return minimum + (maximum - minimum) * done / target;
}

int markerLabelLeft(int xm, int textWidth, int left, int right, int inset)
{
    int lx = xm - textWidth / 2;
    if (lx < left + inset)
        lx = left + inset;
    if (lx + textWidth > right - left)
        lx = right - left - textWidth;
    return lx;
}

int markerPlaceForAdd(const int markers[kMarkerCount])
{
    for (int i = 0; i < kMarkerCount; ++i)
        if (markers[i] == -1)
            return i;
    return kMarkerReplacesOldest;
}

int markerToRemove(const int markers[kMarkerCount], double freq, int fs)
{
    double best = 100000.0;
    int found = -1;
    for (int i = 0; i < kMarkerCount && markers[i] != -1; ++i) {
        const double distance = std::fabs(markers[i] - freq);
        if (distance < best) {
            best = distance;
            found = i;
        }
    }
    if (found < 0 || best / (fs / 2.0) > 0.01)
        return -1;
    return found;
}

int formatMarkerLabel(int hz, float reference, const float* analysis, wchar_t* out,
                      std::size_t capacity, const wchar_t* unit)
{
    const int length =
        analysis ? std::swprintf(out, capacity, L"%d Hz  R %.1f  A %.1f %ls", hz,
                                 static_cast<double>(reference), static_cast<double>(*analysis), unit)
                 : std::swprintf(out, capacity, L"%d Hz  R %.1f %ls", hz,
                                 static_cast<double>(reference), unit);
    return length < 0 ? 0 : length;
}

int snapToPeak(const float* spectrum, int clicked, int reach, int last)
{
    if (clicked < 1)
        clicked = 1;
    if (clicked > last)
        clicked = last;
    int best = clicked;
    for (int k = clicked - reach; k <= clicked + reach; ++k)
        if (k >= 1 && k <= last && spectrum[k] > spectrum[best])
            best = k;
    return best;
}

}  // namespace GuiGeometry
