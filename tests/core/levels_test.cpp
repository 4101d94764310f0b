// Levels you can trust, on the real block analysis and a real store: tones
// and white noise under each window function against computed levels, the
// calibration offset, full-scale counts, lost-block estimates, source levels
// behind a background and the record a saved file is made from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "analysis/BlockAnalysis.h"
#include "foundation/AnalysisSettings.h"
#include "analysis/Levels.h"
#include "foundation/ParameterStore.h"

namespace {

const double TwoPi = 2.0 * std::acos(-1.0);
const int Kinds[] = {WindowKind::Rectangular, WindowKind::Hann, WindowKind::FlatTop};

std::vector<int16_t> sine(int n, double amplitude, double cycles)
{
    std::vector<int16_t> b(n);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<int16_t>(std::lround(amplitude * std::cos(TwoPi * cycles * i / n)));
    return b;
}

struct Analyzer {
    std::unique_ptr<ParameterStore> store = std::make_unique<ParameterStore>();
    std::unique_ptr<AnalysisArrays> arrays = std::make_unique<AnalysisArrays>();
    std::unique_ptr<DisplayBuffer> working = std::make_unique<DisplayBuffer>();

    Analyzer(int n, int window, int intLvl = 1)
    {
        store->set(Param::NumSamples, n);
        store->set(Param::SampFrq, 48000);
        store->set(Param::IntLvl, intLvl);
        store->set(Param::IntCount, 1);
        store->set(Param::RefMode, 1);
        store->set(Param::Filter0, 100);
        store->set(Param::Filter1, 500);
        store->set(Param::Filter2, 1500);
        store->set(Param::Filter3, 4000);
        store->set(Param::WindowFunction, window);
        store->set(Param::RefBandLevels, reinterpret_cast<intptr_t>(arrays->referenceBandLevels));
        store->set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(arrays->analysisBandLevels));
        computeBandEdges(*store, arrays->bandEdgeBins);
    }
    int process(const std::vector<int16_t>& b)
    {
        return processBlock(*store, *arrays, *working, static_cast<int>(b.size()), b.data());
    }
    const float* spectrum() const { return working->reference().spectrum; }
    const float* bands() const { return arrays->referenceBandLevels; }
};

// A bin-centred tone reads its computed peak level, 20 log10(A N / 2), in its
// bin under every window: the coherent gain is divided out.
TEST(WindowFunction, BinCentredToneReadsTheSameLevelUnderEachWindow)
{
    const int n = 1024;
    const double expected = 20.0 * std::log10(1000.0 * n / 2);  // 114.19 dB
    for (int kind : Kinds) {
        Analyzer a(n, kind);
        ASSERT_EQ(a.process(sine(n, 1000.0, 100)), 0);
        EXPECT_NEAR(a.spectrum()[100], expected, 0.01) << windowName(kind);
    }
}

// A tone between two bins: Flat top keeps its peak within a few hundredths
// of a dB, Hann loses up to 1.42 dB and Rectangular 3.92 dB (scalloping);
// the strongest-tone level, which sums the bins the window spreads the tone
// over, reads the computed level under each.
TEST(WindowFunction, ToneBetweenBinsAndStrongestToneLevel)
{
    const int n = 4096;
    const double expected = 20.0 * std::log10(3000.0 * n / 2);
    for (int kind : Kinds) {
        Analyzer a(n, kind);
        ASSERT_EQ(a.process(sine(n, 3000.0, 300.5)), 0);
        float peak = 0.0f;
        for (int k = 1; k <= n / 2; ++k)
            peak = std::max(peak, a.spectrum()[k]);
        const double loss = expected - peak;
        if (kind == WindowKind::FlatTop)
            EXPECT_NEAR(loss, 0.0, 0.05);
        else if (kind == WindowKind::Hann)
            EXPECT_NEAR(loss, 1.42, 0.05);
        else
            EXPECT_NEAR(loss, 3.92, 0.05);
        WindowTable t;
        buildWindow(t, kind, n);
        const double tolerance = kind == WindowKind::Rectangular ? 0.15 : 0.02;
        EXPECT_NEAR(strongestToneLevel(a.spectrum(), n / 2, noiseBandwidthDb(t)), expected, tolerance)
            << windowName(kind);
    }
}

// The window tables' figures against the known ones.
TEST(WindowFunction, CoherentGainAndNoiseBandwidth)
{
    WindowTable t;
    buildWindow(t, WindowKind::Rectangular, 1024);
    EXPECT_DOUBLE_EQ(t.coherentGain, 1.0);
    EXPECT_DOUBLE_EQ(t.noiseBandwidth, 1.0);
    buildWindow(t, WindowKind::Hann, 1024);
    EXPECT_NEAR(t.coherentGain, 0.5, 1e-6);
    EXPECT_NEAR(t.noiseBandwidth, 1.5, 1e-6);
    buildWindow(t, WindowKind::FlatTop, 2048);
    EXPECT_NEAR(t.coherentGain, 0.21557895, 1e-6);
    EXPECT_NEAR(t.noiseBandwidth, 3.77, 0.01);
    EXPECT_EQ(t.length, 2048);
    buildWindow(t, 7, 1024);  // unknown: Rectangular
    EXPECT_EQ(t.kind, WindowKind::Rectangular);
    EXPECT_FLOAT_EQ(t.coefficients[17], 1.0f);
}

