// The audio engine measured on the virtual devices, side by side with a bare
// capture loop in the same run.
//
// How it works
// - Bare loop (BareLoop.h): the recording and the playback device through
//   the wave mapper, one thread copying each recorded block to the playback
//   device, as the engine does, and nothing else. Its process CPU share is
//   what recording and playing back alone cost on this machine (mostly the
//   system's own audio threads).
// - Engine: a store, a user-interface stand-in and the engine, wired as the
//   program wires them, capturing a Reference for the same time and longer.
//   Every published block's arrival time and publication latency is kept.
// - Printed: the engine's CPU share as a ratio to the bare loop's (the
//   absolute shares vary from machine to machine), the largest gap between
//   blocks, the publication latency, and the blocks lost (from the arrival
//   times: each lost block shifts every later arrival by one block) and not
//   played over the run, with the block index of each block not played.
// Figures are printed, not judged.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "BareLoop.h"
#include "EngineHarness.h"
#include "Signal.h"
#include "Wait.h"

using namespace qxtest;

namespace {

int envInt(const char* name, int fallback)
{
    char value[32];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length && length < sizeof(value) ? std::atoi(value) : fallback;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

}  // namespace

int main()
{
    if (!haveFeeder()) {
        std::printf("engine_bench needs the virtual devices of scripts/bench\n");
        return 1;
    }
    const int rate = envInt("QX_PERF_RATE", 48000), n = envInt("QX_PERF_SAMPLES", 1024);
    const double seconds = envInt("QX_PERF_SECONDS", 30);
    const double blockMs = 1000.0 * n / rate;
    clearSettingsKey();
    feed({"sine 1000 0.3", "noise 0.01"});

    const BareLoopResult bare = bareCaptureAndPlayback(rate, n, seconds / 3);
    const double bareShare = bare.cpuShare;
    const int bareBlocks = bare.blocks;

    EngineSession s;
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::NumSamples, n);
    // Arrival and publication latency of every block published while
    // measuring, and the blocks after which one was not played. Only the
    // capture thread writes them.
    const size_t capacity = static_cast<size_t>(seconds * 1000 / blockMs) + 200;
    std::vector<double> arrivals(capacity), latencies(capacity);
    std::vector<int> notPlayedAt;
    notPlayedAt.reserve(capacity);
    std::atomic<int> blocks{0};
    std::atomic<int> measuring{0};
    int lastSkipped = 0;
    s.log->onWrite = [&](int id) {
        if (id != Param::NewDisplayData || !measuring.load())
            return;
        const int i = blocks.load();
        if (i >= static_cast<int>(capacity))
            return;
        const double arrival = ticksToMs(s.engine->blockArrivalTicks());
        arrivals[i] = arrival;
        latencies[i] = nowMs() - arrival;
        const int skipped = s.engine->counters().skipped.load();
        if (skipped != lastSkipped && notPlayedAt.size() < notPlayedAt.capacity())
            notPlayedAt.push_back(i);
        lastSkipped = skipped;
        blocks = i + 1;
    };
    s.start();
    s.command(Code::Reference);
    if (!waitUntil([&] { return s.store->get(Param::CaptureActive) == 1; }, 10000)) {
        std::printf("the engine did not start capturing\n");
        return 1;
    }
    const int skippedAtStart = s.engine->counters().skipped.load();
    // The most blocks held by the playback device at once, sampled.
    std::atomic<int> peakHeld{0};
    std::atomic<int> watching{1};
    std::thread watcher([&] {
        while (watching.load()) {
            const auto& k = s.engine->counters();
            peakHeld = std::max(peakHeld.load(), k.written.load() - k.played.load());
            Sleep(2);
        }
    });
    lastSkipped = skippedAtStart;
    const int64_t engineCpu0 = s.engine->audioThreadCpuTime();
    const int64_t cpu0 = qxsupport::processCpuTime();
    const double t0 = nowMs();
    measuring = 1;
    Sleep(static_cast<DWORD>(seconds * 1000));
    measuring = 0;
    const double wall = nowMs() - t0;
    const int64_t cpu1 = qxsupport::processCpuTime();
    const int64_t engineCpu1 = s.engine->audioThreadCpuTime();
    watching = 0;
    watcher.join();
    s.command(Code::Pause);
    waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 10000);
    const auto& c = s.engine->counters();

    const int m = blocks.load();
    if (m < 100) {
        std::printf("too few blocks (%d)\n", m);
        return 1;
    }
    std::vector<double> head, tail;
    for (int i = 0; i < m; ++i) {
        const double offset = arrivals[i] - i * blockMs;
        if (i < 100)
            head.push_back(offset);
        if (i >= m - 100)
            tail.push_back(offset);
    }
    const double expected = m + (median(tail) - median(head)) / blockMs;
    double maxGap = 0.0;
    for (int i = 1; i < m; ++i)
        maxGap = std::max(maxGap, arrivals[i] - arrivals[i - 1]);
    std::vector<double> lat(latencies.begin(), latencies.begin() + m);
    const double engineShare = 100.0 * (cpu1 - cpu0) / 10000.0 / wall;
    const double engineThreads = 100.0 * (engineCpu1 - engineCpu0) / 10000.0 / wall;

    std::printf("\n=== audio engine, %d Hz, %d-sample blocks (%.1f ms), %.0f s ===\n", rate, n,
                blockMs, wall / 1000.0);
    std::printf("engine cpu_ratio_to_bare_capture_and_playback=%.2f (process: engine %.2f %%, bare "
                "loop %.2f %% of one core; engine's own threads %.2f %%)\n",
                bareShare > 0 ? engineShare / bareShare : 0.0, engineShare, bareShare,
                engineThreads);
    std::printf("engine max_gap_ms=%.1f (block %.1f ms) gap_ratio_to_block=%.2f\n", maxGap,
                blockMs, maxGap / blockMs);
    std::printf("engine publish_latency_ms median=%.3f p99=%.3f worst=%.3f\n", median(lat),
                percentile(lat, 0.99), *std::max_element(lat.begin(), lat.end()));
    std::printf("engine blocks=%d lost=%.0f not_played=%d (bare loop received %d of %.0f, played "
                "%d)\n",
                m, std::max(0.0, std::round(expected - m)), c.skipped.load() - skippedAtStart,
                bareBlocks, seconds / 3 * 1000 / blockMs, bare.played);
    std::printf("engine playback: at most %d blocks held by the device at once, of %d buffers "
                "(%.0f ms)\n",
                peakHeld.load(), AudioEngine::playbackBuffersFor(rate, n),
                AudioEngine::playbackBuffersFor(rate, n) * blockMs);
    if (!notPlayedAt.empty()) {
        std::printf("engine not played after blocks:");
        for (int i : notPlayedAt)
            std::printf(" %d", i);
        std::printf("\n");
    }
    std::fflush(stdout);
    s.log->onWrite = nullptr;
    return s.finish() ? 0 : 1;
}
