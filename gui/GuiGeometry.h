// The arithmetic of the toolkit's drawings, free of <windows.h>: display
// ranges, the spectrum graph's column mapping and marker rules, the level
// meter's segments, the integration progress and the marker label text.
//
// Every conversion from floating point to integer truncates toward zero, as
// the drawing code does.
#pragma once

#include <cstddef>

namespace GuiGeometry {

// A length in 96-DPI pixels at `dpi`: value * dpi / 96, rounded half away
// from zero as MulDiv rounds.
int scaleForDpi(int value, int dpi);

// Bottom and top of the spectrum graph in dB for display range selector
// 1 (0..120), 2 (40..100) or 3 (-30..90); any other value reads as 1.
struct DbRange {
    int bottom;
    int top;
};
DbRange displayRange(int selector);

// How the spectrum's n / 2 bins spread over a graph `width` pixels wide.
// More bins than pixels: width - 1 columns one pixel apart, each showing the
// largest of half / width bins. Otherwise half - 1 columns, width / half
// pixels apart, one bin each. Columns are numbered from 1.
struct ColumnMapping {
    int columns;
    float xStep;
    float binsPerColumn;
};
ColumnMapping columnMapping(int n, int width);

// The level meter: 20 segments, lit from the left while the level reaches
// each one's threshold.
constexpr int kMeterSegments = 20;
extern const int kMeterThresholds[kMeterSegments];
int meterLitSegments(int level);
struct MeterGeometry {
    int pitch;   // distance from one segment to the next
    int margin;  // from the meter's left edge to the bar
};
MeterGeometry meterGeometry(int width);

// Integration progress between minimum and maximum: done of target spectra.
int integrationProgressValue(int minimum, int maximum, int target, int done);

// Left edge of a marker label of textWidth pixels centred on xm, kept `inset`
// pixels (two at 96 DPI) in from the left and flush with the right edge.
int markerLabelLeft(int xm, int textWidth, int left, int right, int inset = 2);

// Marker list: five frequencies in Hz, -1 for an empty place, used places
// first, oldest first. The place a new marker goes to: the first empty one;
// in a full list the oldest goes (the others move up) and the fifth place is
// the new one's: kMarkerReplacesOldest.
constexpr int kMarkerCount = 5;
constexpr int kMarkerReplacesOldest = -2;
int markerPlaceForAdd(const int markers[kMarkerCount]);
// The marker a right click at `freq` Hz removes: the nearest one (the
// earlier on a tie) when it lies within 1 % of fs / 2; -1 for none.
int markerToRemove(const int markers[kMarkerCount], double freq, int fs);

// The text of a marker label: the frequency in whole Hz and the levels
// there, "1000 Hz  R 62.1  A 84.3 dB" (no "A" part without an Analysis), in
// `unit` ("dB(A) SPL" when calibrated and A-weighted). Returns the length.
int formatMarkerLabel(int hz, float reference, const float* analysis, wchar_t* out,
                      std::size_t capacity, const wchar_t* unit = L"dB");

// The bin a click at bin `clicked` snaps to: the highest of the spectrum
// within `reach` bins either side (the clicked one on a tie), among bins
// 1 .. last.
int snapToPeak(const float* spectrum, int clicked, int reach, int last);

}  // namespace GuiGeometry
