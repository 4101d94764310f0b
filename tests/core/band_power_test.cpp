// Noise-report numbers on the real block analysis: the A and C weightings
// against the standard's table, band totals of white noise and of tones
// under each window, energy calibration, the Leq and the maximum hold.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "analysis/Averaging.h"
#include "analysis/BandPower.h"
#include "analysis/BlockAnalysis.h"
#include "analysis/Weighting.h"

namespace {

const double TwoPi = 2.0 * std::acos(-1.0);
const int Kinds[] = {WindowKind::Rectangular, WindowKind::Hann, WindowKind::FlatTop};

// Tone of `amplitude` at `hz` (plus noise of `sigma`) as 16-bit samples.
std::vector<int16_t> signal(int n, double rate, double amplitude, double hz, double sigma = 0.0,
                            unsigned seed = 1)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, sigma > 0.0 ? sigma : 1.0);
    std::vector<int16_t> b(n);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<int16_t>(std::lround(amplitude * std::cos(TwoPi * hz * i / rate) +
                                                (sigma > 0.0 ? noise(gen) : 0.0)));
    return b;
}

// The block analysis as the engine runs it: processBlock with the settings
// of the test, and the readings it publishes.
struct Analysis {
    std::unique_ptr<AnalysisArrays> arrays = std::make_unique<AnalysisArrays>();
    std::unique_ptr<DisplayBuffer> working = std::make_unique<DisplayBuffer>();
    BlockSettings settings;

    Analysis(int n, int window, int rate = 48000)
    {
        settings.numSamples = n;
        settings.intCount = 1;
        settings.windowKind = window;
        settings.sampFrq = rate;
    }
    void edges(double lo, double mid1, double mid2, double hi)
    {
        const double e[4] = {lo, mid1, mid2, hi};
        for (int k = 0; k < 4; ++k)
            arrays->bandEdgeBins[k] = static_cast<float>(e[k]);
    }
    EnergyScale scale() const
    {
        return energyScale(settings.windowKind, arrays->window, settings.calOffset);
    }
    const HalfReadings& run(const std::vector<int16_t>& b)
    {
        BlockResult r;
        EXPECT_EQ(processBlock(settings, *arrays, *working, settings.numSamples, b.data(), &r), 0);
        settings.intCount = r.intCount;
        return arrays->readings.half[settings.reference ? 0 : 1];
    }
    const float* spectrum() const { return working->set[settings.reference ? 0 : 1].spectrum; }
};

// The standard's table at 1000 10^(n/10) Hz, n = -20 .. 13, rounded to 0.1 dB.
TEST(Weighting, MatchesTheStandardsTable)
{
    const double a[] = {-70.4, -63.4, -56.7, -50.5, -44.7, -39.4, -34.6, -30.2, -26.2,
                        -22.5, -19.1, -16.1, -13.4, -10.9, -8.6,  -6.6,  -4.8,  -3.2,
                        -1.9,  -0.8,  0.0,   0.6,   1.0,   1.2,   1.3,   1.2,   1.0,
                        0.5,   -0.1,  -1.1,  -2.5,  -4.3,  -6.6,  -9.3};
    const double c[] = {-14.3, -11.2, -8.5, -6.2, -4.4, -3.0, -2.0, -1.3, -0.8, -0.5, -0.3, -0.2,
                        -0.1,  0.0,   0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  -0.1, -0.2,
                        -0.3,  -0.5,  -0.8, -1.3, -2.0, -3.0, -4.4, -6.2, -8.5, -11.2};
    for (int i = 0; i < 34; ++i) {
        const double hz = 1000.0 * std::pow(10.0, (i - 20) / 10.0);
        EXPECT_NEAR(weightingDb(WeightingKind::A, hz), a[i], 0.051) << hz;
        EXPECT_NEAR(weightingDb(WeightingKind::C, hz), c[i], 0.051) << hz;
        EXPECT_EQ(weightingDb(WeightingKind::Z, hz), 0.0);
    }
    EXPECT_NEAR(weightingDb(WeightingKind::A, 1000.0), 0.0, 0.005);
    EXPECT_NEAR(weightingDb(WeightingKind::C, 1000.0), 0.0, 0.005);
}