// White noise of standard deviation s: each bin's magnitude is Rayleigh
// distributed with mean s sqrt(pi N) / 2 under Rectangular; after a long
// average the band levels and the mean level are 20 log10 of that, and with
// the noise bandwidth taken off they agree under every window.
TEST(WindowFunction, WhiteNoiseBandLevelsAgreeBetweenWindows)
{
    const int n = 4096;
    const double sigma = 2000.0;
    const double expected = 20.0 * std::log10(sigma * std::sqrt(std::acos(-1.0) * n) / 2.0);
    float bands[3][3];
    int means[3];
    for (int w = 0; w < 3; ++w) {
        Analyzer a(n, Kinds[w], 64);
        std::mt19937 gen(1234);
        std::normal_distribution<double> noise(0.0, sigma);
        std::vector<int16_t> b(n);
        for (int block = 0; block < 400; ++block) {
            for (int i = 0; i < n; ++i)
                b[i] = static_cast<int16_t>(std::lround(noise(gen)));
            ASSERT_EQ(a.process(b), 0);
        }
        for (int k = 0; k < 3; ++k) {
            bands[w][k] = a.bands()[k];
            EXPECT_NEAR(bands[w][k], expected, 0.3) << windowName(Kinds[w]) << " band " << k;
        }
        means[w] = a.store->get(Param::RefMeanLevel);
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(bands[1][k], bands[0][k], 0.2);
        EXPECT_NEAR(bands[2][k], bands[0][k], 0.2);
    }
    EXPECT_NEAR(means[1], means[0], 1);
    EXPECT_NEAR(means[2], means[0], 1);
}

// A silent block reads 0 dB under every window: the bandwidth correction
// does not take a level below the 0 dB that each bin is held at.
TEST(WindowFunction, SilenceReadsZeroUnderEachWindow)
{
    for (int kind : Kinds) {
        Analyzer a(1024, kind);
        ASSERT_EQ(a.process(std::vector<int16_t>(1024, 7)), 0);
        for (int b = 0; b < 3; ++b)
            EXPECT_EQ(a.bands()[b], 0.0f) << windowName(kind);
        EXPECT_EQ(a.store->get(Param::RefMeanLevel), 0);
    }
}

// Rectangular without a calibration gives exactly the numbers of the plain
// analysis (the default); an offset counts only with a calibration date, and
// then raises every level by the offset.
TEST(Calibration, OffsetAppliesOnlyWhenCalibrated)
{
    const int n = 1024;
    auto block = sine(n, 1000.0, 100);
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (auto& v : block)
        v = static_cast<int16_t>(v + std::lround(noise(gen)));
    Analyzer plain(n, WindowKind::Rectangular);
    plain.process(block);
    Analyzer offsetOnly(n, WindowKind::Rectangular);
    offsetOnly.store->set(Param::CalOffset, 2350);
    offsetOnly.process(block);
    for (int k = 0; k <= n / 2; ++k)
        ASSERT_EQ(plain.spectrum()[k], offsetOnly.spectrum()[k]) << k;

    Analyzer calibrated(n, WindowKind::Hann);
    calibrated.store->set(Param::CalOffset, 2350);
    calibrated.store->set(Param::CalDate, 20261208);
    calibrated.process(block);
    Analyzer hann(n, WindowKind::Hann);
    hann.process(block);
    EXPECT_NEAR(calibrated.spectrum()[100], hann.spectrum()[100] + 23.5, 0.01);
    for (int b = 0; b < 3; ++b)
        EXPECT_NEAR(calibrated.bands()[b], hann.bands()[b] + 23.5, 0.01);
    EXPECT_NEAR(calibrated.store->get(Param::RefMeanLevel), hann.store->get(Param::RefMeanLevel) + 23.5, 1.0);
}

