// Noise-report numbers on the real block analysis: the A and C weightings
// against the standard's table, band totals of white noise and of tones
// under each window, energy calibration, the Leq and the maximum hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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

// processBlock, then the block's power spectrum, as the engine does it.
struct Analysis {
    std::unique_ptr<AnalysisArrays> arrays = std::make_unique<AnalysisArrays>();
    std::unique_ptr<DisplayBuffer> working = std::make_unique<DisplayBuffer>();
    BlockSettings settings;
    std::vector<float> power;

    Analysis(int n, int window) : power(n / 2 + 1)
    {
        settings.numSamples = n;
        settings.intCount = 1;
        settings.windowKind = window;
    }
    EnergyScale scale() const
    {
        return energyScale(settings.windowKind, arrays->window, settings.calOffset);
    }
    const float* run(const std::vector<int16_t>& b)
    {
        BlockResult r;
        EXPECT_EQ(processBlock(settings, *arrays, *working, settings.numSamples, b.data(), &r), 0);
        settings.intCount = r.intCount;
        blockPower(arrays->fftReal, arrays->fftImag, settings.numSamples / 2, scale(),
                   power.data());
        return power.data();
    }
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

// A 100 Hz tone through the analysis and the per-bin tables: A reads it
// 19.1 dB and C 0.3 dB below Z.
TEST(Weighting, ToneAt100HzUnderEachWeighting)
{
    const int n = 16384, rate = 48000;
    Analysis an(n, WindowKind::Hann);
    const float* p = an.run(signal(n, rate, 5000.0, 100.0));
    auto tables = std::make_unique<WeightingTable[]>(3);
    const float edges[4] = {1.0f, 20.0f * n / rate, 200.0f * n / rate, 1000.0f * n / rate};
    float level[3];
    for (int kind = 0; kind < 3; ++kind) {
        buildWeighting(tables[kind], kind, n, rate);
        level[kind] = bandTotals(p, tables[kind].gain, n / 2, edges, an.scale()).band[1];
    }
    EXPECT_NEAR(level[WeightingKind::Z] - level[WeightingKind::A], 19.1, 0.1);
    EXPECT_NEAR(level[WeightingKind::Z] - level[WeightingKind::C], 0.3, 0.1);
    EXPECT_EQ(tables[WeightingKind::A].gain[0], 0.0f);  // DC
    EXPECT_NEAR(tables[WeightingKind::A].db[1000], weightingDb(WeightingKind::A, 1000.0 * rate / n),
                1e-4);
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

// White noise: under each window the Leq band totals are the noise's power
// in the band (N sigma^2 per bin at this scale) and overall in all bins.
TEST(BandPower, WhiteNoiseReadsItsPowerUnderEachWindow)
{
    const int n = 4096, blocks = 320;
    const double sigma = 2000.0;
    const float edges[4] = {100.3f, 612.7f, 1500.0f, 2000.0f};
    for (int kind : Kinds) {
        Analysis an(n, kind);
        auto leq = std::make_unique<LeqAccumulator>();
        leq->reset(n / 2 + 1, n, 48000);
        double squares = 0.0;
        for (int b = 0; b < blocks; ++b) {
            const std::vector<int16_t> block = signal(n, 48000, 0.0, 0.0, sigma, b + 1);
            leq->add(an.run(block));
            for (int i = 0; i < n; ++i)
                squares += an.working->reference().samples[i] * an.working->reference().samples[i];
        }
        const double perBin = 10.0 * std::log10(squares / blocks);  // N sigma^2
        std::vector<float> mean(n / 2 + 1);
        leq->mean(mean.data());
        const BandTotals t = bandTotals(mean.data(), nullptr, n / 2, edges, an.scale());
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(t.band[b], perBin + 10.0 * std::log10(edges[b + 1] - edges[b]), 0.1)
                << windowName(kind) << " band " << b;
        EXPECT_NEAR(t.overall, perBin + 10.0 * std::log10(n / 2), 0.1) << windowName(kind);
    }
}

// A tone anywhere between two bins reads its level, (a N / 2)^2 at this
// scale, as a tone level and as a band total; calibrated to 94 dB, the tone
// 20 dB lower reads 74 dB, under each window.
TEST(BandPower, EnergyCalibrationUnderEachWindow)
{
    const int n = 4096;
    const float edges[4] = {1.0f, 250.0f, 350.0f, 400.0f};
    for (int kind : Kinds)
        for (double offset : {0.0, 0.25, 0.5}) {
            Analysis an(n, kind);
            const double hz = (300.0 + offset) * 48000 / n;
            const float* p = an.run(signal(n, 48000, 3000.0, hz));
            const float measured = toneLevel(p, n / 2, an.scale());
            EXPECT_NEAR(measured, 20.0 * std::log10(3000.0 * n / 2), 0.1) << windowName(kind);
            EXPECT_NEAR(bandTotals(p, nullptr, n / 2, edges, an.scale()).band[1], measured, 0.1);

            an.settings.calOffset = calibrationOffset(0, measured, 9400);
            p = an.run(signal(n, 48000, 300.0, hz));
            const float lower = toneLevel(p, n / 2, an.scale());
            EXPECT_NEAR(lower, 74.0, 0.1) << windowName(kind) << " +" << offset;
            EXPECT_NEAR(bandTotals(p, nullptr, n / 2, edges, an.scale()).band[1], 74.0, 0.1);
            EXPECT_NEAR(lower - (measured + an.scale().calibrationDb), -20.0, 0.1);
        }
}

// A tone that steps up 10 dB halfway: the Leq is the energy mean; a 0.5 s
// burst stays in the maximum hold after it ends; a set duration holds.
TEST(Averaging, LeqMaxHoldAndDuration)
{
    const int n = 4096, rate = 48000;  // blocks of 85.3 ms
    Analysis an(n, WindowKind::Hann);
    auto leq = std::make_unique<LeqAccumulator>();
    auto hold = std::make_unique<MaxHold>();
    std::vector<float> mean(n / 2 + 1);
    const double quiet = 20.0 * std::log10(1000.0 * n / 2);

    leq->reset(n / 2 + 1, n, rate);
    for (int b = 0; b < 20; ++b)
        leq->add(an.run(signal(n, rate, b < 10 ? 1000.0 : 1000.0 * std::sqrt(10.0), 1000.0)));
    leq->mean(mean.data());
    EXPECT_NEAR(toneLevel(mean.data(), n / 2, an.scale()), quiet + 10.0 * std::log10(5.5), 0.1);
    EXPECT_DOUBLE_EQ(leq->elapsedSeconds(), 20.0 * n / rate);

    // As the engine does it: the block's transform into both in one pass.
    leq->reset(n / 2 + 1, n, rate, 2.0);  // 24 blocks
    hold->reset(n / 2 + 1);
    int taken = 0;
    for (int b = 0; b < 40; ++b) {
        // A quiet 1 kHz tone, and 6 blocks (0.51 s) of a loud 3 kHz one.
        const bool burst = b >= 2 && b < 8;
        an.run(signal(n, rate, burst ? 10000.0 : 1000.0, burst ? 3000.0 : 1000.0));
        taken += addBlock(an.arrays->fftReal, an.arrays->fftImag, an.scale(), *leq, *hold) ? 1 : 0;
    }
    EXPECT_EQ(taken, 24);
    EXPECT_TRUE(leq->complete());
    EXPECT_EQ(hold->blocks(), 24);
    const float edges[4] = {1.0f, 200.0f, 300.0f, 400.0f};  // 3 kHz is bin 256
    const double loud = 20.0 * std::log10(10000.0 * n / 2);
    EXPECT_NEAR(bandTotals(hold->values(), nullptr, n / 2, edges, an.scale()).band[1], loud, 0.1);
    const BandTotals t = leq->bandTotals(nullptr, edges, an.scale());
    EXPECT_NEAR(t.band[1], loud + 10.0 * std::log10(6.0 / 24), 0.1);
    leq->mean(mean.data());
    EXPECT_NEAR(bandTotals(mean.data(), nullptr, n / 2, edges, an.scale()).overall, t.overall,
                0.001);
}

}  // namespace
