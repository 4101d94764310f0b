// The waveform view and the level meters on the screen.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "TestHost.h"
#include "gui/GuiLevelMeter.h"
#include "gui/GuiWaveformView.h"

namespace {

constexpr COLORREF kBack = 0x808080;
constexpr COLORREF kGrid = 0xFFFF00;
constexpr COLORREF kRef = 0xFF0000;
constexpr COLORREF kAna = 0x00FF00;
constexpr int kW = 580;
constexpr int kH = 100;

class Waveform : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<TestHost>();
        view = &host->adopt(new GuiWaveformView(host.get()));
        ASSERT_TRUE(view->create(43, 84, kW + 4, kH + 4, nullptr, 116, host->window()));
        pumpMessages();
    }
    void TearDown() override { host.reset(); }
    Image paint()
    {
        repaint(view->handle());
        return captureClient(view->handle());
    }
    void publish(Spectra& s, int n, int fullScale, int refMode = 1)
    {
        host->params().set(Param::NumSamples, n);
        host->params().set(Param::WaveFullScale, fullScale);
        host->params().set(Param::RefMode, refMode);
        host->publish(*s.buffer, n);
    }
    // The sample element the stepping reaches at step i (from 0).
    static int sampleAtStep(int i, int n)
    {
        const float sampleStep = n > kW ? static_cast<float>(n) / kW : 1.0f;
        float current = 1.0f + sampleStep;
        for (int k = 0; k < i; ++k) current += sampleStep;
        return static_cast<int>(current);
    }
    // The x at which the trace reaches a lone full-scale sample at index s:
    // the stepping of the view (start at element 1, n / w samples or w / n
    // pixels per step) followed with the same float arithmetic.
    static int columnOfSample(int s, int n)
    {
        float xStep = 1.0f, sampleStep = 1.0f;
        if (n - 1 < kW)
            xStep = static_cast<float>(kW) / n;
        else if (n > kW)
            sampleStep = static_cast<float>(n) / kW;
        float current = 1.0f + sampleStep, x = 0.0f;
        while (static_cast<int>(current) <= n) {
            if (static_cast<int>(current) == s)
                return static_cast<int>(x + xStep);
            current += sampleStep;
            x += xStep;
        }
        return -1;
    }
    std::unique_ptr<TestHost> host;
    GuiWaveformView* view = nullptr;
};

std::set<std::pair<int, int>> gridPixels()
{
    std::set<std::pair<int, int>> expected;
    for (int k = 1; k <= 3; ++k) {
        const int y = static_cast<int>(k * kH / 4.0);
        for (int x = 2; x < kW - 2; ++x) expected.insert({x, y});
    }
    for (int k = 1; k <= 4; ++k) {
        const int x = static_cast<int>(k * kW / 5.0);
        for (int y = 2; y < kH - 2; ++y) expected.insert({x, y});
    }
    return expected;
}

}  // namespace

TEST_F(Waveform, GridOfFourRowsAndFiveColumnsBeforeData)
{
    const Image image = paint();
    ASSERT_EQ(image.width(), kW);
    ASSERT_EQ(image.height(), kH);
    EXPECT_EQ(pixelsOf(image, kGrid), gridPixels());
    EXPECT_EQ(image.count(kBack) + image.count(kGrid), kW * kH);
    EXPECT_TRUE(image.is(116, 50, kGrid));
    EXPECT_TRUE(image.is(464, 2, kGrid));
}

TEST_F(Waveform, FullScaleZeroIsTreatedAsOne)
{
    Spectra s;
    Spectra::fill(s.refSamples(), MaxSamples + 1, 1.0f);
    publish(s, 1024, 0);
    const Image image = paint();
    // Sample 1.0 at scale 1: the top edge, across the whole width.
    EXPECT_EQ(image.rowsWith(kRef, 0, kW), std::vector<int>{0});
    EXPECT_EQ(image.count(kRef, 0, 0, kW, 1), kW);
    // The same picture as an explicit full scale of 1.
    publish(s, 1024, 1);
    EXPECT_EQ(pixelsOf(paint(), kRef), pixelsOf(image, kRef));
    // 0.61 at scale 0 lands at trunc(50 - 50 * 0.61) = 19.
    Spectra::fill(s.refSamples(), MaxSamples + 1, 0.61f);
    publish(s, 1024, 0);
    EXPECT_EQ(paint().rowsWith(kRef, 0, kW), std::vector<int>{19});
}

