// Block analysis on a real ParameterStore: levels of known signals, band
// edges and band averages, integration, the full-scale measurement, the
// microphone response taken off every bin, the parameters written and the
// half of the working buffer that is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "analysis/BlockAnalysis.h"
#include "foundation/AnalysisSettings.h"
#include "foundation/MicResponse.h"
#include "foundation/ParameterStore.h"

namespace {

const double TwoPi = 2.0 * std::acos(-1.0);

using Block = std::vector<int16_t>;

Block sineBlock(int n, double amplitude, double cycles, double offset = 0.0)
{
    Block b(n);
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(TwoPi * cycles * i / n) + offset));
    return b;
}

// Records every notification with the values of the two mean levels at
// that moment.
struct Recorder : ParameterObserver {
    struct Event {
        int id;
        int ref;
        int ana;
    };
    explicit Recorder(ParameterStore& s) : store(s) {}
    void parameterChanged(int id) override
    {
        events.push_back({id, store.get(Param::RefMeanLevel), store.get(Param::AnaMeanLevel)});
    }
    ParameterStore& store;
    std::vector<Event> events;
};

// One analyzer's state: store, the engine's arrays and its working buffer
// (all large, so on the heap).
struct Analyzer {
    std::unique_ptr<ParameterStore> store = std::make_unique<ParameterStore>();
    std::unique_ptr<AnalysisArrays> arrays = std::make_unique<AnalysisArrays>();
    std::unique_ptr<DisplayBuffer> working = std::make_unique<DisplayBuffer>();

    Analyzer(int n = 1024, int rate = 12000, int intLvl = 16,
             std::vector<int> limits = {100, 500, 1500, 4000})
    {
        store->set(Param::NumSamples, n);
        store->set(Param::SampFrq, rate);
        store->set(Param::IntLvl, intLvl);
        store->set(Param::IntCount, 1);
        for (int k = 0; k < 4; ++k)
            store->set(Param::Filter0 + k, limits[k]);
        store->set(Param::RefMode, 1);
        computeBandEdges(*store, arrays->bandEdgeBins);
    }

    int n() const { return store->get(Param::NumSamples); }
    int process(const Block& b) { return processBlock(*store, *arrays, *working, static_cast<int>(b.size()), b.data()); }
    const float* refSpectrum() const { return working->set[0].spectrum; }
    const float* anaSpectrum() const { return working->set[1].spectrum; }

    // Makes the next block's spectrum read `db[k]` in bin k: a silent block
    // adds nothing to the average, so with IntLvl 2 the result is half of
    // what the integrator held.
    int processConstructedSpectrum(const std::vector<double>& db)
    {
        store->set(Param::IntLvl, 2);
        store->set(Param::IntCount, 2);
        for (size_t k = 0; k < db.size(); ++k)
            arrays->integrator[k] = static_cast<float>(2.0 * std::pow(10.0, db[k] / 20.0));
        return process(Block(n(), 0));
    }
};

double bandMean(const std::vector<double>& db, int lo, int hi)
{
    double sum = 0.0;
    for (int k = lo; k < hi; ++k)
        sum += db[k];
    return sum / (hi - lo);
}

}  // namespace

// ---- Levels of known signals -----------------------------------------------

TEST(BlockLevels, SineWithWholeCyclesReadsItsAmplitudeTimesHalfN)
{
    struct Case {
        double amplitude;
        double expectDb;
    };
    // 32767 * 512 is 144.49 dB; 1000 * 512 is 114.19 dB.
    for (Case c : {Case{32767.0, 144.49}, Case{1000.0, 114.19}}) {
        SCOPED_TRACE(c.amplitude);
        Analyzer a;
        ASSERT_EQ(a.process(sineBlock(1024, c.amplitude, 100.0)), 0);
        EXPECT_NEAR(a.refSpectrum()[100], c.expectDb, 0.01);
        // No window and whole cycles: no leakage, only rounding noise of the
        // 16-bit samples elsewhere.
        for (int k = 0; k <= 512; ++k) {
            if (k != 100) {
                ASSERT_LT(a.refSpectrum()[k], c.expectDb - 70.0) << "bin " << k;
            }
        }
        EXPECT_EQ(a.store->get(Param::DataPresent), 1);
    }
}

