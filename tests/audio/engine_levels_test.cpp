// Levels you can trust, end to end through the real wave devices: a known
// tone in the virtual microphone calibrates the engine to the offset computed
// for it; a tone beyond full scale is counted as clipping; a microphone that
// stops for seconds is counted as lost blocks. The settings reach the
// registry.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>
#include <string>

#include "EngineHarness.h"
#include "analysis/Levels.h"
#include "foundation/AnalysisSettings.h"
#include "foundation/Settings.h"

using namespace qxtest;

namespace {

class LevelsTest : public DeviceTest {};

// The strongest tone of the newest reference spectrum, as the calibration
// measures it.
float strongestReferenceTone(ParameterStore& store, int n, double bandwidthDb)
{
    const int index = store.acquireLatestDisplayBuffer();
    float level = -1000.0f;
    if (index >= 0)
        level = strongestToneLevel(store.displayBuffers()[index].reference().spectrum, n / 2 - 1,
                                   bandwidthDb);
    store.releaseDisplayBuffers();
    return level;
}

}  // namespace

// Through the devices, under each window at 48000 Hz and 4096 samples, with
// an integration count of 1 so that each published spectrum belongs to the
// block published with it. What the sound server delivers is not exactly
// what the feeder played (a busy machine drops samples), so each block's
// computed levels come from its own samples under the window,
// p = sum (w x)^2 / sum w^2:
// - a 1000 Hz tone (a third of a bin off the bin centres): its level is
//   20 log10(sqrt(2 p) N / 2); the strongest tone of a whole block reads it,
//   one with a gap reads less (the gap spreads the tone), never more;
// - white noise: each bin's power is exponentially distributed with mean
//   N p, and the mean of its dB values is 10 log10(N p) - 2.51 dB (Euler's
//   constant times 10 / ln 10); the band levels, averaged over the blocks,
//   must read it.
// 16 blocks per window; the figures are printed.
TEST_F(LevelsTest, ToneAndNoiseUnderEachWindowAgainstComputedLevels)
{
    const int rate = 48000, n = 4096, blocks = 16;
    EngineSession s;
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::NumSamples, n);
    s.store->set(Param::IntLvl, 1);
    s.start();

    // Filled on the capture thread while it publishes (it holds the frame
    // lock then, so the buffer and the band levels belong together).
    std::mutex lock;
    bool tone = true;
    int kind = 0, skip = 0;
    std::vector<double> toneError, bandError[3], toneLevel, bandLevel[3];
    s.log->onWrite = [&](int id) {
        if (id != Param::NewDisplayData)
            return;
        std::lock_guard<std::mutex> hold(lock);
        if (skip > 0) {
            --skip;
            return;
        }
        const SpectrumSet& r = s.store->displayBuffers()[s.store->get(Param::LatestBuffer)].reference();
        WindowTable table;
        buildWindow(table, kind, n);
        double power = 0.0, weight = 0.0;
        for (int i = 0; i < n; ++i) {
            const double w = table.coefficients[i];
            power += (w * r.samples[i]) * (w * r.samples[i]);
            weight += w * w;
        }
        power /= weight;
        if (tone) {
            const double computed = 20.0 * std::log10(std::sqrt(2.0 * power) * n / 2.0);
            const double level = strongestToneLevel(r.spectrum, n / 2 - 1, noiseBandwidthDb(table));
            toneError.push_back(level - computed);
            toneLevel.push_back(level);
        } else {
            const double computed = 10.0 * std::log10(n * power) - 2.5068;
            const float* bands = s.store->pointer<const float*>(Param::RefBandLevels);
            for (int b = 0; b < 3; ++b) {
                bandError[b].push_back(bands[b] - computed);
                bandLevel[b].push_back(bands[b]);
            }
        }
    };
    auto mean = [](const std::vector<double>& v) {
        double sum = 0.0;
        for (double x : v)
            sum += x;
        return v.empty() ? NAN : sum / v.size();
    };
    auto count = [&] {
        std::lock_guard<std::mutex> hold(lock);
        return tone ? toneError.size() : bandError[0].size();
    };
    auto measure = [&](int window, bool isTone) {
        s.command(Code::Pause);
        ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 10000));
        {
            std::lock_guard<std::mutex> hold(lock);
            kind = window;
            tone = isTone;
            skip = 8;  // the stream's start and the feeder's change
            toneError.clear();
            toneLevel.clear();
            for (int b = 0; b < 3; ++b) {
                bandError[b].clear();
                bandLevel[b].clear();
            }
        }
        s.store->set(Param::WindowFunction, window);
        feed({isTone ? "sine 1000 0.3" : "noise 0.1"});
        s.command(Code::Reference);
        ASSERT_TRUE(waitUntil([&] { return count() >= static_cast<size_t>(blocks); }, 30000));
    };
    double noiseBands[3][3];
    for (int window : {WindowKind::Rectangular, WindowKind::Hann, WindowKind::FlatTop}) {
        const char* name = windowNameAscii(window);
        measure(window, true);
        {
            std::lock_guard<std::mutex> hold(lock);
            // The block that read closest to its computed level, and the
            // highest error of all.
            size_t best = 0;
            double highest = -1e9;
            for (size_t i = 0; i < toneError.size(); ++i) {
                if (std::fabs(toneError[i]) < std::fabs(toneError[best]))
                    best = i;
                highest = std::max(highest, toneError[i]);
            }
            std::printf("%-11s tone 0.3 of full scale: strongest tone %.2f dB, computed from its "
                        "samples %.2f dB\n",
                        name, toneLevel[best], toneLevel[best] - toneError[best]);
            EXPECT_NEAR(toneError[best], 0.0, 0.1) << name << ": no block reads its level";
            EXPECT_LT(highest, 0.1) << name << ": a block reads more than its samples hold";
        }
        measure(window, false);
        std::lock_guard<std::mutex> hold(lock);
        // Three standard deviations of the mean: a bin's dB value spreads by
        // 5.57 dB, and a window makes neighbouring bins alike, leaving about
        // bins / noise bandwidth independent ones per band and block.
        WindowTable table;
        buildWindow(table, window, n);
        const float* edges = s.store->pointer<const float*>(Param::BandEdges);
        for (int b = 0; b < 3; ++b) {
            const double bins = static_cast<int>(edges[b + 1]) - static_cast<int>(edges[b]);
            const double limit = 3.0 * 5.57 / std::sqrt(bins / table.noiseBandwidth * blocks) + 0.15;
            noiseBands[window][b] = mean(bandLevel[b]);
            EXPECT_NEAR(mean(bandError[b]), 0.0, limit) << name << " band " << b + 1;
        }
        std::printf("%-11s noise 0.1: bands %.2f %.2f %.2f dB, computed from the samples %.2f dB\n",
                    name, noiseBands[window][0], noiseBands[window][1], noiseBands[window][2],
                    noiseBands[window][2] - mean(bandError[2]));
    }
    s.log->onWrite = nullptr;
    ASSERT_TRUE(s.finish());
}

