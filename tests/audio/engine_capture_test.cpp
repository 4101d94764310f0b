// Capture end to end through the real wave mapper on the virtual devices:
// a known tone in the virtual microphone, measured, published, passed
// through to the virtual speakers; devices vanishing; many short runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "EngineHarness.h"
#include "foundation/Settings.h"

using namespace qxtest;

namespace {

// What a reader of the newest display buffer sees.
struct Snapshot {
    int index = -1;
    std::vector<float> refSamples, refSpectrum, anaSamples, anaSpectrum;
};

Snapshot latest(ParameterStore& store, int n)
{
    Snapshot s;
    s.index = store.acquireLatestDisplayBuffer();
    if (s.index >= 0) {
        const DisplayBuffer& b = store.displayBuffers()[s.index];
        s.refSamples.assign(b.reference().samples, b.reference().samples + n);
        s.refSpectrum.assign(b.reference().spectrum, b.reference().spectrum + n / 2);
        s.anaSamples.assign(b.analysis().samples, b.analysis().samples + n);
        s.anaSpectrum.assign(b.analysis().spectrum, b.analysis().spectrum + n / 2);
    }
    store.releaseDisplayBuffers();
    return s;
}

int peakBin(const std::vector<float>& spectrum)
{
    return static_cast<int>(std::max_element(spectrum.begin() + 1, spectrum.end()) -
                            spectrum.begin());
}

// The dB level of a bin-centred tone of amplitude a (fraction of full scale)
// in an N-point transform that is not scaled by N: a * 32767 * N / 2.
double predictedToneDb(double a, int n)
{
    return 20.0 * std::log10(a * 32767.0 * n / 2.0);
}

// The mean of spectrum bins of one band, as the band levels define it.
double bandMean(const std::vector<float>& spectrum, float loEdge, float hiEdge)
{
    int lo = static_cast<int>(loEdge);
    if (lo == 0)
        lo = 1;
    int hi = static_cast<int>(hiEdge);
    if (hi <= lo)
        hi = lo + 1;
    double sum = 0.0;
    for (int k = lo; k < hi; ++k)
        sum += spectrum[k];
    return sum / (hi - lo);
}

double meanLevel(const std::vector<float>& spectrum)
{
    double sum = 0.0;
    for (float v : spectrum)
        sum += v;
    return static_cast<int>(sum / spectrum.size());
}

class CaptureTest : public DeviceTest {};

}  // namespace

