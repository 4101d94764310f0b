// Levels you can trust, end to end through the real wave devices: a known
// tone in the virtual microphone calibrates the engine to the offset computed
// for it; a tone beyond full scale is counted as clipping; a microphone that
// stops for seconds is counted as lost blocks. The settings reach the
// registry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "EngineHarness.h"
#include "analysis/Levels.h"
#include "app/Settings.h"

using namespace qxtest;

namespace {

class LevelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveFeeder())
            GTEST_SKIP() << "needs the virtual microphone of scripts/test";
        clearSettingsKey();
    }
    void TearDown() override
    {
        feed({"silence"});
        clearSettingsKey();
    }
};

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

// Through the devices, under each window at 48000 Hz and 4096 samples: a
// 1000 Hz tone of amplitude 0.3 (a third of a bin off the bin centres) reads
// 20 log10(0.3 * 32767 * 4096 / 2) = 146.08 dB as its strongest tone; white
// noise of amplitude 0.1 (uniform, standard deviation 0.1 * 32767 / sqrt(3))
// gives band levels of 20 log10(sqrt(pi * 4096) * sigma / 2) = 100.61 dB,
// the mean magnitude of a bin of Gaussian noise, under every window.
TEST_F(LevelsTest, ToneAndNoiseUnderEachWindowAgainstComputedLevels)
{
    const int rate = 48000, n = 4096;
    const double toneDb = 20.0 * std::log10(0.3 * 32767.0 * n / 2.0);
    const double sigma = 0.1 * 32767.0 / std::sqrt(3.0);
    const double noiseDb = 20.0 * std::log10(std::sqrt(std::acos(-1.0) * n) * sigma / 2.0);
    EngineSession s;
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::NumSamples, n);
    s.start();
    auto pause = [&] {
        s.command(Code::Pause);
        EXPECT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 10000));
    };
    // One run to let the new signal arrive through the sound server, then a
    // fresh run, whose integration starts with the new signal only.
    auto measure = [&](const char* signal) {
        pause();
        feed({signal});
        s.command(Code::Reference);
        EXPECT_TRUE(waitUntil([&] { return s.engine->counters().analysed.load() >= 8; }, 30000));
        pause();
        s.command(Code::Reference);
        EXPECT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 1; }, 10000));
        EXPECT_TRUE(waitUntil([&] { return s.engine->counters().analysed.load() >= 30; }, 30000));
    };
    double bands[3][3];
    for (int kind : {WindowKind::Rectangular, WindowKind::Hann, WindowKind::FlatTop}) {
        pause();
        s.store->set(Param::WindowFunction, kind);
        WindowTable table;
        buildWindow(table, kind, n);

        measure("sine 1000 0.3");
        int peak = 1;
        const int index = s.store->acquireLatestDisplayBuffer();
        ASSERT_GE(index, 0);
        const float* spectrum = s.store->displayBuffers()[index].reference().spectrum;
        for (int k = 2; k < n / 2; ++k)
            if (spectrum[k] > spectrum[peak])
                peak = k;
        const float peakDb = spectrum[peak];
        s.store->releaseDisplayBuffers();
        const float tone = strongestReferenceTone(*s.store, n, noiseBandwidthDb(table));
        std::printf("%-11s tone: computed %.2f dB, strongest tone %.2f dB, peak bin %d %.2f dB\n",
                    windowNameAscii(kind), toneDb, tone, peak, peakDb);
        EXPECT_NEAR(tone, toneDb, 0.3) << windowNameAscii(kind);

        measure("noise 0.1");
        const float* ref = s.store->pointer<const float*>(Param::RefBandLevels);
        for (int b = 0; b < 3; ++b)
            bands[kind][b] = ref[b];
        std::printf("%-11s noise: computed %.2f dB, bands %.2f %.2f %.2f dB\n",
                    windowNameAscii(kind), noiseDb, ref[0], ref[1], ref[2]);
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(bands[kind][b], noiseDb, 0.6) << windowNameAscii(kind) << " band " << b;
    }
    for (int b = 0; b < 3; ++b) {
        EXPECT_NEAR(bands[1][b], bands[0][b], 0.4) << "Hann against Rectangular, band " << b;
        EXPECT_NEAR(bands[2][b], bands[0][b], 0.4) << "Flat top against Rectangular, band " << b;
    }
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
    s.start();
    s.command(Code::Calibrate);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 1; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 0; }, 30000))
        << "the calibration ends after a few seconds of blocks";
    EXPECT_EQ(s.store->get(Param::CaptureActive), 1) << "the Reference capture goes on";
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

    // With the offset applied the calibrator reads its own level.
    WindowTable hann;
    buildWindow(hann, WindowKind::Hann, n);
    const int published = s.engine->counters().published.load();
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().published.load() >= published + 3; },
                          15000));
    EXPECT_NEAR(strongestReferenceTone(*s.store, n, noiseBandwidthDb(hann)), 94.0, 0.2);

    // A second calibration for a 114 dB calibrator adds 20 dB to the offset.
    const int first = s.store->get(Param::CalOffset);
    s.store->set(Param::CalLevel, 11400);
    s.command(Code::Calibrate);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 1; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CalRunning) == 0; }, 30000));
    EXPECT_NEAR(s.store->get(Param::CalOffset), first + 2000, 15);

    s.command(Code::Pause);
    ASSERT_TRUE(s.finish());
    // Other sampling settings make it stale; the next start loads it again.
    s.store->set(Param::NumSamples, 1024);
    EXPECT_EQ(calibrationState(*s.store), CalibrationState::Stale);
    s.store->set(Param::WindowFunction, WindowKind::FlatTop);
    s.engine->saveSettings();
    EXPECT_EQ(readSetting(L"WindowFn"), WindowKind::FlatTop);
    EXPECT_EQ(readSetting(L"CalLevel"), 11400);

    EngineSession again;
    EXPECT_EQ(again.store->get(Param::WindowFunction), WindowKind::FlatTop);
    EXPECT_EQ(again.store->get(Param::CalOffset), readSetting(L"CalOffset"));
    EXPECT_EQ(again.store->get(Param::CalNumSamples), n);
    EXPECT_EQ(again.store->get(Param::CalLevel), 11400);
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
    s.command(Code::Analyze);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::RefMode) == 0; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().analysed.load() >= 5; }, 20000));
    EXPECT_EQ(s.store->get(Param::ClipCount), 0) << "counted since Analyze started";
    EXPECT_EQ(s.store->get(Param::AnaFaults), 0);
    EXPECT_EQ(s.store->get(Param::RefFaults) & Fault::Clipped, Fault::Clipped)
        << "the reference still clipped";
    EXPECT_EQ(s.store->get(Param::LostBlocks), 0);
    ASSERT_TRUE(s.finish());
}

// The microphone stops for three seconds (its stream suspended): the blocks
// that did not come are counted as lost, about three seconds' worth.
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
    ASSERT_EQ(unixCommand("pactl suspend-sink feed 1 && sleep 3 && "
                          "pactl suspend-sink feed 0",
                          &output, 30000),
              0)
        << output;
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::LostBlocks) > 0; }, 20000));
    // 3 s = 35 blocks; the suspension and resumption take some time more.
    EXPECT_GE(s.store->get(Param::LostBlocks), 25);
    EXPECT_LE(s.store->get(Param::LostBlocks), 80);
    EXPECT_EQ(s.store->get(Param::RefFaults) & Fault::Lost, Fault::Lost);
    ASSERT_TRUE(s.finish());
}