// A 100 Hz tone through the analysis: A reads it 19.1 dB and C 0.3 dB
// below Z, in the band totals, the overall levels and the trace; a
// spectrum saved under Z and opened under A is converted.
TEST(Weighting, ToneAt100HzUnderEachWeighting)
{
    const int n = 16384, rate = 48000;
    const std::vector<int16_t> tone = signal(n, rate, 5000.0, 100.0);
    float band[3], overall[3];
    std::vector<float> traceZ(n / 2 + 1);
    const int bin = static_cast<int>(std::lround(100.0 * n / rate));
    for (int kind = 0; kind < 3; ++kind) {
        Analysis an(n, WindowKind::Hann, rate);
        an.settings.weighting = kind;
        an.edges(1.0, 20.0 * n / rate, 200.0 * n / rate, 1000.0 * n / rate);
        const HalfReadings& r = an.run(tone);
        band[kind] = r.bandTotal[1];
        overall[kind] = r.overall[kind];
        EXPECT_NEAR(r.overall[WeightingKind::Z] - r.overall[WeightingKind::A], 19.1, 0.1);
        if (kind == WeightingKind::Z)
            traceZ.assign(an.spectrum(), an.spectrum() + n / 2 + 1);
        EXPECT_NEAR(an.spectrum()[bin] - traceZ[bin], weightingDb(kind, static_cast<double>(bin) * rate / n),
                    0.01);
        if (kind == WeightingKind::A) {
            // Opened as a Reference under A, the Z spectrum reads as measured.
            Analysis opened(n, WindowKind::Hann, rate);
            opened.settings.weighting = WeightingKind::A;
            opened.edges(1.0, 20.0 * n / rate, 200.0 * n / rate, 1000.0 * n / rate);
            ASSERT_TRUE(loadReferenceSpectrum(opened.settings, *opened.arrays, *opened.working,
                                              traceZ.data(), n / 2, nullptr, WeightingKind::Z));
            EXPECT_NEAR(opened.working->reference().spectrum[bin], an.spectrum()[bin], 0.01);
            EXPECT_NEAR(opened.arrays->readings.half[0].bandTotal[1], band[kind], 0.1);
        }
    }
    EXPECT_NEAR(band[WeightingKind::Z] - band[WeightingKind::A], 19.1, 0.1);
    EXPECT_NEAR(band[WeightingKind::Z] - band[WeightingKind::C], 0.3, 0.1);
    EXPECT_NEAR(overall[WeightingKind::Z] - overall[WeightingKind::C], 0.3, 0.1);
}