// A 1000 Hz tone at 0.3 of full scale, 48000 Hz, 4096 samples (the tone
// falls a third of the way between two bins), Hann window: its level is
// 20 log10(0.3 * 32767 * 4096 / 2) = 146.08 dB in the sound card's scale. A
// calibration for a 94.0 dB calibrator therefore stores -52.08 dB, and the
// tone then reads 94.0 dB SPL.
TEST_F(LevelsTest, CalibrationStoresTheOffsetComputedForAKnownTone)
{
    const int rate = 48000, n = 4096;
    const double amplitude = 0.3;
    const double toneDb = 20.0 * std::log10(amplitude * 32767.0 * n / 2.0);
    const int expectedOffset = static_cast<int>(std::lround(100.0 * (94.0 - toneDb)));
    feed({"sine 1000 " + std::to_string(amplitude)});

    EngineSession s;
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::NumSamples, n);
    s.store->set(Param::WindowFunction, WindowKind::Hann);
    s.store->set(Param::CalLevel, 9400);
    // Every block on its own: the strongest of them is a block the sound
    // server delivered whole (a busy machine drops samples now and then).
    s.store->set(Param::IntLvl, 1);
    s.start();
    s.command(Code::Calibrate);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 1; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 0; }, 30000))
        << "the calibration ends after a few seconds of blocks";
    EXPECT_EQ(s.store->get(Param::CaptureActive), 1) << "the Reference capture goes on";
    std::printf("calibration for 94.0 dB: offset %d hundredths of a dB, computed %d\n",
                s.store->get(Param::CalOffset), expectedOffset);
    EXPECT_NEAR(s.store->get(Param::CalOffset), expectedOffset, 25)
        << "computed " << expectedOffset << " hundredths of a dB";
    EXPECT_GT(s.store->get(Param::CalDate), 20200101);
    EXPECT_EQ(s.store->get(Param::CalSampFrq), rate);
    EXPECT_EQ(s.store->get(Param::CalNumSamples), n);
    EXPECT_EQ(calibrationState(*s.store), CalibrationState::Valid);
    // Stored at once, without Save.
    EXPECT_EQ(readSetting(L"CalOffset"), s.store->get(Param::CalOffset));
    EXPECT_EQ(readSetting(L"CalDate"), s.store->get(Param::CalDate));
    EXPECT_EQ(readSetting(L"CalSampFrq"), rate);
    EXPECT_EQ(readSetting(L"CalSamples"), n);

    // With the offset applied the calibrator reads its own level (in a
    // block the sound server delivered whole).
    WindowTable hann;
    buildWindow(hann, WindowKind::Hann, n);
    float reads = 0.0f;
    EXPECT_TRUE(waitUntil(
        [&] {
            reads = strongestReferenceTone(*s.store, n, noiseBandwidthDb(hann));
            return std::fabs(reads - 94.0f) < 0.2f;
        },
        15000))
        << "reads " << reads;

    // A second calibration for a 114 dB calibrator adds 20 dB to the offset.
    const int first = s.store->get(Param::CalOffset);
    s.store->set(Param::CalLevel, 11400);
    s.command(Code::Calibrate);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 1; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 0; }, 30000));
    EXPECT_NEAR(s.store->get(Param::CalOffset), first + 2000, 25);

    s.command(Code::Pause);
    ASSERT_TRUE(s.finish());
    // Other sampling settings make it stale; the next start loads it again,
    // with the window function and calibrator level the dialog stores.
    s.store->set(Param::NumSamples, 1024);
    EXPECT_EQ(calibrationState(*s.store), CalibrationState::Stale);
    writeSetting(L"WindowFn", WindowKind::FlatTop);
    writeSetting(L"CalLevel", 11400);

    EngineSession again;
    EXPECT_EQ(again.store->get(Param::WindowFunction), WindowKind::FlatTop);
    EXPECT_EQ(again.store->get(Param::CalOffset), readSetting(L"CalOffset"));
    EXPECT_EQ(again.store->get(Param::CalNumSamples), n);
    EXPECT_EQ(again.store->get(Param::CalLevel), 11400);
    // Values out of range are not taken.
    writeSetting(L"WindowFn", 3);
    writeSetting(L"CalDate", 5);
    EngineSession third;
    EXPECT_EQ(third.store->get(Param::WindowFunction), WindowKind::Rectangular);
    EXPECT_EQ(third.store->get(Param::CalDate), 0);
    EXPECT_EQ(third.store->get(Param::CalOffset), 0);
}