TEST(BlockLevels, SamplesAreKeptWithTheirMeanRemoved)
{
    Analyzer a;
    const Block b = sineBlock(1024, 5000.0, 37.3, 1234.0);
    double mean = 0.0;
    for (int16_t v : b)
        mean += v;
    mean /= b.size();
    ASSERT_EQ(a.process(b), 0);
    for (size_t i = 0; i < b.size(); ++i)
        ASSERT_EQ(a.working->set[0].samples[i], static_cast<float>(b[i] - mean)) << i;
    // The offset is gone from bin 0 as well.
    EXPECT_LT(a.refSpectrum()[0], 20.0);
}

TEST(BlockLevels, SilentBlockReadsZeroEverywhere)
{
    Analyzer a;
    a.store->set(Param::RefMeanLevel, 77);
    a.store->set(Param::AnaMeanLevel, 5);
    for (float& v : a.arrays->referenceBandLevels)
        v = -1.0f;
    ASSERT_EQ(a.process(Block(1024, 123)), 0);
    for (int k = 0; k <= 512; ++k)
        ASSERT_EQ(a.refSpectrum()[k], 0.0f) << k;
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(a.working->set[0].samples[i], 0.0f) << i;
    for (float v : a.arrays->referenceBandLevels)
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(a.store->get(Param::RefMeanLevel), 0);
    EXPECT_EQ(a.store->get(Param::AnaMeanLevel), 0);
    EXPECT_EQ(a.store->get(Param::WaveFullScale), 0);
    EXPECT_EQ(a.store->get(Param::DataPresent), 1);
}

TEST(BlockLevels, MeanLevelDividesTheSumOfHalfNPlusOneBinsByHalfN)
{
    Analyzer a;
    // 513 bins of 99.9 dB: 513 * 99.9 / 512 = 100.09, where a plain mean
    // would truncate to 99.
    ASSERT_EQ(a.processConstructedSpectrum(std::vector<double>(513, 99.9)), 0);
    EXPECT_NEAR(a.refSpectrum()[300], 99.9, 1e-3);
    EXPECT_EQ(a.store->get(Param::RefMeanLevel), 100);
    EXPECT_EQ(a.store->get(Param::AnaMeanLevel), 0);
}

TEST(BlockLevels, DecibelsMatchTheLibraryLogarithm)
{
    std::mt19937 gen(42);
    std::uniform_real_distribution<double> exponent(0.0, 9.5);
    std::vector<float> values;
    for (int i = 0; i < 200000; ++i)
        values.push_back(static_cast<float>(std::pow(10.0, exponent(gen))));
    // Around the points where the mantissa split changes, and exact powers.
    for (float v : {1.0f, 1.4142135f, 1.4142137f, 2.0f, 2.828427f, 1024.0f, 5.36e8f})
        for (int step = -3; step <= 3; ++step) {
            float w = v;
            for (int s = 0; s < std::abs(step); ++s)
                w = std::nextafter(w, step < 0 ? 0.0f : 1e30f);
            values.push_back(w);
        }
    // At or below 1, including 0 and the subnormals: 0 dB.
    for (float v : {0.0f, 1e-40f, 1e-30f, 0.5f, 0.999999f, 1.0f})
        values.push_back(v);

    std::vector<float> got = values;
    magnitudesToDecibels(got.data(), static_cast<int>(got.size()));
    int offByOneUlp = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        float want = v > 1.0 ? static_cast<float>(20.0 * std::log10(v)) : 0.0f;
        if (want < 0.0f)
            want = 0.0f;
        if (got[i] == want)
            continue;
        // Rounding a double result to float may differ at a near-tie.
        ASSERT_EQ(got[i], std::nextafter(want, got[i] > want ? 1e30f : -1e30f)) << "magnitude " << v;
        ++offByOneUlp;
    }
    EXPECT_LT(offByOneUlp, static_cast<int>(values.size() / 10000));
}

// ---- Band edges and band levels --------------------------------------------

TEST(BandEdges, LimitsBecomeFractionalBins)
{
    Analyzer a;  // 1024 samples at 12000 Hz, 100/500/1500/4000 Hz
    const float* e = a.arrays->bandEdgeBins;
    EXPECT_NEAR(e[0], 8.5333, 1e-3);
    EXPECT_NEAR(e[1], 42.6667, 1e-3);
    EXPECT_NEAR(e[2], 128.0, 1e-3);
    EXPECT_NEAR(e[3], 341.3333, 1e-3);
}

