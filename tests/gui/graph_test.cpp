// The spectrum graph on the screen: grid, traces and their column mapping,
// threshold colouring, band outlines, display ranges and markers.
//
// Expected pixels are computed here from the drawing rules (rows and columns
// of the grid, bin-to-column mapping, dB-to-row conversion with truncation)
// and compared with what reached the graph's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "TestHost.h"
#include "gui/GuiSpectrumGraph.h"

namespace {

using namespace graph_colours;

class Graph : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<TestHost>();
        graph = &host->adopt(new GuiSpectrumGraph(host.get()));
        ASSERT_TRUE(graph->create(10, 10, kW + 4, kH + 4, nullptr, 120, host->window()));
        pumpMessages();
    }
    void TearDown() override { host.reset(); }

    ParameterStore& store() { return host->params(); }
    Image paint()
    {
        repaint(graph->handle());
        return captureClient(graph->handle());
    }
    // Publishes the spectra at block size n as the engine does.
    void publish(Spectra& s, int n, int refMode = 1)
    {
        store().set(Param::NumSamples, n);
        store().set(Param::RefMode, refMode);
        host->publish(*s.buffer, n);
    }
    // Row of a level with the graph's rule: bottom - trunc((level - bottom) * h / range).
    static int rowOf(float level, int bottomDb, int topDb)
    {
        const float pxPerDb = static_cast<float>(kH) / static_cast<float>(topDb - bottomDb);
        return kH - static_cast<int>((level - static_cast<float>(bottomDb)) * pxPerDb);
    }
    // The column (numbered from 1) that shows bin b, and its x.
    static std::pair<int, int> columnOf(int b, int n)
    {
        const int half = n / 2;
        if (half <= kW) {
            const float step = static_cast<float>(kW) / static_cast<float>(half);
            return {b, static_cast<int>(b * step)};
        }
        const float per = static_cast<float>(half) / static_cast<float>(kW);
        for (int t = 1; t < kW; ++t) {
            const int lo = static_cast<int>((t - 1) * per);
            const int hi = static_cast<int>(t * per);
            if (lo < b && b <= hi)
                return {t, t};
        }
        return {-1, -1};
    }

    std::unique_ptr<TestHost> host;
    GuiSpectrumGraph* graph = nullptr;
};

}  // namespace

TEST_F(Graph, GridOnlyBeforeDataAtComputedRowsAndColumns)
{
    const Image image = paint();
    ASSERT_EQ(image.width(), kW);
    ASSERT_EQ(image.height(), kH);
    std::set<std::pair<int, int>> expected;
    for (int k = 1; k <= 5; ++k) {
        const int y = static_cast<int>(k * kH / 6.0);
        for (int x = 2; x < kW - 2; ++x)
            expected.insert({x, y});
    }
    for (int k = 1; k <= 3; ++k) {
        const int x = static_cast<int>(k * kW / 4.0);
        for (int y = 2; y < kH - 2; ++y)
            expected.insert({x, y});
    }
    // Every pixel is either grid (exactly where expected) or background.
    EXPECT_EQ(pixelsOf(image, kGrid), expected);
    EXPECT_EQ(image.count(kBack) + image.count(kGrid), kW * kH);
    // The rows fall at 33, 66, 100, 133, 166 and the columns at 145, 290, 435.
    EXPECT_TRUE(image.is(145, 100, kGrid));
    EXPECT_TRUE(image.is(2, 33, kGrid));
    EXPECT_TRUE(image.is(1, 33, kBack));
    EXPECT_TRUE(image.is(kW - 3, 166, kGrid));
    EXPECT_TRUE(image.is(kW - 2, 166, kBack));

    // What reached the screen is what was composed in the paint buffer.
    const Image buffer = captureBuffer(*host, 0, 0, kW, kH);
    EXPECT_EQ(pixelsOf(buffer, kGrid), expected);

    // A published buffer is not drawn while DataPresent is 0.
    Spectra s;
    s.fillRef(60.5f);
    publish(s, 1024);
    store().set(Param::DataPresent, 0);
    EXPECT_EQ(pixelsOf(paint(), kGrid), expected);
    EXPECT_EQ(paint().count(kRef), 0);
}