// Edge bins count in proportion to their overlap with the band.
TEST(BandPower, EdgeBinsCountByOverlap)
{
    std::vector<float> ramp(11);
    for (int k = 0; k <= 10; ++k)
        ramp[k] = static_cast<float>(k);
    const std::vector<float> twos(11, 2.0f);
    struct Case {
        double lo, hi, ramp;
    } cases[] = {
        {2.5, 5.5, 3 + 4 + 5},           {2.25, 5.75, 0.25 * 2 + 3 + 4 + 5 + 0.25 * 6},
        {3.2, 3.3, 0.1 * 3},             {0.0, 1.5, 1.0},  // no DC
        {9.0, 20.0, 0.5 * 9 + 10},       {4.0, 4.0, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(bandEnergy(ramp.data(), nullptr, 10, c.lo, c.hi), c.ramp, 1e-9) << c.lo;
        EXPECT_NEAR(bandEnergy(ramp.data(), twos.data(), 10, c.lo, c.hi), 2 * c.ramp, 1e-9);
    }
}

// White noise: under each window the band totals are the noise's power in
// the band (N sigma^2 per bin at this scale) and overall in all bins, as a
// Leq and, within a few tenths, as an exponential average; the mean of the
// dB bins reads several dB lower.
TEST(BandPower, WhiteNoiseReadsItsPowerUnderEachWindow)
{
    const int n = 4096, blocks = 320;
    const double sigma = 2000.0;
    for (int kind : Kinds)
        for (int averaging : {AveragingKind::Linear, AveragingKind::Exponential}) {
            Analysis an(n, kind);
            an.settings.averaging = averaging;
            an.settings.intLvl = 64;
            an.edges(100.3, 612.7, 1500.0, 2000.0);
            double squares = 0.0;
            for (int b = 0; b < blocks; ++b) {
                an.run(signal(n, 48000, 0.0, 0.0, sigma, b + 1));
                for (int i = 0; i < n; ++i)
                    squares += an.working->reference().samples[i] * an.working->reference().samples[i];
            }
            const double perBin = 10.0 * std::log10(squares / blocks);  // N sigma^2
            const HalfReadings& r = an.arrays->readings.half[0];
            const double tolerance = averaging == AveragingKind::Linear ? 0.1 : 0.25;
            for (int b = 0; b < 3; ++b) {
                const double width = an.arrays->bandEdgeBins[b + 1] - an.arrays->bandEdgeBins[b];
                EXPECT_NEAR(r.bandTotal[b], perBin + 10.0 * std::log10(width), tolerance)
                    << windowName(kind) << " band " << b << " averaging " << averaging;
                EXPECT_LT(an.arrays->referenceBandLevels[b], r.bandTotal[b] - 10.0);
            }
            EXPECT_NEAR(r.overall[WeightingKind::Z], perBin + 10.0 * std::log10(n / 2), tolerance);
        }
}

// A tone anywhere between two bins calibrates to its level within 0.1 dB
// under each window; calibrated to 94 dB, the tone 20 dB lower reads
// 74.0 dB as a band total, and the Difference -20.0. Calibrated levels are
// not held at 0 dB.
TEST(BandPower, EnergyCalibrationUnderEachWindow)
{
    const int n = 4096;
    for (int kind : Kinds)
        for (double offset : {0.0, 0.25, 0.5}) {
            Analysis an(n, kind);
            an.edges(1.0, 250.0, 350.0, 400.0);
            const double hz = (300.0 + offset) * 48000 / n;
            an.run(signal(n, 48000, 3000.0, hz));
            // What the engine's calibration measures: the averaged power.
            const ToneReading tone = strongestTone(an.arrays->powerAverage, n / 2, an.scale());
            EXPECT_NEAR(tone.level, 20.0 * std::log10(3000.0 * n / 2), 0.1) << windowName(kind);
            EXPECT_NEAR(tone.bin, 300.0 + offset, 0.2) << windowName(kind);

            an.settings.calOffset = calibrationOffset(0, tone.level, 9400);
            an.settings.intCount = 1;
            EXPECT_NEAR(an.run(signal(n, 48000, 3000.0, hz)).bandTotal[1], 94.0, 0.1);
            an.settings.reference = false;
            an.settings.intCount = 1;
            const float lower = an.run(signal(n, 48000, 300.0, hz)).bandTotal[1];
            EXPECT_NEAR(lower, 74.0, 0.1) << windowName(kind) << " +" << offset;
            EXPECT_NEAR(lower - an.arrays->readings.half[0].bandTotal[1], -20.0, 0.1);
            // Silence reads the calibration's offset below 0 dB, in the trace,
            // the mean and the bands alike: nothing is held at 0 dB.
            BlockResult silent;
            const std::vector<int16_t> zeros(n, 0);
            ASSERT_EQ(processBlock(an.settings, *an.arrays, *an.working, n, zeros.data(), &silent), 0);
            const float* x = an.spectrum();
            EXPECT_FLOAT_EQ(*std::max_element(x, x + n / 2 + 1), an.settings.calOffset / 100.0f);
            EXPECT_LT(silent.meanLevel, -30.0f);
            EXPECT_LT(an.arrays->analysisBandLevels[0], -30.0f);
        }
}

// A tone that steps up 10 dB halfway: the Leq is the energy mean; a 0.5 s
// burst stays in the maximum hold after it ends; a set duration holds the
// measurement, as a completed exponential average does when asked to.
TEST(Averaging, LeqMaxHoldAndDuration)
{
    const int n = 4096, rate = 48000;  // blocks of 85.3 ms
    Analysis an(n, WindowKind::Hann);
    an.settings.averaging = AveragingKind::Linear;
    an.edges(1.0, 60.0, 100.0, 400.0);  // 1 kHz is bin 85.3
    const double quiet = 20.0 * std::log10(1000.0 * n / 2);
    for (int b = 0; b < 20; ++b)
        an.run(signal(n, rate, b < 10 ? 1000.0 : 1000.0 * std::sqrt(10.0), 1000.0));
    EXPECT_NEAR(an.arrays->readings.half[0].bandTotal[1], quiet + 10.0 * std::log10(5.5), 0.1);
    EXPECT_FLOAT_EQ(an.arrays->readings.elapsedSeconds, 20.0f * n / rate);

    an.settings.intCount = 1;
    an.settings.leqSeconds = 2;  // 24 blocks
    an.settings.maxHold = true;
    an.edges(1.0, 200.0, 300.0, 400.0);  // 3 kHz is bin 256
    std::vector<float> heldTrace;
    for (int b = 0; b < 40; ++b) {
        // A quiet 1 kHz tone, and 6 blocks (0.51 s) of a loud 3 kHz one.
        const bool burst = b >= 2 && b < 8;
        an.run(signal(n, rate, burst ? 10000.0 : 1000.0, burst ? 3000.0 : 1000.0));
        if (b == 23)
            heldTrace.assign(an.spectrum(), an.spectrum() + n / 2 + 1);
    }
    const Readings& r = an.arrays->readings;
    EXPECT_EQ(r.held, 1);
    EXPECT_FLOAT_EQ(r.elapsedSeconds, 24.0f * n / rate);
    EXPECT_EQ(std::vector<float>(an.spectrum(), an.spectrum() + n / 2 + 1), heldTrace);
    const double loud = 20.0 * std::log10(10000.0 * n / 2);
    EXPECT_NEAR(an.working->maxHold[256], loud, 0.1) << "the burst, 32 blocks later";
    EXPECT_EQ(an.working->maxHoldBins, n / 2 + 1);
    EXPECT_NEAR(r.half[0].bandTotal[1], loud + 10.0 * std::log10(6.0 / 24), 0.1);

    Analysis ex(n, WindowKind::Hann);
    ex.settings.intLvl = 4;
    ex.settings.holdComplete = true;
    for (int b = 0; b < 8; ++b) {
        ex.run(signal(n, rate, 1000.0 * (b + 1), 1000.0));
        if (b == 3)
            heldTrace.assign(ex.spectrum(), ex.spectrum() + n / 2 + 1);
    }
    EXPECT_EQ(std::vector<float>(ex.spectrum(), ex.spectrum() + n / 2 + 1), heldTrace);
    EXPECT_EQ(ex.arrays->readings.held, 1);
}

// The octave and third-octave levels of the real analysis: white noise
// (a Leq of 64 blocks under Hann) rises 1 dB per third and 3 dB per octave
// over the measurable bands (the slope of a straight line fitted through
// them), and a tone at a mid-band frequency puts its whole level into that
// band, in both lists, under each window.
TEST(FractionalBands, WhiteNoiseSlopeAndAToneInItsBand)
{
    const int n = 16384, rate = 48000;
    Analysis noise(n, WindowKind::Hann, rate);
    noise.settings.averaging = AveragingKind::Linear;
    for (unsigned b = 0; b < 64; ++b)
        noise.run(signal(n, rate, 0.0, 0.0, 2000.0, b + 1));
    const Readings& r = noise.arrays->readings;
    const struct { const FractionalBands& list; int b; double slope; } lists[] = {
        {r.thirds, 3, 1.0}, {r.octaves, 1, 3.0}};
    for (const auto& l : lists) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        int count = 0;
        for (int i = 0; i < l.list.count; ++i) {
            if (!l.list.band[i].measurable)
                continue;
            const double x = i, y = r.half[0].bandLevel(l.b, i);
            sx += x, sy += y, sxx += x * x, sxy += x * y, ++count;
        }
        ASSERT_GT(count, 5);
        const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
        std::printf("white noise: %.3f dB per band over %d measurable bands of %d\n", slope, count,
                    l.list.count);
        EXPECT_NEAR(slope, l.slope, l.slope / 30.0);
    }
    EXPECT_EQ(r.thirds.count, 30);  // 25 Hz .. 20 kHz
    EXPECT_EQ(r.thirds.band[0].nominal, 25.0);
    EXPECT_EQ(r.thirds.band[29].nominal, 20000.0);

    for (int kind : Kinds) {
        Analysis an(n, kind, rate);
        const int third = 16;  // the 1 kHz third octave (25 Hz is the first), in the 1 kHz octave
        const HalfReadings& h = an.run(signal(n, rate, 3000.0, 1000.0));
        const Readings& t = an.arrays->readings;
        ASSERT_EQ(t.thirds.band[third].nominal, 1000.0);
        ASSERT_EQ(t.octaves.band[5].nominal, 1000.0);
        EXPECT_NEAR(h.thirdLevel(third), h.overall[0], 0.1) << kind;
        EXPECT_NEAR(h.octaveLevel(5), h.overall[0], 0.1) << kind;
        EXPECT_LT(h.thirdLevel(third - 2), h.overall[0] - 20.0) << kind;
        EXPECT_LT(h.thirdLevel(third + 2), h.overall[0] - 20.0) << kind;
        // The same sums as bandEnergy's over each band's edges.
        for (int i = 0; i < t.thirds.count; ++i)
            EXPECT_NEAR(h.thirdEnergy[i],
                        bandEnergy(an.arrays->powerAverage, nullptr, n / 2, t.thirds.band[i].loBin,
                                   t.thirds.band[i].hiBin),
                        1e-4 * h.thirdEnergy[i] + 1e-6) << i;
    }
}

}  // namespace
