#include "gui/GuiSpectrumGraph.h"

#include <algorithm>
#include <cmath>

#include "foundation/AnalysisSettings.h"
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
        mouseDown(window, true, wParam, lParam);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        mouseDown(window, false, wParam, lParam);
        return 0;
    default:
        return GuiWindow::windowProc(window, message, wParam, lParam);
    }
}

LRESULT GuiSpectrumGraph::paint(HWND window, bool now)
{
    GuiPaint paint(window, ownerPaintBuffer(), now);
    HDC dc = paint.target();

    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    updateAxis(w);
    bool background = false;
    drawLatestDisplayBuffer([&](int index, int first) {
        if (!background)
            showBackground(window, dc, paint.buffered(), true);
        background = true;
        drawSpectra(window, dc, first, index);
    });
    if (!background)
        showBackground(window, dc, paint.buffered(), false);
    paint.present(0, 0, w, h);
    return 0;
}

void GuiSpectrumGraph::updateAxis(int width)
{
    ParameterStore* s = store();
    if (!s)
        return;
    int n = s->get(Param::NumSamples);
    if (n > MaxSamples)
        n = MaxSamples;
    // The cache has a place for each column of a graph up to 4096 pixels
    // wide; a wider graph leaves its rightmost columns undrawn.
    axis_.update(s->get(Option::FrequencyAxis) == 1, s->get(Param::SampFrq), n, width,
                 kColumnCacheSize - 1);
}

bool GuiSpectrumGraph::BackgroundKey::operator==(const BackgroundKey& o) const
{
    // The outlines are drawn over the picture, not into it: not compared.
    return basics == o.basics && samples == o.samples && range == o.range &&
           logarithmic == o.logarithmic && sampFrq == o.sampFrq;
}

GuiSpectrumGraph::BackgroundKey GuiSpectrumGraph::backgroundKey(HWND window, bool outlines) const
{
    BackgroundKey key;
    key.basics = backgroundBasics(window, eraseBrush(), gridPen());
    key.band = bandPen();
    ParameterStore* s = store();
    if (!s)
        return key;
    key.samples = s->get(Param::NumSamples) < MaxSamples ? s->get(Param::NumSamples) : MaxSamples;
    key.range = s->get(Param::DisplayDb);
    key.logarithmic = s->get(Option::FrequencyAxis) == 1;
    key.sampFrq = s->get(Param::SampFrq);
    const auto* edges = s->pointer<const float*>(Param::BandEdges);
    const auto* refBands = s->pointer<const float*>(Param::RefBandLevels);
    key.outlines = outlines && edges && refBands && key.samples > 0;
    if (key.outlines) {
        std::copy(edges, edges + 4, key.edges);
        std::copy(refBands, refBands + 3, key.refBands);
    }
    return key;
}

void GuiSpectrumGraph::showBackground(HWND window, HDC target, bool buffered, bool outlines)
{
    const BackgroundKey key = backgroundKey(window, outlines);
    auto draw = [&](HDC dc, GuiSpans::Picture) { drawBackground(dc, key); };
    if (!buffered)
        draw(target, GuiSpans::Picture{});
    else
        background_.show(window, target, key, key.basics.width, key.basics.height, draw);
    // The band outlines stand at the Reference's levels, which change with
    // every block while the Reference is measured: drawn over the picture
    // with each paint, so that the picture itself stays as it is.
    drawOutlines(target, key);
}

void GuiSpectrumGraph::drawBackground(HDC dc, const BackgroundKey& key)
{
    const int w = key.basics.width;
    const int h = key.basics.height;
    if (key.logarithmic) {
        const RECT rc{0, 0, w, h};
        if (key.basics.erase)
            FillRect(dc, &rc, key.basics.erase);
        drawLogGrid(dc, rc);
    } else {
        drawBackgroundBasics(dc, key.basics, 6, 4);
    }
}

