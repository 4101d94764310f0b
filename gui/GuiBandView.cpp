// The spectrum graph's logarithmic grid and its octave and third-octave
// band view (the BandView option).
//
// How it works
// - The logarithmic grid has the narrow-band grid's six rows and a vertical
//   line at every 1, 2 and 5 times a power of ten (log_axis::gridLines).
// - The band view draws the engine's band levels (Readings: octaves or
//   thirds, made from the averaged powers with the window's noise bandwidth,
//   the weighting and the calibration): the Analysis, while it is measured,
//   as a bar from the graph's foot to its level, in the threshold colour
//   where it lies less than the threshold above the Reference; the
//   Reference as an open box over the band at its level. A band narrower
//   than octave::kMinBandBins bins is hatched in a frame, not filled, so it
//   never looks as reliable as the rest (the status line says why).
// - In the paint buffer the bars, their hatching and frames are written
//   into its pixels (Stroke::fillBox), the very pixels GDI's FillRect and
//   FrameRect give them, at a fraction of the cost under Wine; elsewhere
//   GDI draws them.
// - The band edges go through the same FrequencyAxis as everything else, so
//   the bands line up with the grid, the markers and the three user bands
//   on either axis.
#include <vector>

#include "analysis/BlockAnalysis.h"
#include "foundation/AnalysisSettings.h"
#include "gui/GdiScope.h"
#include "gui/GuiSpectrumGraph.h"

void GuiSpectrumGraph::drawLogGrid(HDC dc, const RECT& rc)
{
    drawGrid(dc, rc, gridPen(), 6, 1);
    GdiSelection selected(dc, gridPen());
    const int inset = scaled(2);
    // Every vertical line in one call (a line as thick as lineWidth() is
    // that many lines a pixel apart).
    std::vector<POINT> points;
    std::vector<DWORD> counts;
    for (const log_axis::GridLine& line : log_axis::gridLines(axis_.logAxis())) {
        const int x = rc.left + axis_.xOfFrequency(line.hz);
        if (x <= rc.left || x >= rc.right - 1)
            continue;
        for (int t = 0; t < lineWidth(); ++t) {
            points.push_back({x + t, rc.top + inset});
            points.push_back({x + t, rc.bottom - inset});
            counts.push_back(2);
        }
    }
    if (!counts.empty())
        PolyPolyline(dc, points.data(), counts.data(), static_cast<DWORD>(counts.size()));
}

bool GuiSpectrumGraph::drawBands(HDC dc, const RECT& rc, bool analysisShown,
                                 const std::function<int(float)>& yOf, double threshold)
{
    ParameterStore* s = store();
    if (!s)
        return false;
    const ShownBands shown = shownBands(*s);
    if (!shown.bands)
        return false;
    const FractionalBands* const bands = shown.bands;
    const Readings* const r = shown.readings;
    const int b = shown.bandsPerOctave;
    // Solid and hatched brushes of the Reference, Analysis and threshold
    // colours, made again only when a colour changes.
    const COLORREF colours[3] = {storeColour(Param::RefColor), storeColour(Param::NoiseColor),
                                 storeColour(Param::ThreshColor)};
    for (int c = 0; c < 3; ++c) {
        if (bandBrushColour_[c] == colours[c] && solid_[c])
            continue;
        solid_[c].reset(CreateSolidBrush(colours[c]));
        hatched_[c].reset(CreateHatchBrush(HS_BDIAGONAL, colours[c]));
        bandBrushColour_[c] = colours[c];
    }
    const GdiObject<HBRUSH>* const solid = solid_;
    const GdiObject<HBRUSH>* const hatched = hatched_;
    BkModeScope mode(dc, TRANSPARENT);
    Stroke stroke(*this, dc, referencePen(), {}, Kind::Trace);
    const int gap = lineWidth();
    // The Reference's outlines go over the Analysis's bars: when a pass with
    // the Analysis follows, it draws them, the same pixels, so this pass
    // leaves them out.
    const bool outlineLater = !analysisShown && s->get(Param::RefMode) == 0;
    auto clampY = [&](float level) {
        const int y = yOf(level);
        return y < rc.top ? static_cast<int>(rc.top) : (y > rc.bottom ? static_cast<int>(rc.bottom) : y);
    };
    for (int i = 0; i < bands->count; ++i) {
        const octave::Band& band = bands->band[i];
        const int x1 = rc.left + axis_.xOfFrequency(band.lower);
        const int x2 = rc.left + axis_.xOfFrequency(band.upper);
        if (x2 - x1 <= gap)
            continue;
        const float ref = r->half[0].bandLevel(b, i);
        const int yRef = clampY(ref);
        // A narrow band: hatched inside a frame of its colour.
        auto bar = [&](int top, int colour) {
            const RECT box{x1 + gap, top, x2, rc.bottom};
            if (stroke.fillBox(box, colours[colour],
                               band.measurable ? GuiSpans::Fill::Solid
                                               : GuiSpans::Fill::HatchedFramed))
                return;
            FillRect(dc, &box, (band.measurable ? solid : hatched)[colour].get());
            if (!band.measurable)
                FrameRect(dc, &box, solid[colour].get());
        };
        if (analysisShown) {
            const float ana = r->half[1].bandLevel(b, i);
            bar(clampY(ana), static_cast<double>(ana) - ref < threshold ? 2 : 1);
        } else if (!band.measurable) {
            bar(yRef, 0);
        }
        if (outlineLater)
            continue;
        POINT box[4] = {{x1 + gap, rc.bottom}, {x1 + gap, yRef}, {x2 - 1, yRef}, {x2 - 1, rc.bottom}};
        stroke.polyline(box, 4);
    }
    return true;
}
