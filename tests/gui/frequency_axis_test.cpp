// The logarithmic frequency axis and the band view on the screen: the grid
// at 1-2-5 per decade, the user bands and markers where the axis puts their
// frequencies, octave and third-octave bars in the threshold colours with
// the narrow bands hatched, and the axis labels, measured with the real
// font's text extents at both extremes of the settings and at 96 and 192 DPI.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "TestHost.h"
#include "analysis/BlockAnalysis.h"
#include "gui/GuiDpi.h"
#include "gui/GuiFrequencyScale.h"
#include "gui/GuiGeometry.h"
#include "gui/GuiSpectrumGraph.h"

namespace {

using namespace graph_colours;

// x of `hz` on a log axis from fmin to fmax across kW pixels.
int logX(double hz, double fmin, double fmax)
{
    return static_cast<int>(std::floor((kW - 1) * std::log10(hz / fmin) / std::log10(fmax / fmin) + 0.5));
}

int rowOf(float level)
{
    return kH - static_cast<int>(level * (static_cast<float>(kH) / 120.0f));
}

struct LogGraph : ::testing::Test {
    void SetUp() override
    {
        graph = &host->adopt(new GuiSpectrumGraph(host.get()));
        ASSERT_TRUE(graph->create(10, 10, kW + 4, kH + 4, nullptr, 120, host->window()));
        store().set(Param::Readings, reinterpret_cast<intptr_t>(readings.get()));
        store().set(Option::FrequencyAxis, 1);
        pumpMessages();
    }
    ParameterStore& store() { return host->params(); }
    Image paint()
    {
        repaint(graph->handle());
        return captureClient(graph->handle());
    }
    std::unique_ptr<TestHost> host = std::make_unique<TestHost>();
    std::unique_ptr<Readings> readings = std::make_unique<Readings>();
    GuiSpectrumGraph* graph = nullptr;
};

}  // namespace

// At 4000 Hz / 1024 the axis runs from 10 Hz to 2 kHz: a grid line at every
// 1, 2 and 5 (none at the linear grid's quarters), the user bands' outlines
// and a marker's line at their frequencies on that axis.
TEST_F(LogGraph, GridBandOutlinesAndMarkersFollowTheLogAxis)
{
    const int n = 1024, fs = 4000;
    store().set(Param::SampFrq, fs);
    store().set(Param::Marker1, 300);
    const float hz[4] = {100, 500, 1000, 1500};
    for (int k = 0; k < 4; ++k) host->bandEdges[k] = hz[k] * n / fs;
    host->refBands[0] = host->refBands[1] = host->refBands[2] = 60.0f;
    Spectra s;
    s.fillRef(20.0f);
    store().set(Param::NumSamples, n);
    store().set(Param::RefMode, 1);
    host->publish(*s.buffer, n);
    const Image image = paint();
    const int y = rowOf(100.0f);  // above everything but the grid
    for (double line : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0}) {
        EXPECT_TRUE(image.is(logX(line, 10.0, 2000.0), y, kGrid)) << line;
    }
    EXPECT_FALSE(image.is(kW / 4, y, kGrid));
    for (float edge : hz)
        EXPECT_TRUE(image.is(logX(edge, 10.0, 2000.0), rowOf(30.0f), kBand)) << edge;
    const int marker = logX(300.0, 10.0, 2000.0);
    EXPECT_GT(image.count(kBand, marker, 0, marker + 1, kH), 10);
}