// A tone of 1.2 times full scale is cut at full scale for the share
// 2 acos(1 / 1.2) / pi = 37.3 % of its samples. The engine counts them per
// block and since the start, marks the measurement, and a new start of the
// other half clears the counts but not the mark of the first.
TEST_F(LevelsTest, ClippingIsCountedAndMarksTheMeasurement)
{
    const int rate = 48000, n = 4096;
    const double share = 2.0 * std::acos(1.0 / 1.2) / std::acos(-1.0);
    feed({"sine 1000 1.2"});

    EngineSession s;
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::NumSamples, n);
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::ClipCount) > 3 * n * share; }, 20000))
        << s.store->get(Param::ClipCount);
    const int block = s.store->get(Param::Clipping);
    EXPECT_NEAR(block, share * n, 0.03 * n) << "full-scale samples of the newest block";
    EXPECT_EQ(s.store->get(Param::RefFaults) & Fault::Clipped, Fault::Clipped);
    EXPECT_EQ(statusText(s.store->get(Param::Clipping), s.store->get(Param::ClipCount), 0, 0, 0)
                  .substr(0, 9),
              L"CLIPPING ");

    // A clean tone: the clipping stops, its count stays.
    feed({"sine 1000 0.3"});
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::Clipping) == 0; }, 20000));
    const int count = s.store->get(Param::ClipCount);
    EXPECT_GT(count, 0);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::IntCount) >= 17; }, 20000));
    // Once the worker has carried Analyze out, the new run has started with
    // its counts cleared.
    ASSERT_TRUE(s.commandDone(Code::Analyze));
    ASSERT_EQ(s.store->get(Param::RefMode), 0);
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().analysed.load() >= 5; }, 20000));
    EXPECT_EQ(s.store->get(Param::ClipCount), 0) << "counted since Analyze started";
    EXPECT_EQ(s.store->get(Param::AnaFaults), 0);
    EXPECT_EQ(s.store->get(Param::RefFaults) & Fault::Clipped, Fault::Clipped)
        << "the reference still clipped";
    EXPECT_EQ(s.store->get(Param::LostBlocks), 0);
    ASSERT_TRUE(s.finish());
}

// The microphone stops for 1.2 seconds (its stream suspended; longer, and the
// engine takes the device for gone): the blocks that did not come, 14 of
// 85.3 ms, are counted as lost.
TEST_F(LevelsTest, BlocksTheDeviceLostAreCounted)
{
    const int rate = 12000, n = 1024;  // 85.3 ms per block
    feed({"sine 1000 0.3"});
    EngineSession s;
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::NumSamples, n);
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().analysed.load() >= 10; }, 20000));
    EXPECT_EQ(s.store->get(Param::LostBlocks), 0);

    std::string output;
    ASSERT_EQ(unixCommand("pactl suspend-sink feed 1 && sleep 1.2 && "
                          "pactl suspend-sink feed 0",
                          &output, 30000),
              0)
        << output;
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::LostBlocks) > 0; }, 20000));
    // The suspension and resumption take some time more than 1.2 s.
    std::printf("lost blocks counted for a 1.2 s suspension: %d\n", s.store->get(Param::LostBlocks));
    EXPECT_GE(s.store->get(Param::LostBlocks), 8);
    EXPECT_LE(s.store->get(Param::LostBlocks), 40);
    EXPECT_EQ(s.store->get(Param::RefFaults) & Fault::Lost, Fault::Lost);
    ASSERT_TRUE(s.finish());
}