TEST_F(CaptureTest, ReferenceThenAnalyzeMeasureTwoKnownTones)
{
    // 48000 Hz, N = 1024: bin k is k * 46.875 Hz. Tones at bins 64 and 128.
    // Narrow bands around them: band 1 = bins 61..65, band 3 = bins 125..129.
    const int rate = 48000, n = 1024;
    const double refTone = 64.0 * rate / n, anaTone = 128.0 * rate / n;
    const double refAmp = 0.5, anaAmp = 0.1;
    // The first block of a run seeds the exponential average and may start
    // with the stream's silence; its weight falls as (15/16)^k. After 100
    // blocks it is below 0.02 dB.
    const int settleBlocks = 100;
    // A faint noise floor (about 65 dB a bin) under each tone: a block torn
    // by a busy machine splashes over every bin, and over empty bins (0 dB)
    // even a faint splash would move the band levels by tens of dB.
    const std::string floor = "noise 0.003";
    ASSERT_TRUE(feed({"sine " + std::to_string(refTone) + " " + std::to_string(refAmp), floor}));

    EngineSession s;
    // The peak (past sample 200) of each published reference block, in order.
    std::mutex peaksLock;
    std::vector<float> peaks;
    s.log->onWrite = [&](int id) {
        if (id != Param::NewDisplayData)
            return;
        const DisplayBuffer& b = s.store->displayBuffers()[s.store->get(Param::LatestBuffer)];
        float peak = 0.0f;
        for (int j = 201; j < n; ++j)
            peak = std::max(peak, std::fabs(b.reference().samples[j]));
        std::lock_guard<std::mutex> hold(peaksLock);
        peaks.push_back(peak);
    };
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::Filter0, 2900);
    s.store->set(Param::Filter1, 3100);
    s.store->set(Param::Filter2, 5900);
    s.store->set(Param::Filter3, 6100);
    s.start();
    s.log->clear();

    // Capture runs and has published settleBlocks blocks. A busy machine may
    // tear a block now and then (the sound system drops what a starved
    // reader did not take), which splashes over every bin; the average
    // forgets it within a hundred blocks or so. Then waits until it holds
    // the tone at `bin` and little else: band `high` well above band `low`.
    auto settleOn = [&](bool analysis, int bin, double amp, int high, int low) {
        ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 1; }, 5000));
        ASSERT_TRUE(waitUntil(
            [&] { return s.engine->counters().published.load() >= settleBlocks; }, 15000));
        const float* live =
            s.store->pointer<const float*>(analysis ? Param::AnaBandLevels : Param::RefBandLevels);
        waitUntil(
            [&] {
                const Snapshot x = latest(*s.store, n);
                const std::vector<float>& spectrum = analysis ? x.anaSpectrum : x.refSpectrum;
                return x.index >= 0 && std::fabs(spectrum[bin] - predictedToneDb(amp, n)) < 0.1 &&
                       live[high] - live[low] > 10.0;
            },
            15000, 20);
    };

    s.command(Code::Reference);
    ASSERT_NO_FATAL_FAILURE(settleOn(false, 64, refAmp, 0, 2));
    EXPECT_EQ(s.store->get(Param::IntCount), 17) << "climbs to IntLvl + 1 and stays";
    EXPECT_EQ(s.log->values(Param::IntCount),
              (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(s.log->values(Param::DataPresent), std::vector<int>{1});
    EXPECT_EQ(s.log->values(Param::CaptureActive), std::vector<int>{1});
    EXPECT_EQ(s.log->values(Param::PauseEnabled), std::vector<int>{1});
    EXPECT_EQ(s.log->values(Param::ProgressHidden), std::vector<int>{0});
    EXPECT_EQ(s.store->get(Param::RefMode), 1);
    EXPECT_EQ(s.log->count(Param::SoundErrorStage), 0);

    // WaveFullScale: the peak of the first block that has one (the first
    // blocks of a stream may hold only silence), set once, before that block
    // is published.
    const auto scale = s.log->values(Param::WaveFullScale);
    ASSERT_EQ(scale.size(), 1u);
    EXPECT_NEAR(scale[0], refAmp * 32767, 0.02 * refAmp * 32767);
    const auto entries = s.log->entries();
    size_t publishedBefore = 0;
    for (const auto& e : entries) {
        if (e.id == Param::WaveFullScale)
            break;
        publishedBefore += e.id == Param::NewDisplayData;
    }
    {
        std::lock_guard<std::mutex> hold(peaksLock);
        const size_t first = static_cast<size_t>(
            std::find_if(peaks.begin(), peaks.end(), [](float p) { return p > 0.0f; }) -
            peaks.begin());
        ASSERT_LT(first, peaks.size());
        EXPECT_EQ(publishedBefore, first);
        EXPECT_EQ(scale[0], static_cast<int>(peaks[first]));
        std::printf("[ full scale ] %d from block %zu (the blocks before it were silent)\n",
                    scale[0], first);
    }
    s.log->onWrite = nullptr;

    ASSERT_TRUE(s.commandDone(Code::Pause));
    ASSERT_EQ(s.store->get(Param::CaptureActive), 0);
    EXPECT_EQ(s.store->get(Param::AnalyzeEnabled), 1) << "the integration was complete";
    EXPECT_FALSE(s.engine->recordDeviceOpen());
    EXPECT_FALSE(s.engine->playbackDeviceOpen());

    const Snapshot ref = latest(*s.store, n);
    ASSERT_GE(ref.index, 0);
    EXPECT_EQ(ref.index, s.store->get(Param::LatestBuffer));
    EXPECT_EQ(peakBin(ref.refSpectrum), 64);
    EXPECT_NEAR(ref.refSpectrum[64], predictedToneDb(refAmp, n), 0.25);
    // The reference samples are the tone, DC removed.
    const float refPeak = *std::max_element(ref.refSamples.begin(), ref.refSamples.end());
    EXPECT_NEAR(refPeak, refAmp * 32767, 0.02 * refAmp * 32767);
    // The mean level: the sum of the N/2 + 1 bins over N/2, truncated (the
    // display buffer lacks bin N/2, which holds next to nothing here).
    EXPECT_NEAR(s.store->get(Param::RefMeanLevel), meanLevel(ref.refSpectrum), 1.0);

    const float* edges = s.store->pointer<const float*>(Param::BandEdges);
    const float* refBands = s.store->pointer<const float*>(Param::RefBandLevels);
    const float* anaBands = s.store->pointer<const float*>(Param::AnaBandLevels);
    EXPECT_NEAR(edges[0], 2900.0 * n / rate, 1e-3);
    EXPECT_NEAR(edges[3], 6100.0 * n / rate, 1e-3);
    // The readouts' numbers are the means of the graph's curve.
    for (int b = 0; b < 3; ++b)
        EXPECT_NEAR(refBands[b], bandMean(ref.refSpectrum, edges[b], edges[b + 1]), 0.01);
    const float refBandsBefore[3] = {refBands[0], refBands[1], refBands[2]};

    // Analyze with another tone: only the analysis half changes.
    ASSERT_TRUE(feed({"sine " + std::to_string(anaTone) + " " + std::to_string(anaAmp), floor}));
    s.log->clear();
    s.command(Code::Analyze);
    ASSERT_NO_FATAL_FAILURE(settleOn(true, 128, anaAmp, 2, 0));
    EXPECT_EQ(s.store->get(Param::RefMode), 0);
    EXPECT_EQ(s.log->values(Param::IntCount).back(), 17);
    EXPECT_EQ(s.log->count(Param::WaveFullScale), 0) << "only Reference clears the full scale";
    ASSERT_TRUE(s.commandDone(Code::Pause));
    ASSERT_EQ(s.store->get(Param::CaptureActive), 0);
    EXPECT_EQ(s.store->get(Param::AnalyzeEnabled), 1);

    const Snapshot both = latest(*s.store, n);
    ASSERT_GE(both.index, 0);
    EXPECT_EQ(peakBin(both.anaSpectrum), 128);
    EXPECT_NEAR(both.anaSpectrum[128], predictedToneDb(anaAmp, n), 0.25);
    EXPECT_EQ(both.refSpectrum, ref.refSpectrum) << "the reference half keeps the old tone";
    EXPECT_EQ(both.refSamples, ref.refSamples);
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(refBands[b], refBandsBefore[b]);
        EXPECT_NEAR(anaBands[b], bandMean(both.anaSpectrum, edges[b], edges[b + 1]), 0.01);
    }
    // Each tone lifts its own 5-bin band far above the other measurement's.
    EXPECT_GT(refBands[0] - anaBands[0], 6.0) << refBands[0] << " vs " << anaBands[0];
    EXPECT_GT(anaBands[2] - refBands[2], 6.0) << anaBands[2] << " vs " << refBands[2];
    EXPECT_NEAR(s.store->get(Param::AnaMeanLevel), meanLevel(both.anaSpectrum), 1.0);
    EXPECT_NEAR(s.store->get(Param::RefMeanLevel), meanLevel(ref.refSpectrum), 1.0)
        << "the reference mean level stays";
    std::printf("[ levels ] reference tone %.2f dB (predicted %.2f), analysis tone %.2f dB "
                "(predicted %.2f); bands ref %.1f/%.1f/%.1f ana %.1f/%.1f/%.1f dB\n",
                ref.refSpectrum[64], predictedToneDb(refAmp, n), both.anaSpectrum[128],
                predictedToneDb(anaAmp, n), refBands[0], refBands[1], refBands[2], anaBands[0],
                anaBands[1], anaBands[2]);
    EXPECT_TRUE(s.finish());
}