// The kept background picture (fill, grid, band outlines) follows every
// change it shows: after each change, and once more from the kept picture,
// the graph looks exactly as when it draws everything with the paint.
TEST_F(Graph, KeptBackgroundFollowsEveryChangeItShows)
{
    const int n = 1024;
    for (int k = 0; k < 4; ++k) host->bandEdges[k] = 20.0f + 100.0f * k;
    host->refBands[0] = 30.5f;
    host->refBands[1] = 62.5f;
    host->refBands[2] = 90.5f;
    store().set(Param::Marker1, 1000);
    Spectra s;
    s.fillRef(40.0f);
    s.fillAna(70.0f);
    publish(s, n, 0);
    auto differing = [](const Image& a, const Image& b) {
        if (a.width() != b.width() || a.height() != b.height())
            return -1;
        int count = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                count += a.at(x, y) != b.at(x, y);
        return count;
    };
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"nothing", [] {}},
        {"colours", [&] { store().setColours(0x204020, 0x00FFFF, kRef, kAna, kBelow, 0xFF00FF); }},
        {"range", [&] { store().set(Param::DisplayDb, 2); }},
        {"band edges", [&] { host->bandEdges[2] = 250.0f; }},
        {"Reference band level", [&] { host->refBands[1] = 80.0f; }},
        {"block size", [&] { publish(s, 2048, 0); }},
        {"log axis", [&] { store().set(Option::FrequencyAxis, 1); }},
        {"size", [&] { MoveWindow(graph->handle(), 10, 10, kW / 2, kH / 2, TRUE); }},
        {"no data", [&] { store().set(Param::DataPresent, 0); }},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.first);
        change.second();
        const Image first = paint();
        const Image kept = paint();
        graph->setBackgroundKept(false);
        const Image everything = paint();
        graph->setBackgroundKept(true);
        EXPECT_EQ(differing(first, everything), 0);
        EXPECT_EQ(differing(kept, everything), 0);
    }
}

// While the Reference is measured its band levels change with every block:
// the outlines follow them, the background picture is not drawn again.
TEST_F(Graph, OutlinesFollowTheReferenceOverTheKeptPicture)
{
    for (int k = 0; k < 4; ++k) host->bandEdges[k] = 20.0f + 100.0f * k;
    Spectra s;
    s.fillRef(40.0f);
    publish(s, 1024);
    host->refBands[0] = host->refBands[1] = host->refBands[2] = 30.0f;
    paint();
    const int drawn = graph->backgroundDrawings();
    for (float level : {50.0f, 60.0f, 70.0f}) {
        host->refBands[1] = level;
        const Image image = paint();
        // The outline's top over the middle of band 2 (bins 120 to 220).
        const int x = static_cast<int>(170.0f * 2 * kW / 1024);
        int top = -1;
        for (int y = 0; y < image.height() && top < 0; ++y)
            if (image.at(x, y) == kBand)
                top = y;
        EXPECT_EQ(top, rowOf(level, 0, 120)) << level;
    }
    EXPECT_EQ(graph->backgroundDrawings(), drawn);
}