TEST(Calibration, OffsetFromMeasurementAndStaleness)
{
    // Read 70.25 dB with no offset for a 94.0 dB calibrator: +23.75 dB.
    EXPECT_EQ(calibrationOffset(0, 70.25f, 9400), 2375);
    // Read 95.0 with +23.75 already applied: 22.75.
    EXPECT_EQ(calibrationOffset(2375, 95.0f, 9400), 2275);
    EXPECT_EQ(calibrationOffset(0, -500.0f, 9400), 20000);

    ParameterStore s;
    s.set(Param::SampFrq, 12000);
    s.set(Param::NumSamples, 1024);
    EXPECT_EQ(calibrationState(s), CalibrationState::None);
    s.set(Param::CalDate, 20261208);
    s.set(Param::CalSampFrq, 12000);
    s.set(Param::CalNumSamples, 1024);
    EXPECT_EQ(calibrationState(s), CalibrationState::Valid);
    s.set(Param::NumSamples, 2048);
    EXPECT_EQ(calibrationState(s), CalibrationState::Stale);
    s.set(Param::NumSamples, 1024);
    s.set(Param::SampFrq, 48000);
    EXPECT_EQ(calibrationState(s), CalibrationState::Stale);
}

TEST(Faults, FullScaleSamplesAreCounted)
{
    std::vector<int16_t> b = sine(1024, 1000.0, 10);
    EXPECT_EQ(countFullScale(b.data(), 1024), 0);
    b[3] = 32767;
    b[500] = -32768;
    b[501] = -32767;  // one short of full scale
    b[1023] = 32767;
    EXPECT_EQ(countFullScale(b.data(), 1024), 3);
    std::vector<int16_t> clipped(1024);
    for (int i = 0; i < 1024; ++i) {
        const double v = 40000.0 * std::cos(TwoPi * 10 * i / 1024);
        clipped[i] = static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : std::lround(v)));
    }
    // The share of a sine of amplitude 40000 above 32767: 2 acos(32767/40000)/pi.
    const double share = 2.0 * std::acos(32767.0 / 40000.0) / std::acos(-1.0);
    EXPECT_NEAR(countFullScale(clipped.data(), 1024), share * 1024, 12.0);
}

TEST(Faults, LostBlocksFromArrivalTimes)
{
    const int64_t t = 8533;  // ticks per block
    LostBlockCounter c;
    int64_t now = 1000000;
    // Regular blocks with jitter of up to a third of a block: nothing lost.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(c.onBlock(now + i * t + (i % 3 == 1 ? t / 3 : 0), t, t / 4), 0) << i;
    now += 50 * t;
    // The device stops for 35 blocks: the next two arrivals find them missing.
    EXPECT_EQ(c.onBlock(now + 35 * t, t, t / 4), 0);
    EXPECT_EQ(c.onBlock(now + 36 * t, t, t / 4), 35);
    now += 37 * t;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(c.onBlock(now + i * t, t, t / 4), 0);
    EXPECT_EQ(c.lost(), 35);
    // A callback three blocks late that the next one makes up for (the
    // device had the blocks; they came in a burst) is no loss.
    now += 10 * t;
    EXPECT_EQ(c.onBlock(now + 3 * t, t, t / 4), 0);
    EXPECT_EQ(c.onBlock(now + 3 * t + 10, t, t / 4), 0);
    EXPECT_EQ(c.onBlock(now + 3 * t + 20, t, t / 4), 0);
    EXPECT_EQ(c.onBlock(now + 3 * t + 30, t, t / 4), 0);
    EXPECT_EQ(c.onBlock(now + 4 * t, t, t / 4), 0);
    EXPECT_EQ(c.lost(), 35);
    c.reset();
    EXPECT_EQ(c.lost(), 0);
    EXPECT_EQ(c.onBlock(5, t, 0), 0);
    EXPECT_EQ(c.onBlock(5 + 3 * t, t, 0), 0);
    EXPECT_EQ(c.onBlock(5 + 4 * t, t, 0), 2);
}

// The usual rule for a source behind a background.
TEST(SourceLevel, BackgroundCorrection)
{
    SourceLevel s = sourceLevel(50.0f, 60.0f);  // 10 dB: no correction
    EXPECT_EQ(s.validity, SourceValidity::Uncorrected);
    EXPECT_FLOAT_EQ(s.level, 60.0f);
    s = sourceLevel(55.0f, 60.0f);  // 5 dB: 10 log10(10^6 - 10^5.5) = 58.35
    EXPECT_EQ(s.validity, SourceValidity::Corrected);
    EXPECT_NEAR(s.level, 10.0 * std::log10(1e6 - std::pow(10.0, 5.5)), 1e-4);
    EXPECT_EQ(sourceLevelText(s), L"58.3");
    s = sourceLevel(57.0f, 60.0f);  // exactly 3 dB: corrected, 56.98
    EXPECT_EQ(s.validity, SourceValidity::Corrected);
    EXPECT_NEAR(s.level, 10.0 * std::log10(1e6 - std::pow(10.0, 5.7)), 1e-4);
    s = sourceLevel(58.0f, 60.0f);  // 2 dB: not measurable
    EXPECT_EQ(s.validity, SourceValidity::BelowBackground);
    EXPECT_EQ(sourceLevelText(s), L"< background");
    s = sourceLevel(60.0f, 50.0f);  // below the background
    EXPECT_EQ(s.validity, SourceValidity::BelowBackground);
    EXPECT_EQ(sourceLevelText(sourceLevel(-20.0f, -5.04f)), L"-5.0");
    EXPECT_STREQ(sourceValidityName(SourceValidity::Corrected), "corrected");
    EXPECT_EQ(markedText(L"61.2", true), L"61.2*");
    EXPECT_EQ(markedText(L"61.2", false), L"61.2");
    EXPECT_EQ(markedText(L"", true), L"");
}