TEST_F(CaptureTest, EveryRecordedBlockIsAnalysedPublishedAndWrittenOnce)
{
    // What holds however loaded the machine is: blocks may wait, but none is
    // counted twice or dropped between the stages. (How many blocks a busy
    // machine loses or does not play is a figure of scripts/bench.)
    feed({"sine 1000 0.3", "noise 0.01"});
    EngineSession s;
    s.store->set(Param::SampFrq, 48000);
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().published.load() >= 150; }, 30000))
        << "capture " << s.store->get(Param::CaptureActive) << ", error stage "
        << s.store->get(Param::SoundErrorStage) << " code " << s.store->get(Param::SoundErrorCode)
        << ", recorded " << s.engine->counters().recorded.load() << ", published "
        << s.engine->counters().published.load();
    s.command(Code::Pause);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 10000));
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), 0);
    const auto& c = s.engine->counters();
    EXPECT_EQ(c.analysed.load(), c.published.load());
    EXPECT_EQ(c.written.load() + c.skipped.load(), c.published.load());
    EXPECT_GE(c.recorded.load(), c.published.load());
    EXPECT_LE(c.recorded.load() - c.published.load(), AudioEngine::BufferCount)
        << "recorded blocks left unhandled beyond those in flight at the stop";
    EXPECT_LE(c.played.load(), c.written.load());
    EXPECT_LE(c.queued.load() - c.recorded.load(), AudioEngine::BufferCount);
    EXPECT_TRUE(s.finish());
}

