#include "gui/GuiSpectrumGraph.h"

#include "gui/GdiScope.h"
#include "gui/GuiGeometry.h"

GuiSpectrumGraph::GuiSpectrumGraph(GuiOwner* owner) : GuiWindow(owner) {}

bool GuiSpectrumGraph::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                              HWND parent)
{
    return createOwnWindow(GuiStyle::SunkenEx, GuiStyle::Plain, x, y, width, height, caption, id,
                           parent);
}

HBRUSH GuiSpectrumGraph::eraseBrush() const { return storeHandle<HBRUSH>(Param::BackBrush); }
HPEN GuiSpectrumGraph::gridPen() const { return storeHandle<HPEN>(Param::GridPen); }
HPEN GuiSpectrumGraph::referencePen() const { return storeHandle<HPEN>(Param::RefPen); }
HPEN GuiSpectrumGraph::analysisPen() const { return storeHandle<HPEN>(Param::NoisePen); }
HPEN GuiSpectrumGraph::bandPen() const { return storeHandle<HPEN>(Param::FilterPen); }
HPEN GuiSpectrumGraph::belowThresholdPen() const { return storeHandle<HPEN>(Param::ThreshPen); }
COLORREF GuiSpectrumGraph::labelBackgroundColour() const { return storeColour(Param::BackColor); }
COLORREF GuiSpectrumGraph::labelTextColour() const { return storeColour(Param::FilterColor); }
HFONT GuiSpectrumGraph::labelFont() const { return storeFont(Param::MarkerFont); }

LRESULT GuiSpectrumGraph::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        return paint(window);
    case WM_QX_DRAWNOW:
        return canDrawNow(window) ? (paint(window, true), 1) : 0;
    case WM_ERASEBKGND:
        return eraseBackground(window, reinterpret_cast<HDC>(wParam), eraseBrush());
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the class has CS_DBLCLKS: a quick second click is still a click
        mouseDown(window, true, lParam);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        mouseDown(window, false, lParam);
        return 0;
    default:
        return GuiWindow::windowProc(window, message, wParam, lParam);
    }
}

LRESULT GuiSpectrumGraph::paint(HWND window, bool now)
{
    GuiPaint paint(window, ownerPaintBuffer(), now);
    HDC dc = paint.target();
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);

    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    drawGrid(dc, rc, gridPen(), 6, 4);
    drawLatestDisplayBuffer([&](int index, int first) { drawSpectra(window, dc, first, index); });
    paint.present(0, 0, w, h);
    return 0;
}