TEST(LevelTexts, StatusCalibrationAndCalibratorLevel)
{
    EXPECT_EQ(statusText(0, 0, 0, CalibrationState::None, 0), L"");
    EXPECT_EQ(statusText(0, 0, 0, CalibrationState::Valid, 0), L"");
    EXPECT_EQ(statusText(12, 40, 0, CalibrationState::None, 0), L"CLIPPING 40");
    EXPECT_EQ(statusText(0, 40, 3, CalibrationState::Stale, 0), L"Calibration stale  Clipped 40  Lost 3");
    EXPECT_EQ(statusText(0, 0, 0, CalibrationState::Stale, 1), L"Calibrating...");
    EXPECT_EQ(calibrationText(CalibrationState::None, 0, 0), L"Not calibrated");
    EXPECT_EQ(calibrationText(CalibrationState::Valid, 2375, 20261208), L"Calibrated 2026-12-08: +23.75 dB");
    EXPECT_EQ(calibrationText(CalibrationState::Stale, -5, 20260102),
              L"Calibrated 2026-01-02: -0.05 dB (stale: other sampling settings)");
    EXPECT_STREQ(levelUnit(CalibrationState::None), L"dB");
    EXPECT_STREQ(levelUnit(CalibrationState::Valid), L"dB SPL");
    EXPECT_STREQ(levelUnit(CalibrationState::Stale), L"dB") << "a stale calibration is no SPL";
    EXPECT_EQ(parseCalibratorLevel(L"94"), 9400);
    EXPECT_EQ(parseCalibratorLevel(L"94.0"), 9400);
    EXPECT_EQ(parseCalibratorLevel(L"114,5"), 11450);
    EXPECT_EQ(parseCalibratorLevel(L"93.987"), 9398);
    EXPECT_EQ(parseCalibratorLevel(L""), -1);
    EXPECT_EQ(parseCalibratorLevel(L"abc"), -1);
    EXPECT_EQ(parseCalibratorLevel(L"9.4.0"), -1);
    EXPECT_EQ(parseCalibratorLevel(L"0.5"), -1);
    EXPECT_EQ(parseCalibratorLevel(L"250"), -1);
    EXPECT_EQ(hundredthsText(9400), L"94.00");
}

// What a saved file is made from follows the store.
TEST(SavedRecord, CarriesWindowCalibrationFaultsAndSourceLevels)
{
    ParameterStore s;
    float ref[3] = {50.0f, 55.0f, 58.0f};
    float ana[3] = {60.0f, 60.0f, 60.0f};
    s.set(Param::RefBandLevels, reinterpret_cast<intptr_t>(ref));
    s.set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(ana));
    s.set(Param::SampFrq, 12000);
    s.set(Param::NumSamples, 1024);
    MeasurementRecord r = measurementRecord(s);
    EXPECT_STREQ(r.windowName, "Rectangular");
    EXPECT_STREQ(r.levelUnit, "dB");
    EXPECT_EQ(r.calibrationOffset, 0);
    s.set(Param::WindowFunction, WindowKind::FlatTop);
    s.set(Param::CalOffset, -1234);
    s.set(Param::CalDate, 20261208);
    s.set(Param::CalSampFrq, 12000);
    s.set(Param::CalNumSamples, 1024);
    s.set(Param::ClipCount, 17);
    s.set(Param::LostBlocks, 2);
    s.set(Param::AnaFaults, Fault::Clipped);
    r = measurementRecord(s);
    EXPECT_STREQ(r.windowName, "Flat top");
    EXPECT_STREQ(r.levelUnit, "dB SPL");
    EXPECT_EQ(r.calibrationOffset, -1234);
    EXPECT_EQ(r.calibrationDate, 20261208);
    EXPECT_EQ(r.calibrationState, CalibrationState::Valid);
    EXPECT_EQ(r.clippedSamples, 17);
    EXPECT_EQ(r.lostBlocks, 2);
    EXPECT_EQ(r.analysisFaults, Fault::Clipped);
    EXPECT_EQ(r.source[0].validity, SourceValidity::Uncorrected);
    EXPECT_EQ(r.source[1].validity, SourceValidity::Corrected);
    EXPECT_EQ(r.source[2].validity, SourceValidity::BelowBackground);
}

}  // namespace