TEST_F(CaptureTest, WhatTheEnginePlaysIsItsInputAFewBlocksLate)
{
    const int rate = 12000, n = 1024;
    const double tone = 1000.0, amp = 0.3;
    const int speakers = waveInDeviceByName(L"Monitor of Speakers");
    ASSERT_GE(speakers, 0) << "no monitor of the virtual speakers";
    ASSERT_TRUE(feed({"silence"}));

    EngineSession s;
    // The first block that carries the tone, as the engine received it.
    std::atomic<double> inputOnsetMs{-1.0};
    s.log->onWrite = [&](int id) {
        if (id != Param::NewDisplayData || inputOnsetMs.load() >= 0)
            return;
        const DisplayBuffer& b = s.store->displayBuffers()[s.store->get(Param::LatestBuffer)];
        for (int i = 0; i < n; ++i) {
            if (std::fabs(b.reference().samples[i]) > 0.5 * amp * 32767) {
                const double arrival = ticksToMs(s.engine->blockArrivalTicks());
                inputOnsetMs = arrival - 1000.0 * (n - i) / rate;
                break;
            }
        }
    };
    s.start();

    WaveCapture out(speakers, rate);
    ASSERT_TRUE(out.start());
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().written.load() >= 5; }, 5000));
    // Half a second of the speakers' silence first.
    ASSERT_TRUE(waitUntil([&] { return out.samples().size() >= size_t(rate) / 2; }, 10000, 20));
    ASSERT_TRUE(feed({"sine " + std::to_string(tone) + " " + std::to_string(amp)}));
    ASSERT_TRUE(waitUntil([&] { return inputOnsetMs.load() >= 0; }, 5000));
    // More than a second and a half of the tone at the speakers.
    const auto toneHeldFor = [&] {
        const std::vector<int16_t> h = out.samples();
        size_t first = h.size(), last = 0;
        for (size_t i = 0; i < h.size(); ++i)
            if (std::abs(h[i]) > 0.5 * amp * 32767) {
                first = std::min(first, i);
                last = i;
            }
        return first < h.size() ? last - first : 0;
    };
    ASSERT_TRUE(waitUntil([&] { return toneHeldFor() > size_t(rate) * 3 / 2; }, 15000, 50));
    s.command(Code::Pause);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 5000));
    // Half a second of what the speakers play after the stop.
    const size_t atStop = out.samples().size();
    ASSERT_TRUE(waitUntil([&] { return out.samples().size() >= atStop + rate / 2; }, 10000, 20));
    out.stop();

    const std::vector<int16_t> heard = out.samples();
    ASSERT_GT(heard.size(), static_cast<size_t>(rate));
    // Where the tone starts in what the speakers played.
    size_t onset = heard.size();
    for (size_t i = 0; i < heard.size(); ++i)
        if (std::abs(heard[i]) > 0.5 * amp * 32767) {
            onset = i;
            break;
        }
    ASSERT_LT(onset, heard.size()) << "the tone never reached the speakers";
    size_t end = onset;
    for (size_t i = onset; i < heard.size(); ++i)
        if (std::abs(heard[i]) > 0.5 * amp * 32767)
            end = i;
    ASSERT_GT(end - onset, static_cast<size_t>(rate)) << "the tone was played too briefly";
    // Its level and frequency: the input, unchanged. (The first moments of a
    // playback stream may underrun; the steady state is measured. A busy
    // machine may leave a short gap in what is played: the level is the
    // median over twenty short windows.)
    const size_t window = rate / 2;
    const size_t from = end - rate / 5 - window;
    std::vector<double> levels;
    for (size_t w = from; w + window / 20 <= from + window; w += window / 20)
        levels.push_back(toneAmplitude(heard, w, w + window / 20, tone, rate));
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    const double played = levels[levels.size() / 2];
    EXPECT_NEAR(20 * std::log10(played / amp), 0.0, 0.5) << "played amplitude " << played;
    EXPECT_LT(toneAmplitude(heard, from, from + window, 1.37 * tone, rate), 0.01)
        << "nothing but the tone";
    // Silence before it, and silence once capture stopped.
    double before = 0.0;
    for (size_t i = 0; i + rate / 20 < onset; ++i)
        before = std::max(before, std::fabs(static_cast<double>(heard[i])));
    EXPECT_LT(before, 0.01 * 32767) << "the speakers played something before the tone";
    double tail = 0.0;
    for (size_t i = heard.size() - rate / 4; i < heard.size(); ++i)
        tail = std::max(tail, std::fabs(static_cast<double>(heard[i])));
    EXPECT_LT(tail, 0.01 * 32767) << "still playing after Pause";

    const double outputOnsetMs = out.firstSampleMs() + 1000.0 * onset / rate;
    const double lateMs = outputOnsetMs - inputOnsetMs.load();
    const double blockMs = 1000.0 * n / rate;
    std::printf("[ passthrough ] played amplitude %.4f (input %.2f), %.0f ms late = %.1f blocks\n",
                played, amp, lateMs, lateMs / blockMs);
    EXPECT_GT(lateMs, 0.0);
    // A block that finds every playback buffer still at the device is not
    // played: the backlog never grows beyond the buffers.
    EXPECT_LT(lateMs, (AudioEngine::playbackBuffersFor(rate, n) + 2) * blockMs)
        << "lagging without end";
    EXPECT_TRUE(s.finish());
}