void GuiSpectrumGraph::drawSpectra(HWND window, HDC target, int firstPass, int bufferIndex)
{
    ParameterStore* s = store();
    if (!s || bufferIndex < 0 || bufferIndex > 2)
        return;
    auto* buffers = s->pointer<const DisplayBuffer*>(Param::DisplayBuffers);
    if (!buffers)
        return;
    const DisplayBuffer& buffer = buffers[bufferIndex];

    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0)
        return;

    int n = s->get(Param::NumSamples);
    if (n > MaxSamples)
        n = MaxSamples;
    const int fs = s->get(Param::SampFrq);
    const double threshold = s->get(Param::DbDiff) / 10.0;
    const GuiGeometry::DbRange range = GuiGeometry::displayRange(s->get(Param::DisplayDb));
    const float bottomDb = static_cast<float>(range.bottom);
    const float pxPerDb = static_cast<float>(h) / static_cast<float>(range.top - range.bottom);
    GuiGeometry::ColumnMapping map = GuiGeometry::columnMapping(n, w);
    // The cache has a place for each column of a graph up to 4096 pixels
    // wide; a wider graph leaves its rightmost columns undrawn.
    if (map.columns > kColumnCacheSize - 1)
        map.columns = kColumnCacheSize - 1;
    const int bottom = rc.bottom;
    auto yOf = [&](float level) { return bottom - static_cast<int>((level - bottomDb) * pxPerDb); };
    // Raw levels are never below 0 dB; calibrated or weighted ones may be,
    // and are drawn down to the bottom of the range.
    const bool raw = s->get(Option::Weighting) == 0 && s->get(Param::CalDate) <= 0;
    const float floor = raw ? 0.0f : bottomDb;

    Stroke stroke(*this, target, bandPen());
    TextColourScope textColour(target, labelTextColour());
    BkColourScope bkColour(target, labelBackgroundColour());

    // Band outlines: an open box over each band at its Reference level.
    const auto* edges = s->pointer<const float*>(Param::BandEdges);
    const auto* refBands = s->pointer<const float*>(Param::RefBandLevels);
    if (edges && refBands && n > 0) {
        for (int k = 0; k < 3; ++k) {
            const int x1 = rc.left + static_cast<int>(edges[k] * 2 * w / n);
            const int x2 = rc.left + static_cast<int>(edges[k + 1] * 2 * w / n);
            if (x1 == x2)
                continue;
            const int yb = yOf(refBands[k]);
            POINT box[4] = {{x1, bottom}, {x1, yb}, {x2, yb}, {x2, bottom}};
            stroke.polyline(box, 4);
        }
    }

    // Traces: one point a column (points_[t - 1] for column t), drawn as
    // polylines; the Analysis in runs of one colour, the segment into column
    // t coloured by whether t lies below the threshold.
    HPEN penAnalysis = analysisPen();
    HPEN penBelow = belowThresholdPen();
    stroke.setPen(referencePen());
    const int sets = firstPass ? 1 : 2;
    for (int set = 0; set < sets; ++set) {
        const float* spectrum = buffer.set[set].spectrum;
        for (int t = 1; t <= map.columns; ++t) {
            const int lo = static_cast<int>((t - 1) * map.binsPerColumn);
            const int hi = static_cast<int>(t * map.binsPerColumn);
            float v = floor;
            for (int b = hi; b > lo; --b)
                if (spectrum[b] > v)
                    v = spectrum[b];
            points_[t - 1] = POINT{static_cast<int>(t * map.xStep), yOf(v)};
            if (set == 1)
                below_[t] = static_cast<double>(v) - columnCache_[t] < threshold;
            columnCache_[t] = v;
        }
        if (set == 0) {
            stroke.polyline(points_, map.columns);
            const int holdBins = buffer.maxHoldBins;
            if (holdBins > 0 && holdBins >= n / 2 && map.columns > 0) {
                traceColumns(buffer.maxHold, map, floor, bottomDb, pxPerDb, bottom);
                stroke.setPen(maxHoldPen());
                stroke.polyline(points_, map.columns);
            }
            continue;
        }
        for (int first = 2; first <= map.columns;) {
            int last = first;
            while (last < map.columns && below_[last + 1] == below_[first])
                ++last;
            stroke.setPen(below_[first] ? penBelow : penAnalysis);
            // Segments first..last join points first - 1 .. last.
            stroke.polyline(points_ + first - 2, last - first + 2);
            first = last + 1;
        }
    }

    // Markers, on the Reference trace of the first pass.
    GdiSelection font(target, labelFont());
    stroke.setPen(bandPen());
    BkModeScope mode(target, TRANSPARENT);
    if (firstPass && fs > 0) {
        for (int id = Param::Marker1; id <= Param::Marker5; ++id) {
            const float f = static_cast<float>(s->get(id));
            if (!(f > 0 && f < fs / 2.0))
                continue;
            const int xm = static_cast<int>(rc.right * f * 2 / fs);
            int c = map.columns > 0 ? xm * map.columns / rc.right : 0;
            if (c < 1)
                c = 1;
            else if (c >= map.columns)
                c = map.columns - 1;
            const int yl = yOf(columnCache_[c < 0 ? 0 : c]);
            wchar_t label[16];
            const int length =
                GuiGeometry::formatMarkerLabel(static_cast<int>(f), label, sizeof label / sizeof *label);
            SIZE extent{};
            GetTextExtentPoint32W(target, label, length, &extent);
            int yt = yl - scaled(100);
            if (yt < extent.cy + scaled(4))
                yt = extent.cy + scaled(4);
            int ye = yl - scaled(15);
            if (ye < yt)
                ye = yt;
            const int lx =
                GuiGeometry::markerLabelLeft(xm, extent.cx, rc.left, rc.right, scaled(2));
            POINT line[2] = {{xm, yt}, {xm, ye}};
            stroke.polyline(line, 2);
            TextOutW(target, rc.left + lx, yt - extent.cy - scaled(2), label, length);
        }
    }
}

void GuiSpectrumGraph::traceColumns(const float* spectrum, const GuiGeometry::ColumnMapping& map,
                                    float floor, float bottomDb, float pxPerDb, int bottom)
{
    for (int t = 1; t <= map.columns; ++t) {
        const int lo = static_cast<int>((t - 1) * map.binsPerColumn);
        const int hi = static_cast<int>(t * map.binsPerColumn);
        float v = floor;
        for (int b = hi; b > lo; --b)
            if (spectrum[b] > v)
                v = spectrum[b];
        points_[t - 1] = POINT{static_cast<int>(t * map.xStep),
                               bottom - static_cast<int>((v - bottomDb) * pxPerDb)};
    }
}

HPEN GuiSpectrumGraph::maxHoldPen()
{
    if (!maxHoldPen_)
        maxHoldPen_.reset(CreatePen(PS_SOLID, 0, RGB(255, 176, 0)));
    return maxHoldPen_.get();
}

void GuiSpectrumGraph::mouseDown(HWND window, bool add, LPARAM lParam)
{
    ParameterStore* s = store();
    if (!s)
        return;
    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const int fs = s->get(Param::SampFrq);
    const unsigned mx = LOWORD(lParam);
    if (w > 0) {
        const float freq = static_cast<float>(fs * static_cast<double>(mx) / 2.0 / w);
        int markers[GuiGeometry::kMarkerCount];
        for (int i = 0; i < GuiGeometry::kMarkerCount; ++i)
            markers[i] = s->get(Param::Marker1 + i);
        if (add) {
            s->set(Param::Marker1 + GuiGeometry::markerPlaceForAdd(markers), static_cast<int>(freq));
        } else {
            const int gone = GuiGeometry::markerToRemove(markers, freq, fs);
            if (gone >= 0) {
                for (int id = Param::Marker1 + gone; id < Param::Marker5; ++id)
                    s->set(id, s->get(id + 1));
                s->set(Param::Marker5, -1);
            }
        }
    }
    InvalidateRect(window, nullptr, FALSE);
}