void GuiSpectrumGraph::drawOutlines(HDC dc, const BackgroundKey& key)
{
    const int w = key.basics.width;
    const int h = key.basics.height;
    if (!key.outlines || w <= 0 || h <= 0)
        return;

    // Band outlines: an open box over each band at its Reference level.
    const GuiGeometry::DbRange range = GuiGeometry::displayRange(key.range);
    const float bottomDb = static_cast<float>(range.bottom);
    const float pxPerDb = static_cast<float>(h) / static_cast<float>(range.top - range.bottom);
    const int bottom = h;
    Stroke stroke(*this, dc, key.band);
    for (int k = 0; k < 3; ++k) {
        const int x1 = axis_.xOfBin(key.edges[k]);
        const int x2 = axis_.xOfBin(key.edges[k + 1]);
        if (x1 == x2)
            continue;
        const int yb = bottom - static_cast<int>((key.refBands[k] - bottomDb) * pxPerDb);
        POINT box[4] = {{x1, bottom}, {x1, yb}, {x2, yb}, {x2, bottom}};
        stroke.polyline(box, 4);
    }
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
    updateAxis(w);
    const int columns = axis_.columns();
    const int bottom = rc.bottom;
    auto yOf = [&](float level) { return bottom - static_cast<int>((level - bottomDb) * pxPerDb); };
    // Raw levels are never below 0 dB; calibrated or weighted ones may be,
    // and are drawn down to the bottom of the range.
    const bool raw = s->get(Option::Weighting) == 0 && s->get(Param::CalDate) <= 0;
    const float floor = raw ? 0.0f : bottomDb;

    Stroke stroke(*this, target, bandPen(), {}, Kind::Trace);
    TextColourScope textColour(target, labelTextColour());
    BkColourScope bkColour(target, labelBackgroundColour());

    // Traces: one point a column (points_[t - 1] for column t), drawn as
    // polylines; the Analysis in runs of one colour, the segment into column
    // t coloured by whether t lies below the threshold. The first pass has
    // drawn the Reference and the hold: the second only reads the Reference.
    HPEN penAnalysis = analysisPen();
    HPEN penBelow = belowThresholdPen();
    stroke.setPen(referencePen());
    const int sets = firstPass ? 1 : 2;
    const bool bands = drawBands(target, rc, !firstPass, yOf, threshold);
    for (int set = 0; set < (bands ? 0 : sets); ++set) {
        const float* spectrum = buffer.set[set].spectrum;
        for (int t = 1; t <= columns; ++t) {
            const float v = axis_.columnValue(spectrum, t, floor);
            points_[t - 1] = POINT{axis_.columnX(t), yOf(v)};
            if (set == 1)
                below_[t] = static_cast<double>(v) - columnCache_[t] < threshold;
            columnCache_[t] = v;
            noteTraceRow(set, t, yOf(v > 0.0f ? v : 0.0f));
        }
        if (set == 0 && !firstPass && background_.kept())
            continue;
        if (set == 0) {
            stroke.polyline(points_, columns);
            const int holdBins = buffer.maxHoldBins;
            if (holdBins > 0 && holdBins >= n / 2 && columns > 0) {
                traceColumns(buffer.maxHold, floor, bottomDb, pxPerDb, bottom);
                stroke.setPen(maxHoldPen());
                stroke.polyline(points_, columns);
            }
            continue;
        }
        // In one pass where the stroke writes pixels: the segment into
        // point i is the segment into column i + 1.
        if (columns >= 2 &&
            stroke.polylineInTwoPens(points_, columns, below_ + 1, penAnalysis, penBelow))
            continue;
        for (int first = 2; first <= columns;) {
            int last = first;
            while (last < columns && below_[last + 1] == below_[first])
                ++last;
            stroke.setPen(below_[first] ? penBelow : penAnalysis);
            // Segments first..last join points first - 1 .. last.
            stroke.polyline(points_ + first - 2, last - first + 2);
            first = last + 1;
        }
    }

    // Markers, once every trace is drawn (the last pass): a line down to the
    // trace and a label with the levels there, above every trace over the
    // label's width, or below them all where there is no room above.
    const bool lastPass = !firstPass || s->get(Param::RefMode) != 0;
    if (!lastPass || fs <= 0 || n < 2 || columns < 1)
        return;
    // Without traces (the band view) the rows of the spectra the markers
    // read, column by column as the labels need them.
    ++rowsPaint_;
    auto columnTop = [&](int x, int& highest, int& lowest) {
        const int t = axis_.columnAt(x);
        if (bands && rowsNoted_[t] != rowsPaint_) {
            rowsNoted_[t] = rowsPaint_;
            for (int set = 0; set < sets; ++set)
                noteTraceRow(set, t, yOf(axis_.columnValue(buffer.set[set].spectrum, t, 0.0f)));
        }
        highest = traceTop_[t] < highest ? traceTop_[t] : highest;
        lowest = traceBottom_[t] > lowest ? traceBottom_[t] : lowest;
    };
    GdiSelection font(target, labelFont());
    stroke.setPen(bandPen());
    BkModeScope mode(target, TRANSPARENT);
    const int gap = scaled(4);
    // The trace's unit: its weighting, and SPL under a valid calibration.
    static const wchar_t* const kUnits[2][3] = {{L"dB", L"dB(A)", L"dB(C)"},
                                                {L"dB SPL", L"dB(A) SPL", L"dB(C) SPL"}};
    const int weighting = s->get(Option::Weighting);
    const wchar_t* const unit =
        kUnits[calibrationState(*s) == CalibrationState::Valid ? 1 : 0]
              [weighting >= 0 && weighting < 3 ? weighting : 0];
    // The labels drawn so far: a label that would cover one moves a line up
    // (or down, with no room above), so markers close together stay legible.
    RECT placed[GuiGeometry::kMarkerCount];
    int placedCount = 0;
    for (int id = Param::Marker1; id <= Param::Marker5; ++id) {
        const int f = s->get(id);
        if (!(f > 0 && f < fs / 2))
            continue;
        int k = static_cast<int>((static_cast<long long>(f) * n + fs / 2) / fs);
        k = k < 1 ? 1 : (k > n / 2 ? n / 2 : k);
        const float ana = buffer.set[1].spectrum[k];
        wchar_t label[64];
        const int length = GuiGeometry::formatMarkerLabel(
            f, buffer.set[0].spectrum[k], firstPass ? nullptr : &ana, label, 64, unit);
        SIZE extent{};
        GetTextExtentPoint32W(target, label, length, &extent);
        const int xm = axis_.xOfMarker(f);
        const int lx = GuiGeometry::markerLabelLeft(xm, extent.cx, rc.left, rc.right, scaled(2));
        int markerTop = bottom, markerBottom = rc.top;
        columnTop(xm, markerTop, markerBottom);
        int highest = markerTop, lowest = markerBottom;
        for (int x = lx; x <= lx + extent.cx; ++x)
            columnTop(x, highest, lowest);
        int ly = highest - scaled(15) - extent.cy;  // above every trace
        POINT line[2] = {{xm, ly + extent.cy + scaled(2)}, {xm, markerTop - scaled(2)}};
        if (ly < rc.top + scaled(2)) {
            ly = lowest + gap;  // below them all
            if (ly + extent.cy > bottom - scaled(2))
                ly = rc.top + scaled(2);  // no free room: at the top
            line[0] = POINT{xm, markerBottom + scaled(2)};
            line[1] = POINT{xm, ly - scaled(2)};
        }
        const bool above = line[0].y <= line[1].y && line[0].y > ly;
        auto covers = [&](int top) {
            const RECT r{rc.left + lx, top, rc.left + lx + extent.cx, top + extent.cy};
            RECT common;
            for (int i = 0; i < placedCount; ++i)
                if (IntersectRect(&common, &r, &placed[i]))
                    return true;
            return false;
        };
        for (int tries = 0; tries < GuiGeometry::kMarkerCount && covers(ly); ++tries) {
            const int up = ly - extent.cy - scaled(2);
            ly = up >= rc.top + scaled(2) ? up : ly + extent.cy + scaled(2);
        }
        if (above)
            line[0].y = ly + extent.cy + scaled(2);
        else
            line[1].y = ly - scaled(2);
        if (placedCount < GuiGeometry::kMarkerCount)
            placed[placedCount++] = RECT{rc.left + lx, ly, rc.left + lx + extent.cx, ly + extent.cy};
        if (line[1].y > line[0].y)
            stroke.polyline(line, 2);
        TextOutW(target, rc.left + lx, ly, label, length);
    }
}