TEST(BandEdges, LimitAboveHalfTheRateIsPulledToOneHertzBelow)
{
    Analyzer a(16384, 48000, 16, {100, 23999, 24000, 30000});
    const float* e = a.arrays->bandEdgeBins;
    EXPECT_NEAR(e[0], 34.13, 0.01);
    EXPECT_NEAR(e[1], 8191.66, 0.01);  // 23999 Hz itself
    EXPECT_NEAR(e[2], 8192.0, 0.01);   // exactly half the rate stays
    EXPECT_NEAR(e[3], 8191.66, 0.01);  // 30000 Hz -> 23999 Hz

    Analyzer low(16384, 4000, 16, {100, 500, 1500, 4000});
    EXPECT_NEAR(low.arrays->bandEdgeBins[3], 1999 * 16384.0 / 4000.0, 0.01);
}

// Only the bins of each band differ from their neighbours, and each band's
// end bins differ from its inside, so a band that took one bin too many or
// too few would read another level.
TEST(BandLevels, BandsAverageExactlyTheirBins)
{
    Analyzer a;  // bands 8..41, 42..127, 128..340
    const int lo[3] = {8, 42, 128};
    const int hi[3] = {42, 128, 341};
    const double inside[3] = {90.0, 70.0, 50.0};
    const double ends[3] = {40.0, 30.0, 20.0};
    std::vector<double> db(513, 0.0);
    db[0] = 120.0;
    for (int b = 0; b < 3; ++b) {
        for (int k = lo[b]; k < hi[b]; ++k)
            db[k] = inside[b];
        db[lo[b]] = ends[b];
        db[hi[b] - 1] = ends[b];
    }
    ASSERT_EQ(a.processConstructedSpectrum(db), 0);
    for (int b = 0; b < 3; ++b) {
        SCOPED_TRACE(b);
        EXPECT_NEAR(a.arrays->referenceBandLevels[b], bandMean(db, lo[b], hi[b]), 1e-3);
        // The mean of decibels, not the decibels of a mean power: here the
        // two differ by far more than the tolerance above.
        double power = 0.0;
        for (int k = lo[b]; k < hi[b]; ++k)
            power += std::pow(10.0, db[k] / 10.0);
        EXPECT_GT(10.0 * std::log10(power / (hi[b] - lo[b])) - a.arrays->referenceBandLevels[b], 0.1);
    }
}

TEST(BandLevels, LowestBandLeavesOutTheDcBin)
{
    Analyzer a(1024, 12000, 16, {10, 500, 1500, 4000});  // 10 Hz is bin 0.85
    std::vector<double> db(513, 0.0);
    db[0] = 150.0;
    for (int k = 1; k < 42; ++k)
        db[k] = 60.0;
    ASSERT_EQ(a.processConstructedSpectrum(db), 0);
    EXPECT_NEAR(a.arrays->referenceBandLevels[0], 60.0, 1e-3);
}

TEST(BandLevels, EdgesInTheSameBinGiveAOneBinBand)
{
    // 100 Hz and 105 Hz are bins 8.53 and 8.96.
    Analyzer a(1024, 12000, 16, {100, 105, 1500, 4000});
    std::vector<double> db(513, 0.0);
    db[8] = 77.0;
    db[9] = 33.0;
    ASSERT_EQ(a.processConstructedSpectrum(db), 0);
    EXPECT_NEAR(a.arrays->referenceBandLevels[0], 77.0, 1e-3);
    // The next band starts at the same bin: 8..127.
    EXPECT_NEAR(a.arrays->referenceBandLevels[1], bandMean(db, 8, 128), 1e-3);
}

// ---- Integration ------------------------------------------------------------

TEST(SpectrumIntegration, CountOneMakesEveryBlockReplaceThePrevious)
{
    Analyzer a(1024, 12000, 1);
    ASSERT_EQ(a.process(sineBlock(1024, 20000.0, 100.0)), 0);
    const Block second = sineBlock(1024, 300.0, 200.0);
    ASSERT_EQ(a.process(second), 0);
    ASSERT_EQ(a.store->get(Param::IntCount), 2);  // the second block averaged

    Analyzer alone(1024, 12000, 1);
    ASSERT_EQ(alone.process(second), 0);
    for (int k = 0; k <= 512; ++k)
        ASSERT_EQ(a.refSpectrum()[k], alone.refSpectrum()[k]) << k;
}