TEST_F(CaptureTest, ARecordingDeviceThatVanishesIsReportedAndTheNextReferenceWorks)
{
    feed({"sine 440 0.2"});
    EngineSession s;
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().published.load() >= 3; }, 5000));
    s.log->clear();

    // Kill the engine's recording stream in the sound server: from now on
    // the device delivers nothing and reports nothing.
    std::string output;
    ASSERT_EQ(unixCommand("for i in $(pactl list short source-outputs | cut -f1); do "
                          "pacmd kill-source-output $i; done; pactl list short source-outputs",
                          &output),
              0)
        << output;
    const double killedMs = nowMs();
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::SoundErrorStage) != 0; }, 20000))
        << "a vanished device must not leave a measurement that is not happening";
    const double reportMs = nowMs() - killedMs;
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), SoundStage::RecordFailed);
    EXPECT_EQ(s.store->get(Param::SoundErrorCode), MMSYSERR_NODRIVER);
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
    EXPECT_EQ(s.store->get(Param::PauseEnabled), 0);
    EXPECT_EQ(s.store->get(Param::ProgressHidden), 1);
    EXPECT_FALSE(s.engine->recordDeviceOpen());
    EXPECT_FALSE(s.engine->playbackDeviceOpen());
    // The code is written before the stage, and capture has stopped by then.
    const auto entries = s.log->entries();
    std::vector<int> order;
    for (const auto& e : entries)
        if (e.id == Param::SoundErrorCode || e.id == Param::SoundErrorStage ||
            e.id == Param::CaptureActive)
            order.push_back(e.id);
    EXPECT_EQ(order, (std::vector<int>{Param::CaptureActive, Param::SoundErrorCode,
                                       Param::SoundErrorStage}));
    std::printf("[ vanish ] reported %.0f ms after the stream was killed\n", reportMs);

    // The window has shown its message and cleared the stage; Reference
    // starts cleanly.
    s.store->set(Param::SoundErrorStage, 0);
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 1; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().published.load() >= 5; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return s.store->get(Param::IntCount) >= 5; }, 5000));
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), 0);
    EXPECT_TRUE(s.finish());
    EXPECT_FALSE(s.engine->recordDeviceOpen());
    EXPECT_EQ(s.engine->counters().analysed.load(), s.engine->counters().published.load());
}