void GuiSpectrumGraph::noteTraceRow(int set, int t, int y)
{
    if (set == 0) {
        traceTop_[t] = traceBottom_[t] = y;
        return;
    }
    traceTop_[t] = y < traceTop_[t] ? y : traceTop_[t];
    traceBottom_[t] = y > traceBottom_[t] ? y : traceBottom_[t];
}

void GuiSpectrumGraph::traceColumns(const float* spectrum, float floor, float bottomDb,
                                    float pxPerDb, int bottom)
{
    for (int t = 1; t <= axis_.columns(); ++t) {
        const float v = axis_.columnValue(spectrum, t, floor);
        points_[t - 1] = POINT{axis_.columnX(t),
                               bottom - static_cast<int>((v - bottomDb) * pxPerDb)};
    }
}

HPEN GuiSpectrumGraph::maxHoldPen()
{
    if (!maxHoldPen_)
        maxHoldPen_.reset(CreatePen(PS_SOLID, 0, RGB(255, 176, 0)));
    return maxHoldPen_.get();
}

void GuiSpectrumGraph::mouseDown(HWND window, bool add, WPARAM keys, LPARAM lParam)
{
    ParameterStore* s = store();
    if (!s)
        return;
    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const int fs = s->get(Param::SampFrq);
    const int mx = static_cast<short>(LOWORD(lParam));
    if (w > 0) {
        updateAxis(w);
        float freq = static_cast<float>(axis_.frequencyAt(mx));
        int markers[GuiGeometry::kMarkerCount];
        for (int i = 0; i < GuiGeometry::kMarkerCount; ++i)
            markers[i] = s->get(Param::Marker1 + i);
        if (add) {
            // A click a few pixels off a peak means the peak; Shift+click
            // means the place clicked.
            if (!(keys & MK_SHIFT))
                freq = snappedFrequency(freq, w);
            placeMarker(freq);
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

void GuiSpectrumGraph::placeMarker(float freq)
{
    ParameterStore* s = store();
    if (!s)
        return;
    int markers[GuiGeometry::kMarkerCount];
    for (int i = 0; i < GuiGeometry::kMarkerCount; ++i)
        markers[i] = s->get(Param::Marker1 + i);
    int place = GuiGeometry::markerPlaceForAdd(markers);
    if (place == GuiGeometry::kMarkerReplacesOldest) {
        for (int id = Param::Marker1; id < Param::Marker5; ++id)
            s->set(id, s->get(id + 1));
        place = GuiGeometry::kMarkerCount - 1;
        if (owner_)
            owner_->notify(Notification(kMarkerReplaced));
    }
    s->set(Param::Marker1 + place, static_cast<int>(freq));
    if (HWND h = handle())
        InvalidateRect(h, nullptr, FALSE);
}

int GuiSpectrumGraph::newestMarker() const
{
    ParameterStore* s = store();
    int newest = -1;
    for (int i = 0; s && i < GuiGeometry::kMarkerCount; ++i)
        if (s->get(Param::Marker1 + i) > 0)
            newest = i;
    return newest;
}

void GuiSpectrumGraph::addMarkerAtPeak()
{
    ParameterStore* s = store();
    if (!s)
        return;
    const int n = s->get(Param::NumSamples);
    const int fs = s->get(Param::SampFrq);
    auto* buffers = s->pointer<const DisplayBuffer*>(Param::DisplayBuffers);
    if (n < 2 || n > MaxSamples || fs <= 0 || !buffers || s->get(Param::DataPresent) == 0)
        return;
    int bin = -1;
    drawLatestDisplayBuffer([&](int index, int first) {
        bin = GuiGeometry::snapToPeak(buffers[index].set[first ? 0 : 1].spectrum, n / 4, n / 2,
                                      n / 2 - 1);
    });
    if (bin > 0)
        placeMarker(static_cast<float>(static_cast<double>(bin) * fs / n));
}

void GuiSpectrumGraph::moveNewestMarker(int columns)
{
    ParameterStore* s = store();
    const int newest = newestMarker();
    HWND h = handle();
    RECT rc{};
    if (!s || newest < 0 || !h || !GetClientRect(h, &rc) || rc.right <= 0)
        return;
    const int fs = s->get(Param::SampFrq);
    updateAxis(rc.right);
    const int now = s->get(Param::Marker1 + newest);
    double f;
    if (axis_.logarithmic()) {
        // A column on: at the low end, where a column is less than a hertz
        // wide, at least a hertz.
        f = axis_.frequencyAt(axis_.logAxis().x(now) + columns);
        if (std::abs(f - now) < 1.0)
            f = now + (columns < 0 ? -1.0 : 1.0);
    } else {
        const double perColumn = fs / 2.0 / rc.right;
        f = now + columns * (perColumn > 1.0 ? perColumn : 1.0);
    }
    if (f < 1.0)
        f = 1.0;
    if (f > fs / 2.0 - 1.0)
        f = fs / 2.0 - 1.0;
    s->set(Param::Marker1 + newest, static_cast<int>(f));
    InvalidateRect(h, nullptr, FALSE);
}

void GuiSpectrumGraph::removeNewestMarker()
{
    ParameterStore* s = store();
    const int newest = newestMarker();
    if (!s || newest < 0)
        return;
    s->set(Param::Marker1 + newest, -1);
    if (HWND h = handle())
        InvalidateRect(h, nullptr, FALSE);
}

// The frequency of the highest bin within four layout pixels of `freq`, in
// the newest spectrum shown (the Analysis while it is measured); `freq`
// itself without data.
float GuiSpectrumGraph::snappedFrequency(float freq, int width)
{
    ParameterStore* s = store();
    const int n = s->get(Param::NumSamples);
    const int fs = s->get(Param::SampFrq);
    if (n < 2 || n > MaxSamples || fs <= 0 || width <= 0)
        return freq;
    const int clicked = static_cast<int>(freq * n / fs + 0.5f);
    int reach = static_cast<int>(static_cast<long long>(scaled(4)) * (n / 2) / width);
    if (axis_.logarithmic()) {
        // The bins within four layout pixels either side of the click.
        const double x = axis_.logAxis().x(freq);
        const double span = (axis_.frequencyAt(x + scaled(4)) - axis_.frequencyAt(x - scaled(4))) / 2;
        reach = static_cast<int>(span * n / fs);
    }
    auto* buffers = s->pointer<const DisplayBuffer*>(Param::DisplayBuffers);
    int bin = -1;
    if (buffers)
        drawLatestDisplayBuffer([&](int index, int first) {
            bin = GuiGeometry::snapToPeak(buffers[index].set[first ? 0 : 1].spectrum, clicked,
                                          reach, n / 2);
        });
    return bin < 0 ? freq : static_cast<float>(static_cast<double>(bin) * fs / n);
}