TEST(SpectrumIntegration, NewestBlockWeighsOneOverIntLvl)
{
    Analyzer a(1024, 12000, 16);
    ASSERT_EQ(a.process(sineBlock(1024, 1000.0, 100.0)), 0);  // seeds the average
    EXPECT_NEAR(a.refSpectrum()[100], 20.0 * std::log10(1000.0 * 512), 0.01);

    ASSERT_EQ(a.process(sineBlock(1024, 16000.0, 100.0)), 0);
    double magnitude = (15.0 / 16.0) * 1000.0 * 512 + (1.0 / 16.0) * 16000.0 * 512;
    EXPECT_NEAR(a.refSpectrum()[100], 20.0 * std::log10(magnitude), 0.01);

    ASSERT_EQ(a.process(Block(1024, 0)), 0);  // silence only decays it
    magnitude *= 15.0 / 16.0;
    EXPECT_NEAR(a.refSpectrum()[100], 20.0 * std::log10(magnitude), 0.01);
}

TEST(SpectrumIntegration, IntCountClimbsToIntLvlPlusOneAndAveragingGoesOn)
{
    Analyzer a(1024, 12000, 4);
    const Block tone = sineBlock(1024, 8000.0, 100.0);
    const int expected[8] = {2, 3, 4, 5, 5, 5, 5, 5};
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(a.process(tone), 0);
        EXPECT_EQ(a.store->get(Param::IntCount), expected[i]) << "after block " << i + 1;
    }
    // The average does not freeze when the count stops.
    const float before = a.refSpectrum()[100];
    ASSERT_EQ(a.process(Block(1024, 0)), 0);
    EXPECT_NEAR(a.refSpectrum()[100], before + 20.0 * std::log10(3.0 / 4.0), 0.01);
}

TEST(SpectrumIntegration, CountOneReseedsTheAverage)
{
    Analyzer a(1024, 12000, 16);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(a.process(sineBlock(1024, 30000.0, 50.0)), 0);
    a.store->set(Param::IntCount, 1);  // a new capture run
    const Block fresh = sineBlock(1024, 700.0, 250.0);
    ASSERT_EQ(a.process(fresh), 0);
    Analyzer alone(1024, 12000, 16);
    ASSERT_EQ(alone.process(fresh), 0);
    for (int k = 0; k <= 512; ++k)
        ASSERT_EQ(a.refSpectrum()[k], alone.refSpectrum()[k]) << k;
}

// ---- What is written, and where ----------------------------------------------

TEST(BlockWrites, BlockOfTheWrongLengthChangesNothing)
{
    Analyzer a;
    a.store->set(Param::IntCount, 3);
    a.store->set(Param::RefMeanLevel, 11);
    a.store->set(Param::AnaMeanLevel, 12);
    for (auto& set : a.working->set) {
        std::fill(std::begin(set.samples), std::end(set.samples), 7.0f);
        std::fill(std::begin(set.spectrum), std::end(set.spectrum), 8.0f);
    }
    std::fill(std::begin(a.arrays->integrator), std::end(a.arrays->integrator), 9.0f);
    std::fill(std::begin(a.arrays->referenceBandLevels), std::end(a.arrays->referenceBandLevels), 10.0f);
    Recorder rec(*a.store);
    a.store->addObserver(&rec);

    const Block longer = sineBlock(1025, 1000.0, 10.0);
    EXPECT_EQ(processBlock(*a.store, *a.arrays, *a.working, 1023, longer.data()), -1);
    EXPECT_EQ(processBlock(*a.store, *a.arrays, *a.working, 1025, longer.data()), -1);
    a.store->removeObserver(&rec);

    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(a.store->get(Param::IntCount), 3);
    EXPECT_EQ(a.store->get(Param::DataPresent), 0);
    EXPECT_EQ(a.store->get(Param::RefMeanLevel), 11);
    EXPECT_EQ(a.store->get(Param::AnaMeanLevel), 12);
    EXPECT_EQ(a.store->get(Param::WaveFullScale), 0);
    for (const auto& set : a.working->set) {
        for (float v : set.samples)
            ASSERT_EQ(v, 7.0f);
        for (float v : set.spectrum)
            ASSERT_EQ(v, 8.0f);
    }
    for (float v : a.arrays->integrator)
        ASSERT_EQ(v, 9.0f);
    for (float v : a.arrays->referenceBandLevels)
        ASSERT_EQ(v, 10.0f);
}