TEST_F(Graph, ColumnMappingAtBothBlockSizes)
{
    const float peak = 88.0f;  // row 200 - trunc(146.67) = 54
    const int peakRow = rowOf(peak, 0, 120);
    ASSERT_EQ(peakRow, 54);

    struct Case {
        int n;
        std::vector<int> bins;      // peaks that must show
        std::vector<int> hidden;    // bins that no column shows
    };
    const Case cases[] = {
        // half = 512 <= 580: 511 columns, 580/512 pixels apart, one bin each
        {1024, {1, 2, 100, 256, 509}, {0, 512}},
        // half = 8192: 579 columns one pixel apart, ~14.12 bins each; the
        // last column ends at bin trunc(579 * 8192 / 580) = 8177
        {16384, {1, 14, 15, 29, 1000, 4097, 8000}, {0, 8178, 8190}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        Spectra s;
        s.fillRef(-10.0f);  // below 0 dB: drawn at 0 dB, the bottom edge, out of sight
        for (int b : c.bins) s.ref()[b] = peak;
        for (int b : c.hidden) s.ref()[b] = peak + 20;
        publish(s, c.n);
        const Image image = paint();
        std::vector<int> expected;
        for (int b : c.bins) expected.push_back(columnOf(b, c.n).second);
        std::sort(expected.begin(), expected.end());
        expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
        EXPECT_EQ(image.topmost(kRef), peakRow);
        EXPECT_EQ(image.columnsWith(kRef, peakRow, peakRow + 1), expected);
        // Between the peaks the trace runs at 0 dB, the bottom edge, out of
        // sight: only the flanks of the peaks reach the last row.
        EXPECT_LE(image.count(kRef, 0, kH - 1, kW, kH), 2 * static_cast<int>(c.bins.size()));
    }
    // Spot values: N = 1024 puts bin 256 at x = trunc(256 * 580 / 512) = 290;
    // N = 16384 puts bin 14 in column 1 and bin 15 in column 2.
    EXPECT_EQ(columnOf(256, 1024).second, 290);
    EXPECT_EQ(columnOf(14, 16384).first, 1);
    EXPECT_EQ(columnOf(15, 16384).first, 2);
}

TEST_F(Graph, EachColumnShowsItsLargestBin)
{
    // Column 3 at N = 16384 holds bins 29..42.
    Spectra s;
    s.fillRef(-10.0f);
    s.ref()[29] = 64.0f;
    s.ref()[42] = 88.0f;  // the last bin of the column counts
    s.ref()[35] = 70.0f;
    publish(s, 16384);
    Image image = paint();
    EXPECT_EQ(image.topmost(kRef), rowOf(88.0f, 0, 120));
    EXPECT_EQ(image.columnsWith(kRef, rowOf(88.0f, 0, 120), rowOf(88.0f, 0, 120) + 1),
              std::vector<int>{3});
    // Bin 28 is the last of column 2, not the first of column 3.
    s.fillRef(-10.0f);
    s.ref()[28] = 88.0f;
    publish(s, 16384);
    image = paint();
    EXPECT_EQ(image.columnsWith(kRef, rowOf(88.0f, 0, 120), rowOf(88.0f, 0, 120) + 1),
              std::vector<int>{2});
}

TEST_F(Graph, AnalysisColouredByThresholdAboveReference)
{
    store().set(Param::DbDiff, 25);  // 2.5 dB
    const float ref = 40.25f;
    const float atThreshold = 42.75f;                       // exactly 2.5 above
    const float justBelow = std::nextafter(atThreshold, 0.0f);  // a hair less
    const int n = 16384;
    const float per = 8192.0f / kW;
    auto firstBin = [&](int t) { return static_cast<int>((t - 1) * per) + 1; };
    auto lastBin = [&](int t) { return static_cast<int>(t * per); };

    Spectra s;
    s.fillRef(ref);
    s.fillAna(ref);
    for (int b = firstBin(100); b <= lastBin(200); ++b) s.ana()[b] = atThreshold;
    for (int b = firstBin(300); b <= lastBin(400); ++b) s.ana()[b] = justBelow;
    publish(s, n, 0);
    const Image image = paint();

    const int upRow = rowOf(atThreshold, 0, 120);
    const int refRow = rowOf(ref, 0, 120);
    ASSERT_EQ(upRow, rowOf(justBelow, 0, 120));  // same row, different colour
    ASSERT_NE(upRow, refRow);
    // The segment ending at column t (pixels t-1 .. t-1 here) takes the colour
    // of column t.
    for (int x = 101; x <= 198; ++x) ASSERT_TRUE(image.is(x, upRow, kAna)) << x;
    for (int x = 301; x <= 398; ++x) ASSERT_TRUE(image.is(x, upRow, kBelow)) << x;
    // Where Analysis equals Reference it is below the threshold, and it is
    // drawn over the Reference.
    for (int x = 10; x <= 90; ++x) ASSERT_TRUE(image.is(x, refRow, kBelow)) << x;
    // The rise into column 100 is its first analysis-coloured segment.
    EXPECT_EQ(image.count(kAna, 0, 0, 99, kH), 0);
    EXPECT_EQ(image.count(kAna, 202, 0, kW, kH), 0);

    // RefMode 1: the Reference alone.
    publish(s, n, 1);
    const Image refOnly = paint();
    EXPECT_EQ(refOnly.count(kAna) + refOnly.count(kBelow), 0);
    for (int x = 10; x <= 500; ++x) ASSERT_TRUE(refOnly.is(x, refRow, kRef)) << x;
    // The hand-over buffer was released after each paint.
    auto* buffers = store().pointer<DisplayBuffer*>(Param::DisplayBuffers);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(buffers[i].inUse.load(), 0);
}

TEST_F(Graph, BandOutlinesAtTheirReferenceLevel)
{
    const int n = 1024;
    const int fs = 12000;
    const float hz[4] = {100, 500, 1500, 4000};
    for (int k = 0; k < 4; ++k) host->bandEdges[k] = hz[k] * n / fs;  // fractional bins
    host->refBands[0] = 30.5f;
    host->refBands[1] = 62.5f;
    host->refBands[2] = 90.5f;
    Spectra s;
    s.fillRef(-5.0f);
    publish(s, n);
    const Image image = paint();

    std::set<std::pair<int, int>> expected;
    for (int k = 0; k < 3; ++k) {
        const int x1 = static_cast<int>(host->bandEdges[k] * 2 * kW / n);
        const int x2 = static_cast<int>(host->bandEdges[k + 1] * 2 * kW / n);
        const int yb = rowOf(host->refBands[k], 0, 120);
        for (int y = yb + 1; y < kH; ++y) expected.insert({x1, y});
        for (int x = x1; x < x2; ++x) expected.insert({x, yb});
        for (int y = yb; y < kH; ++y) expected.insert({x2, y});
    }
    EXPECT_EQ(pixelsOf(image, kBand), expected);
    // Spot check: band 3 (1500..4000 Hz) sits at 90.5 dB, row 50, from x 145 to 386.
    EXPECT_TRUE(image.is(200, 50, kBand));
    EXPECT_TRUE(image.is(386, 120, kBand));

    // A band whose edges map to one column is not outlined.
    host->bandEdges[0] = host->bandEdges[1] = 0.1f;
    host->bandEdges[2] = host->bandEdges[3] = 0.2f;
    EXPECT_EQ(paint().count(kBand), 0);
}

TEST_F(Graph, DisplayRangesPlaceLevels)
{
    struct Case {
        int selector;
        int bottom;
        int top;
        float level;
    };
    const Case cases[] = {
        {1, 0, 120, 71.0f},     {1, 0, 120, 0.7f},    {1, 0, 120, 119.5f},
        {2, 40, 100, 71.0f},    {2, 40, 100, 40.4f},  {2, 40, 100, 99.8f},
        {3, -30, 90, 1.0f},     {3, -30, 90, 0.5f},   {3, -30, 90, 89.5f},
        {7, 0, 120, 71.0f},  // any other selector reads as 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        SCOPED_TRACE(c.level);
        store().set(Param::DisplayDb, c.selector);
        Spectra s;
        s.fillRef(c.level);
        publish(s, 16384);
        const Image image = paint();
        const int y = rowOf(c.level, c.bottom, c.top);
        ASSERT_GE(y, 0);
        ASSERT_LT(y, kH);
        EXPECT_EQ(image.rowsWith(kRef, 0, kW), std::vector<int>{y});
        for (int x = 1; x <= kW - 3; ++x) ASSERT_TRUE(image.is(x, y, kRef)) << x;
    }
    // The extremes: 40.4 dB sits on the last row in range 2, 99.8 on row 1.
    EXPECT_EQ(rowOf(40.4f, 40, 100), kH - 1);
    EXPECT_EQ(rowOf(99.8f, 40, 100), 1);
    // In the 40..100 range a level below 40 dB is out of sight below.
    store().set(Param::DisplayDb, 2);
    Spectra s;
    s.fillRef(30.0f);
    publish(s, 16384);
    EXPECT_EQ(paint().count(kRef), 0);
    // In the -30..90 range negative levels are drawn at 0 dB (row 150).
    store().set(Param::DisplayDb, 3);
    s.fillRef(-20.0f);
    publish(s, 16384);
    EXPECT_EQ(paint().rowsWith(kRef, 0, kW), std::vector<int>{rowOf(0.0f, -30, 90)});
    EXPECT_EQ(rowOf(0.0f, -30, 90), 150);
}

TEST_F(Graph, MouseAddsReplacesAndRemovesMarkers)
{
    Spectra s;
    s.fillRef(60.5f);
    publish(s, 16384);
    pumpMessages();
    auto markers = [&] {
        std::vector<int> m;
        for (int id = Param::Marker1; id <= Param::Marker5; ++id) m.push_back(store().get(id));
        return m;
    };
    // Shift+click: exactly where clicked. freq = 12000 * x / 2 / 580: x = 58
    // gives 600 Hz, and so on.
    auto shiftClick = [&](int x) {
        SendMessageW(graph->handle(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(x, 100));
    };
    for (int x : {58, 116, 174, 232, 290}) shiftClick(x);
    EXPECT_EQ(markers(), (std::vector<int>{600, 1200, 1800, 2400, 3000}));
    host->notifications.clear();
    shiftClick(348);  // sixth: the oldest goes, and the owner is told
    EXPECT_EQ(markers(), (std::vector<int>{1200, 1800, 2400, 3000, 3600}));
    EXPECT_EQ(host->notifications, (std::vector<int>{GuiSpectrumGraph::kMarkerReplaced}));

    // Right click at 1241 Hz: 41 Hz from 1200, within 1 % of fs/2 (60 Hz).
    clickAt(graph->handle(), 120, 100, true);
    EXPECT_EQ(markers(), (std::vector<int>{1800, 2400, 3000, 3600, -1}));
    // Right click at 1500 Hz: 300 Hz from the nearest; nothing changes.
    clickAt(graph->handle(), 145, 100, true);
    // Right click at 2462 Hz (x = 238): 62 Hz from 2400, just outside.
    clickAt(graph->handle(), 238, 100, true);
    EXPECT_EQ(markers(), (std::vector<int>{1800, 2400, 3000, 3600, -1}));
    // At 2431 Hz (x = 235) it is within reach.
    clickAt(graph->handle(), 235, 100, true);
    EXPECT_EQ(markers(), (std::vector<int>{1800, 3000, 3600, -1, -1}));
    // With a free place a click fills it.
    shiftClick(29);
    EXPECT_EQ(markers(), (std::vector<int>{1800, 3000, 3600, 300, -1}));
    pumpMessages();

    // The clicks redrew the graph: a marker line at each marker's x.
    const Image image = captureClient(graph->handle());
    for (int f : {1800, 3000, 3600, 300}) {
        const int xm = static_cast<int>(kW * static_cast<float>(f) * 2 / 12000);
        EXPECT_GT(image.count(kBand, xm, 0, xm + 1, kH), 10) << f;
    }

    // A click that changes nothing still asks for a redraw.
    ValidateRect(graph->handle(), nullptr);
    SendMessageW(graph->handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(500, 10));
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(graph->handle(), &update, FALSE));
    EXPECT_EQ(markers(), (std::vector<int>{1800, 3000, 3600, 300, -1}));
}

// A click a few pixels beside a peak sets the marker on the peak; with
// Shift, where clicked.
TEST_F(Graph, AClickBesideAPeakSnapsToIt)
{
    Spectra s;
    s.fillRef(40.0f);
    s.ref()[1366] = 80.0f;  // 1000.5 Hz at 16384 samples and 12000 Hz
    publish(s, 16384);
    // x = 99 is 1024 Hz, 2.3 pixels right of the peak's 96.7.
    SendMessageW(graph->handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(99, 100));
    EXPECT_EQ(store().get(Param::Marker1), 1000);
    SendMessageW(graph->handle(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(99, 100));
    EXPECT_EQ(store().get(Param::Marker2), 1024);
    // Ten pixels off, the peak is out of reach.
    SendMessageW(graph->handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(107, 100));
    EXPECT_EQ(store().get(Param::Marker3), 1106);
}

// Each label reads the frequency and both levels there, and no trace runs
// through it: above the traces where there is room, else below them.
TEST_F(Graph, MarkerLabelsReadTheLevelsWhereNoTraceCoversThem)
{
    Spectra s;
    s.fillRef(60.0f);
    s.fillAna(84.0f);
    publish(s, 16384, 0);
    store().set(Param::Marker1, 3000);
    Image image = paint();
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, store().handle<HFONT>(Param::MarkerFont));
    SIZE e;
    GetTextExtentPoint32W(dc, L"3000 Hz  R 60.0  A 84.0 dB", 26, &e);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    const int yAna = rowOf(84.0f, 0, 120);
    const int lx = 290 - e.cx / 2;
    // The label's white ink lies above the Analysis trace, clear of it, and
    // spans about the text's width; the line joins it to the trace.
    EXPECT_GT(image.count(kBand, lx, 0, lx + e.cx, yAna - 14), 40);
    EXPECT_EQ(image.count(kBand, 0, yAna - 1, kW, yAna + 2), 0) << "nothing white on the trace";
    EXPECT_EQ(image.count(kBand, 0, 0, lx - 1, kH), 0);
    EXPECT_GT(image.count(kBand, 290, yAna - 12, 291, yAna - 3), 3) << "the line";
    qxsupport::screenshot(graph->handle(), "graph_marker_label");

    // Traces near the top leave no room above: the label goes below them.
    s.fillRef(110.0f);
    s.fillAna(112.0f);
    publish(s, 16384, 0);
    image = paint();
    const int yRef = rowOf(110.0f, 0, 120);
    EXPECT_GT(image.count(kBand, lx, yRef + 2, lx + e.cx, kH), 40);
    EXPECT_EQ(image.count(kBand, 0, 0, kW, yRef), 0) << "nothing above the traces";

    // Markers at fs/2 or beyond, or at 0, stay in the list but are not drawn.
    store().set(Param::Marker1, 6000);
    store().set(Param::Marker2, 0);
    store().set(Param::Marker3, 7000);
    EXPECT_EQ(paint().count(kBand), 0);
    EXPECT_EQ(store().get(Param::Marker1), 6000);
}

TEST_F(Graph, PaintsStraightToTheScreenWithoutPaintBuffer)
{
    host->lendBuffer(false);
    Spectra s;
    s.fillRef(71.0f);
    publish(s, 1024);
    const Image image = paint();
    EXPECT_TRUE(image.is(145, 100, kGrid));
    EXPECT_EQ(image.rowsWith(kRef, 0, kW), std::vector<int>{rowOf(71.0f, 0, 120)});
    host->lendBuffer(true);
}

// At 200 % the graph is laid out twice as large, has a column for each of its
// pixels, and draws its grid and traces two pixels thick: the hairline again,
// one pixel right and down.
TEST(GraphAtDpi, TwiceTheColumnsAndLinesTwoPixelsThickAt192Dpi)
{
    TestHost host;
    host.params().setDpi(192);
    auto& graph = host.adopt(new GuiSpectrumGraph(&host));
    ASSERT_TRUE(graph.create(5, 5, kW / 2 + 2, kH / 2 + 2, nullptr, 120, host.window()));
    pumpMessages();
    repaint(graph.handle());
    Image image = captureClient(graph.handle());
    ASSERT_EQ(image.width(), kW);  // (290 + 2 client edges) x 2 - 4
    ASSERT_EQ(image.height(), kH);
    // The grid's rows and columns are each two pixels wide, 4 pixels short of
    // the edges.
    for (int k = 1; k <= 5; ++k) {
        const int y = static_cast<int>(k * kH / 6.0);
        EXPECT_TRUE(image.is(4, y, kGrid) && image.is(4, y + 1, kGrid)) << "row " << y;
        EXPECT_TRUE(image.is(4, y - 1, kBack) && image.is(4, y + 2, kBack)) << "row " << y;
        EXPECT_TRUE(image.is(3, y, kBack)) << "row " << y;
    }
    const int x = static_cast<int>(kW / 4.0);
    EXPECT_TRUE(image.is(x, 50, kGrid) && image.is(x + 1, 50, kGrid));
    EXPECT_TRUE(image.is(x - 1, 50, kBack) && image.is(x + 2, 50, kBack));

    // A flat Reference at N = 2048: 1024 bins on 580 pixels, 579 columns; the
    // trace is two rows thick.
    Spectra s;
    s.fillRef(70.0f);
    host.params().set(Param::NumSamples, 2048);
    host.params().set(Param::RefMode, 1);
    host.publish(*s.buffer, 2048);
    repaint(graph.handle());
    image = captureClient(graph.handle());
    const int row = kH - static_cast<int>(70.0f * (static_cast<float>(kH) / 120.0f));  // 84
    EXPECT_GE(image.count(kRef, 10, row, kW - 10, row + 1), kW - 30);
    EXPECT_GE(image.count(kRef, 10, row + 1, kW - 10, row + 2), kW - 30);
    EXPECT_EQ(image.count(kRef, 10, row + 2, kW - 10, kH), 0);
}

// With every block the main window has the graph draw itself at once
// (WM_QX_DRAWNOW) instead of waiting for WM_PAINT: the new trace reaches the
// screen before any message is handled. A graph that cannot draw now (hidden,
// or without a paint buffer) answers 0, and the caller invalidates it.
TEST_F(Graph, DrawsNewDataAtOnceWhenAskedAndOnlyWhenItCan)
{
    Spectra s;
    s.fillRef(71.0f);
    publish(s, 1024);
    repaint(graph->handle());
    ASSERT_EQ(captureClient(graph->handle()).rowsWith(kRef, 0, kW),
              std::vector<int>{rowOf(71.0f, 0, 120)});

    s.fillRef(50.0f);
    publish(s, 1024);
    ASSERT_TRUE(GetUpdateRect(graph->handle(), nullptr, FALSE) == FALSE);  // nothing to paint
    EXPECT_EQ(SendMessageW(graph->handle(), WM_QX_DRAWNOW, 0, 0), 1);
    EXPECT_EQ(captureClient(graph->handle()).rowsWith(kRef, 0, kW),
              std::vector<int>{rowOf(50.0f, 0, 120)});

    host->lendBuffer(false);
    EXPECT_EQ(SendMessageW(graph->handle(), WM_QX_DRAWNOW, 0, 0), 0);
    host->lendBuffer(true);
    ShowWindow(graph->handle(), SW_HIDE);
    EXPECT_EQ(SendMessageW(graph->handle(), WM_QX_DRAWNOW, 0, 0), 0);
    ShowWindow(graph->handle(), SW_SHOW);
}