TEST_F(Waveform, ScalingToTheFullScaleValue)
{
    struct Case {
        float sample;
        int row;  // mid - mid * sample / scale, mid = 50
    };
    const Case cases[] = {{8000.0f, 0}, {4000.0f, 25}, {0.0f, 50}, {-4000.0f, 75}, {-7840.0f, 99}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        Spectra s;
        Spectra::fill(s.refSamples(), MaxSamples + 1, c.sample);
        publish(s, 16384, 8000);
        const Image image = paint();
        EXPECT_EQ(image.rowsWith(kRef, 0, kW), std::vector<int>{c.row});
        EXPECT_GE(image.count(kRef, 0, c.row, kW, c.row + 1), kW - 1);
    }
    // -full scale is on the bottom edge, just outside the client area.
    Spectra s;
    Spectra::fill(s.refSamples(), MaxSamples + 1, -8000.0f);
    publish(s, 16384, 8000);
    EXPECT_EQ(paint().count(kRef), 0);
}

TEST_F(Waveform, StepsThroughTheBlockPerPixel)
{
    struct Case {
        int n;
        int sample;
    };
    // N = 1024 on 580 pixels: 1024 / 580 samples per one-pixel step.
    // N = 256 (narrower than the view): one sample per step, 580 / 256 px apart.
    const Case cases[] = {{1024, 500}, {1024, 1000}, {16384, sampleAtStep(300, 16384)}, {256, 100}, {256, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        SCOPED_TRACE(c.sample);
        Spectra s;
        s.refSamples()[c.sample] = 8000.0f;
        publish(s, c.n, 8000);
        const Image image = paint();
        const int x = columnOfSample(c.sample, c.n);
        ASSERT_GE(x, 0);
        EXPECT_EQ(image.columnsWith(kRef, 0, 1), std::vector<int>{x});
    }
    EXPECT_EQ(columnOfSample(sampleAtStep(300, 16384), 16384), 301);
    // The spot values: at N = 1024 sample 500 is reached at step 282
    // (1 + 283 * 1.7655 = 500.6); at N = 256 sample 100 at x = trunc(99 * 2.265625).
    EXPECT_EQ(columnOfSample(500, 1024), 283);
    EXPECT_EQ(columnOfSample(100, 256), 224);
}

TEST_F(Waveform, LastStepShowsTheLastSampleOfTheBlock)
{
    // The engine fills elements 0 .. N-1; the final step reaches element N.
    Spectra s;
    for (int i = 0; i < 1024; ++i) s.refSamples()[i] = 4000.0f;  // row 25
    s.refSamples()[1024] = -8000.0f;  // never filled by the engine
    publish(s, 1024, 8000);
    EXPECT_EQ(paint().rowsWith(kRef, 0, kW), std::vector<int>{25});
}

TEST_F(Waveform, AnalysisBlockOnlyWhileAnalysing)
{
    Spectra s;
    Spectra::fill(s.refSamples(), MaxSamples + 1, 3200.0f);   // row 30
    Spectra::fill(s.anaSamples(), MaxSamples + 1, -3200.0f);  // row 70
    publish(s, 1024, 8000, 0);
    Image image = paint();
    EXPECT_EQ(image.rowsWith(kRef, 0, kW), std::vector<int>{30});
    EXPECT_EQ(image.rowsWith(kAna, 0, kW), std::vector<int>{70});
    publish(s, 1024, 8000, 1);
    image = paint();
    EXPECT_EQ(image.rowsWith(kRef, 0, kW), std::vector<int>{30});
    EXPECT_EQ(image.count(kAna), 0);
}

TEST_F(Waveform, WithoutPaintBufferOnlyTheBackground)
{
    Spectra s;
    Spectra::fill(s.refSamples(), MaxSamples + 1, 3200.0f);
    publish(s, 1024, 8000);
    host->lendBuffer(false);
    const Image image = paint();
    host->lendBuffer(true);
    EXPECT_EQ(image.count(kBack), kW * kH);
}

// ------------------------------------------------------------------ meters

namespace {

constexpr COLORREF kMeterBack = 0x000000;
constexpr COLORREF kBar = 0x404040;
constexpr COLORREF kLow = 0x00FFFF;
constexpr COLORREF kHigh = 0x0000FF;

// The picture of a meter w x h lighting `lit` segments.
std::vector<COLORREF> meterPicture(int w, int h, int lit, COLORREF middle)
{
    const int pitch = (w - 1) / 20;
    const int margin = (w - 20 * pitch) / 2;
    std::vector<COLORREF> p(static_cast<size_t>(w) * h, kMeterBack);
    for (int y = 3; y < h - 3; ++y)
        for (int x = margin; x < margin + 20 * pitch; ++x) {
            const int i = (x - margin) / pitch;
            const bool inSegment = (x - margin) % pitch < pitch - 1;
            COLORREF c = kBar;
            if (inSegment && i < lit) c = i < 4 ? kLow : i < 14 ? middle : kHigh;
            p[static_cast<size_t>(y) * w + x] = c;
        }
    return p;
}

}  // namespace

TEST(LevelMeter, SegmentsLitForLevels)
{
    TestHost host;
    auto& ref = host.adopt(new GuiReferenceMeter(&host));
    auto& ana = host.adopt(new GuiAnalysisMeter(&host));
    ASSERT_TRUE(ref.create(545, 11, 82, 19, nullptr, 113, host.window()));
    ASSERT_TRUE(ana.create(545, 38, 82, 19, nullptr, 114, host.window()));
    host.params().set(Param::DataPresent, 1);
    struct Case {
        int level;
        int lit;
    };
    // Which level lights how many segments is checked in Geometry.MeterSegments.
    const Case cases[] = {{-20, 0}, {9, 0}, {45, 5}, {76, 15}, {400, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        // Each meter reads its own parameter: the other one stays at 10.
        host.params().set(Param::RefMeanLevel, c.level);
        host.params().set(Param::AnaMeanLevel, 10);
        repaint(ref.handle());
        repaint(ana.handle());
        EXPECT_EQ(pictureOf(captureClient(ref.handle())), meterPicture(82, 19, c.lit, 0xFF0000));
        EXPECT_EQ(pictureOf(captureClient(ana.handle())), meterPicture(82, 19, 1, 0x00FF00));
        host.params().set(Param::RefMeanLevel, 10);
        host.params().set(Param::AnaMeanLevel, c.level);
        repaint(ref.handle());
        repaint(ana.handle());
        EXPECT_EQ(pictureOf(captureClient(ana.handle())), meterPicture(82, 19, c.lit, 0x00FF00));
        EXPECT_EQ(pictureOf(captureClient(ref.handle())), meterPicture(82, 19, 1, 0xFF0000));
    }
    // A discarded measurement leaves its levels in the store; the meters
    // show none of them.
    host.params().set(Param::RefMeanLevel, 76);
    host.params().set(Param::AnaMeanLevel, 76);
    host.params().set(Param::DataPresent, 0);
    repaint(ref.handle());
    repaint(ana.handle());
    EXPECT_EQ(pictureOf(captureClient(ref.handle())), meterPicture(82, 19, 0, 0xFF0000));
    EXPECT_EQ(pictureOf(captureClient(ana.handle())), meterPicture(82, 19, 0, 0x00FF00));
}

TEST(LevelMeter, EightyTwoPixelsGivePitchFourMarginOneSegmentsThree)
{
    TestHost host;
    auto& ref = host.adopt(new GuiReferenceMeter(&host));
    ASSERT_TRUE(ref.create(10, 10, 82, 19, nullptr, 113, host.window()));
    host.params().set(Param::DataPresent, 1);
    host.params().set(Param::RefMeanLevel, 130);
    repaint(ref.handle());
    const Image image = captureClient(ref.handle());
    // Row 9: margin pixel, then 20 x (3 lit + 1 gap), then the last pixel.
    EXPECT_EQ(image.at(0, 9), kMeterBack);
    for (int i = 0; i < 20; ++i) {
        const int x = 1 + 4 * i;
        for (int k = 0; k < 3; ++k) EXPECT_NE(image.at(x + k, 9), kBar) << i;
        EXPECT_NE(image.at(x, 9), kMeterBack) << i;
        EXPECT_EQ(image.at(x + 3, 9), kBar) << i;  // the gap shows the bar
    }
    EXPECT_EQ(image.at(81, 9), kMeterBack);
    // Three pixels of background above and below the bar.
    EXPECT_EQ(image.rowsWith(kBar, 0, 82), (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(image.at(1, 4), kLow);
    EXPECT_EQ(image.at(1 + 4 * 4, 4), 0xFF0000u);
    EXPECT_EQ(image.at(1 + 4 * 14, 4), kHigh);
    // Another width: 100 pixels give pitch 4 and a margin of 10.
    auto& wide = host.adopt(new GuiAnalysisMeter(&host));
    ASSERT_TRUE(wide.create(10, 40, 100, 19, nullptr, 114, host.window()));
    host.params().set(Param::AnaMeanLevel, 76);
    repaint(wide.handle());
    EXPECT_EQ(pictureOf(captureClient(wide.handle())), meterPicture(100, 19, 15, 0x00FF00));
}
