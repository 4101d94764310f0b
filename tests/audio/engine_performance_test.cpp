// Thirty seconds of capture at 48000 Hz with 1024-sample blocks on the
// virtual devices: every block recorded is analysed, published and played
// once, none is lost; the figures are printed.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "EngineHarness.h"

using namespace qxtest;

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

int64_t fileTime(const FILETIME& f)
{
    return (static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

// CPU time of every thread of this process, by thread id.
std::map<DWORD, int64_t> threadCpu()
{
    std::map<DWORD, int64_t> times;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return times;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE t = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        FILETIME created, ended, kernel, user;
        if (t && GetThreadTimes(t, &created, &ended, &kernel, &user))
            times[entry.th32ThreadID] = fileTime(kernel) + fileTime(user);
        if (t)
            CloseHandle(t);
    }
    CloseHandle(snapshot);
    return times;
}

int64_t processCpu()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    return fileTime(kernel) + fileTime(user);
}

}  // namespace

TEST(EnginePerformance, ThirtySecondsAt48000HzWith1024SampleBlocks)
{
    if (!haveFeeder())
        GTEST_SKIP() << "needs the virtual devices of scripts/test";
    clearSettingsKey();
    feed({"sine 1000 0.3", "noise 0.01"});
    // QX_PERF_RATE, QX_PERF_SAMPLES and QX_PERF_SECONDS measure another case.
    auto setting = [](const char* name, int fallback) {
        char value[32];
        const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
        return length && length < sizeof(value) ? std::atoi(value) : fallback;
    };
    const int rate = setting("QX_PERF_RATE", 48000), n = setting("QX_PERF_SAMPLES", 1024);
    const double blockMs = 1000.0 * n / rate;
    const double seconds = setting("QX_PERF_SECONDS", 30);

    EngineSession s;
    s.store->set(Param::SampFrq, rate);
    s.store->set(Param::NumSamples, n);
    // Arrival time of every published block and its publication latency, in
    // order. Only the capture thread writes them.
    std::vector<double> arrivals(4000), latencies(4000);
    std::atomic<int> blocks{0};
    std::atomic<int> measuring{0};
    s.log->onWrite = [&](int id) {
        if (id != Param::NewDisplayData || !measuring.load())
            return;
        const int i = blocks.load();
        if (i >= static_cast<int>(arrivals.size()))
            return;
        const double arrival = ticksToMs(s.engine->blockArrivalTicks());
        arrivals[i] = arrival;
        latencies[i] = nowMs() - arrival;
        blocks = i + 1;
    };
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 1; }, 5000));
    Sleep(1000);  // past the start of the stream

    // The fewest buffers queued at the recording device, sampled meanwhile:
    // at 0 the device has nowhere to put what it records.
    std::atomic<int> fewestQueued{AudioEngine::BufferCount};
    std::atomic<int> watching{1};
    std::thread watcher([&] {
        while (watching.load()) {
            const auto& c = s.engine->counters();
            const int queued = c.queued.load() - c.recorded.load();
            if (queued < fewestQueued.load())
                fewestQueued = queued;
            Sleep(1);
        }
    });
    const auto threads0 = threadCpu();
    const int64_t cpu0 = processCpu();
    const int64_t engineCpu0 = s.engine->audioThreadCpuTime();
    const double t0 = nowMs();
    measuring = 1;
    Sleep(static_cast<DWORD>(seconds * 1000));
    measuring = 0;
    watching = 0;
    watcher.join();
    const double wall = nowMs() - t0;
    const int64_t engineCpu1 = s.engine->audioThreadCpuTime();
    const int64_t cpu1 = processCpu();
    const auto threads1 = threadCpu();

    s.command(Code::Pause);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 5000));
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), 0);

    const int m = blocks.load();
    ASSERT_GT(m, 100);
    // Without a lost block, arrival i lies at (start + i blocks) plus jitter;
    // each lost block shifts every later arrival by one block. The medians of
    // the first and last hundred offsets say how many blocks the stream held.
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
    const double latMedian = median(lat);
    const double latWorst = *std::max_element(lat.begin(), lat.end());
    const double cpuPercent = 100.0 * (cpu1 - cpu0) / 10000.0 / wall;
    const double enginePercent = 100.0 * (engineCpu1 - engineCpu0) / 10000.0 / wall;

    std::printf("engine blocks=%d expected=%.1f nominal=%.1f max_gap_ms=%.1f (block %.1f) "
                "publish_median_ms=%.3f publish_worst_ms=%.3f cpu_percent=%.2f "
                "engine_threads_cpu_percent=%.2f fewest_record_buffers=%d not_played=%d\n",
                m, expected, wall / blockMs, maxGap, blockMs, latMedian, latWorst, cpuPercent,
                enginePercent, fewestQueued.load(), s.engine->counters().skipped.load());
    // Where the process's time goes: the engine's two threads are small; the
    // busiest threads are normally the system's own audio threads.
    std::vector<double> shares;
    for (const auto& t : threads1) {
        const auto before = threads0.find(t.first);
        const int64_t used = t.second - (before == threads0.end() ? 0 : before->second);
        shares.push_back(100.0 * used / 10000.0 / wall);
    }
    std::sort(shares.rbegin(), shares.rend());
    std::printf("busiest threads (%% of one core):");
    for (size_t i = 0; i < shares.size() && i < 5; ++i)
        std::printf(" %.2f", shares[i]);
    std::printf("\n");
    std::fflush(stdout);

    EXPECT_LE(std::fabs(m - expected), 1.0) << "blocks were lost";
    // Every recorded block was analysed, published and written once; all but
    // the few at the device when capture stopped were played.
    const auto& c = s.engine->counters();
    EXPECT_EQ(c.analysed.load(), c.published.load());
    EXPECT_EQ(c.written.load() + c.skipped.load(), c.published.load());
    EXPECT_EQ(c.skipped.load(), 0) << "blocks were not played";
    EXPECT_GE(c.recorded.load(), c.published.load());
    EXPECT_LE(c.recorded.load() - c.published.load(), AudioEngine::BufferCount);
    EXPECT_LE(c.played.load(), c.written.load());
    EXPECT_GE(c.played.load(), c.written.load() - AudioEngine::PlaybackBufferCount);
    EXPECT_LT(maxGap, 10 * blockMs) << "a stall in the block stream";
    EXPECT_TRUE(s.finish());
}