TEST(BlockWrites, ReferenceBlockClearsTheAnalysisLevelFirst)
{
    Analyzer a;
    a.store->set(Param::RefMeanLevel, -5);
    a.store->set(Param::AnaMeanLevel, 42);
    Recorder rec(*a.store);
    a.store->addObserver(&rec);
    ASSERT_EQ(a.process(sineBlock(1024, 20000.0, 100.0)), 0);
    a.store->removeObserver(&rec);

    std::vector<int> order;
    for (const auto& e : rec.events)
        if (e.id != Param::WaveFullScale)
            order.push_back(e.id);
    EXPECT_EQ(order, (std::vector<int>{Param::AnaMeanLevel, Param::RefMeanLevel, Param::IntCount,
                                       Param::DataPresent}));
    ASSERT_GE(rec.events.size(), 2u);
    for (const auto& e : rec.events) {
        if (e.id == Param::AnaMeanLevel) {
            EXPECT_EQ(e.ana, 0);
            EXPECT_EQ(e.ref, -5);  // not written yet
        }
    }
    double sum = 0.0;
    for (int k = 0; k <= 512; ++k)
        sum += a.refSpectrum()[k];
    const int mean = static_cast<int>(sum / 512);
    EXPECT_GT(mean, 0);
    EXPECT_EQ(a.store->get(Param::RefMeanLevel), mean);
}

TEST(BlockWrites, RefModeChoosesTheHalfAndTheLevels)
{
    for (int refMode : {1, 0}) {
        SCOPED_TRACE(refMode);
        Analyzer a;
        a.store->set(Param::RefMode, refMode);
        a.store->set(Param::RefMeanLevel, 33);
        a.store->set(Param::AnaMeanLevel, 34);
        const int other = refMode ? 1 : 0;
        float* otherLevels = refMode ? a.arrays->analysisBandLevels : a.arrays->referenceBandLevels;
        std::fill(std::begin(a.working->set[other].samples), std::end(a.working->set[other].samples), 5.0f);
        std::fill(std::begin(a.working->set[other].spectrum), std::end(a.working->set[other].spectrum), 6.0f);
        std::fill(otherLevels, otherLevels + 3, 7.0f);

        ASSERT_EQ(a.process(sineBlock(1024, 20000.0, 100.0)), 0);

        const SpectrumSet& written = a.working->set[1 - other];
        const float* levels = refMode ? a.arrays->referenceBandLevels : a.arrays->analysisBandLevels;
        EXPECT_NEAR(written.spectrum[100], 20.0 * std::log10(20000.0 * 512), 0.01);
        EXPECT_GT(levels[0], 0.0f);
        for (float v : a.working->set[other].samples)
            ASSERT_EQ(v, 5.0f);
        for (float v : a.working->set[other].spectrum)
            ASSERT_EQ(v, 6.0f);
        for (int b = 0; b < 3; ++b)
            EXPECT_EQ(otherLevels[b], 7.0f);
        if (refMode) {
            EXPECT_NE(a.store->get(Param::RefMeanLevel), 33);
            EXPECT_EQ(a.store->get(Param::AnaMeanLevel), 0);
        } else {
            EXPECT_EQ(a.store->get(Param::RefMeanLevel), 33);
            EXPECT_NE(a.store->get(Param::AnaMeanLevel), 34);
            EXPECT_GT(a.store->get(Param::AnaMeanLevel), 0);
        }
    }
}

// ---- Full scale of the waveform view ----------------------------------------

TEST(WaveFullScale, TakesThePeakOfTheFirstBlockAfterTheFirst201Samples)
{
    Analyzer a;
    auto spike = [](int at, int16_t value) {
        Block b(1024, 0);
        b[at] = value;
        return b;
    };
    // A spike at sample 200 does not count; what is left is below 3/4 of
    // the mean deviation, so nothing is set.
    ASSERT_EQ(a.process(spike(200, 20000)), 0);
    EXPECT_EQ(a.store->get(Param::WaveFullScale), 0);

    // At sample 201 it counts: its deviation from the block's mean.
    ASSERT_EQ(a.process(spike(201, 20000)), 0);
    EXPECT_EQ(a.store->get(Param::WaveFullScale), static_cast<int>(20000.0 - 20000.0 / 1024));

    // Later blocks leave it alone ...
    ASSERT_EQ(a.process(spike(500, 30000)), 0);
    EXPECT_EQ(a.store->get(Param::WaveFullScale), 19980);

    // ... until it is cleared (a new Reference command).
    a.store->set(Param::WaveFullScale, 0);
    ASSERT_EQ(a.process(spike(300, 1000)), 0);
    EXPECT_EQ(a.store->get(Param::WaveFullScale), static_cast<int>(1000.0 - 1000.0 / 1024));
}