// Third octaves at 48000 Hz / 1024 (a bin is 46.9 Hz): the Analysis as bars,
// green where it lies the threshold (5 dB) or more above the Reference and
// red where less, the Reference as a box on top of each; bands narrower
// than three bins (up to 630 Hz) hatched, the others filled.
TEST_F(LogGraph, ThirdOctaveBarsInThresholdColoursWithNarrowBandsHatched)
{
    const int n = 1024, fs = 48000;
    store().set(Param::SampFrq, fs);
    store().set(Option::BandView, 2);
    listFractionalBands(*readings, n, fs);
    ASSERT_GT(readings->thirds.count, 10);
    for (int i = 0; i < readings->thirds.count; ++i) {
        readings->half[0].thirdEnergy[i] = 1e4f;  // 40 dB
        readings->half[1].thirdEnergy[i] = i % 2 ? 1.585e4f : 1e8f;  // 42 and 80 dB
    }
    Spectra s;
    s.fillRef(20.0f);
    s.fillAna(20.0f);
    store().set(Param::NumSamples, n);
    store().set(Param::RefMode, 0);
    host->publish(*s.buffer, n);
    const Image image = paint();
    const double fmin = 48000.0 / 1024;
    int narrow = 0, wide = 0;
    for (int i = 0; i < readings->thirds.count; ++i) {
        const octave::Band& band = readings->thirds.band[i];
        const int x1 = logX(band.lower, fmin, fs / 2.0) + 2, x2 = logX(band.upper, fmin, fs / 2.0) - 2;
        if (x2 - x1 < 4)
            continue;
        SCOPED_TRACE(band.nominal);
        const COLORREF bar = i % 2 ? kBelow : kAna;
        EXPECT_TRUE(image.is((x1 + x2) / 2, rowOf(40.0f), kRef));
        // Below the Reference's box the bar is all its colour, or hatched.
        const int top = rowOf(40.0f) + 2, bottom = kH - 2;
        const double filled = image.count(bar, x1, top, x2, bottom) /
                              static_cast<double>((x2 - x1) * (bottom - top));
        if (band.measurable) {
            EXPECT_EQ(filled, 1.0);
            ++wide;
        } else {
            EXPECT_GT(filled, 0.05);
            EXPECT_LT(filled, 0.7);
            ++narrow;
        }
    }
    EXPECT_GT(narrow, 2);
    EXPECT_GT(wide, 10);
}

// The labels under the graph on the log axis, at 4000 Hz / 1024 and at
// 48000 Hz / 16384, at 96 and at 192 DPI: measured with GDI in the labels'
// font they lie inside the strip, apart, and every decade has one.
TEST(LogFrequencyScale, LabelsNeverOverlapAtTheExtremes)
{
    const struct { int fs, n; std::vector<std::string> decades; } settings[] = {
        {4000, 1024, {"10", "100", "1k"}}, {48000, 16384, {"10", "100", "1k", "10k"}}};
    for (int dpi : {96, 192}) {
        for (const auto& s : settings) {
            SCOPED_TRACE(std::to_string(dpi) + " DPI, " + std::to_string(s.fs));
            TestHost host(GuiDpi::scale(700, dpi), GuiDpi::scale(500, dpi));
            host.params().setDpi(dpi);
            host.params().set(Param::SampFrq, s.fs);
            host.params().set(Param::NumSamples, s.n);
            auto& graph = host.adopt(new GuiSpectrumGraph(&host));
            auto& scale = host.adopt(new GuiFrequencyScale(&host, graph));
            ASSERT_TRUE(graph.create(43, 216, 584, 200, nullptr, 120, host.window()));
            ASSERT_TRUE(scale.create(43, 418, 584, 20, nullptr, 185, host.window()));
            pumpMessages();
            RECT strip{};
            GetClientRect(scale.handle(), &strip);
            HDC dc = GetDC(scale.handle());
            const std::vector<log_axis::Label> labels = scale.labels(dc);
            HGDIOBJ old = SelectObject(dc, scale.font());
            int end = 0;
            std::vector<std::string> texts;
            for (const log_axis::Label& l : labels) {
                const std::wstring text(l.text.begin(), l.text.end());
                SIZE extent{};
                GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
                EXPECT_GE(l.left, end) << l.text << " overlaps the label before it";
                EXPECT_LE(l.left + extent.cx, strip.right) << l.text;
                EXPECT_GE(l.left, 0) << l.text;
                end = l.left + extent.cx + scale.gap();
                texts.push_back(l.text);
            }
            SelectObject(dc, old);
            ReleaseDC(scale.handle(), dc);
            for (const std::string& decade : s.decades)
                EXPECT_NE(std::find(texts.begin(), texts.end(), decade), texts.end()) << decade;
        }
    }
}