TEST_F(CaptureTest, RepeatedReferencePauseCyclesLeakNoHandles)
{
    feed({"noise 0.05"});
    EngineSession s;
    s.store->set(Param::SampFrq, 48000);  // short blocks: short cycles
    s.start();

    int failures = 0;
    auto cycle = [&] {
        s.command(Code::Reference);
        const bool started = waitUntil(
            [&] {
                return s.store->get(Param::CaptureActive) == 1 &&
                       s.engine->counters().published.load() >= 1;
            },
            10000, 1);
        s.command(Code::Pause);
        const bool stopped =
            waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 10000, 1);
        if (!started || !stopped)
            ++failures;
        return started && stopped;
    };
    // The first runs make what the sound system keeps for the process.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(cycle());
    const int before = kernelHandleCount();
    ASSERT_GT(before, 0);

    // The check can see a leak: ten events more are ten handles more. The
    // system's own threads open and close a handle now and then, so the
    // count is read with a margin of two either way.
    HANDLE leak[10];
    for (HANDLE& h : leak)
        h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const int leaked = kernelHandleCount();
    for (HANDLE h : leak)
        CloseHandle(h);
    EXPECT_GE(leaked - before, 10 - 2) << "the handle count cannot see a leak";
    EXPECT_NEAR(kernelHandleCount(), before, 2);

    // A leak of one handle a run would be thirty, well over the margin.
    constexpr int kCycles = 30;
    const double t0 = nowMs();
    for (int i = 0; i < kCycles; ++i)
        if (!cycle())
            break;
    const double took = nowMs() - t0;
    const int after = kernelHandleCount();
    EXPECT_EQ(failures, 0) << "a Reference or Pause did not take effect within 10 s";
    std::printf("[ cycles ] %d Reference/Pause cycles in %.1f s, kernel handles %d -> %d\n",
                kCycles, took / 1000.0, before, after);
    EXPECT_LE(after - before, 2) << "handles leak per capture run";
    EXPECT_TRUE(s.finish());
}