TEST(WaveFullScale, ConditionBlockRemovesTheMeanInPlace)
{
    auto owned = std::make_unique<ParameterStore>();  // large: not on the stack
    ParameterStore& store = *owned;
    std::vector<float> x(600);
    double mean = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<float>(static_cast<int>(i % 17) * 100 - 250);
        mean += x[i];
    }
    mean /= x.size();
    const std::vector<float> before = x;
    conditionBlock(store, static_cast<int>(x.size()), x.data());
    float peak = 0.0f;
    for (size_t i = 0; i < x.size(); ++i) {
        ASSERT_EQ(x[i], static_cast<float>(before[i] - mean));
        if (i > 200)
            peak = std::max(peak, std::fabs(x[i]));
    }
    EXPECT_EQ(store.get(Param::WaveFullScale), static_cast<int>(peak));
}

// ---- The microphone's response -------------------------------------------

// Three tones on whole bins (1500, 3000 and 4500 Hz at 12000 Hz and 1024
// samples) read with and without a response that rises 6 dB per decade from
// -3 dB at 1000 Hz: each bin's level drops by the response interpolated in
// log frequency at its frequency, computed here by hand.
TEST(MicResponse, EachLevelLosesTheResponseAtItsFrequency)
{
    MicResponse mic;
    mic.set({{1000.0, -3.0}, {10000.0, 3.0}}, L"mic.txt", "0123456789abcdef");
    BinCorrection table;
    const int bins[3] = {128, 256, 384};
    const double hz[3] = {1500.0, 3000.0, 4500.0};
    Block b(1024, 0);
    for (int bin : bins) {
        const Block tone = sineBlock(1024, 3000.0, bin);
        for (int i = 0; i < 1024; ++i)
            b[i] = static_cast<int16_t>(b[i] + tone[i]);
    }
    Analyzer plain, corrected;
    ASSERT_NE(table.prepare(mic, 1024, 12000), nullptr);
    corrected.arrays->binCorrectionGain = table.gains();
    corrected.arrays->binCorrectionAmplitude = table.amplitudes();
    ASSERT_EQ(plain.process(b), 0);
    ASSERT_EQ(corrected.process(b), 0);
    for (int i = 0; i < 3; ++i) {
        const double expected = -3.0 + 6.0 * std::log10(hz[i] / 1000.0);
        EXPECT_NEAR(plain.refSpectrum()[bins[i]] - corrected.refSpectrum()[bins[i]], expected, 1e-4)
            << hz[i] << " Hz";
        EXPECT_NEAR(10.0 * std::log10(plain.arrays->power[bins[i]] / corrected.arrays->power[bins[i]]),
                    expected, 1e-4)
            << hz[i] << " Hz, as a power";
    }
    // Below the file's first point the first value holds.
    EXPECT_FLOAT_EQ(table.prepare(mic, 1024, 12000)[10], -3.0f);
}

TEST(MicResponse, TheTableIsBuiltOnlyWhenTheResponseTheLengthOrTheRateChanges)
{
    MicResponse mic;
    BinCorrection table;
    EXPECT_EQ(table.prepare(mic, 1024, 12000), nullptr) << "no response, no table";
    mic.set({{100.0, 1.0}, {1000.0, 2.0}}, L"a.txt", "1");
    ASSERT_NE(table.prepare(mic, 1024, 12000), nullptr);
    table.prepare(mic, 1024, 12000);
    EXPECT_EQ(table.builds(), 1);
    table.prepare(mic, 2048, 12000);
    table.prepare(mic, 2048, 48000);
    mic.set({{100.0, 4.0}, {1000.0, 5.0}}, L"b.txt", "2");
    EXPECT_FLOAT_EQ(table.prepare(mic, 2048, 48000)[2048 / 2], 5.0f);
    EXPECT_EQ(table.builds(), 4);
    mic.clear();
    EXPECT_EQ(table.prepare(mic, 2048, 48000), nullptr);
}
