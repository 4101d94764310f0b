// The whole program under load, measured: the same objects, wiring and
// start-up as the entry function (store, UI thread with the main window,
// engine), at 48000 Hz with 1024-sample blocks, a measurement running with
// the window updating for 30 s. A second thread plays the user (it starts
// the Reference through the button) and watches:
// - blocks lost: blocks the recording device should have delivered in the
//   time (rate / block size) against those recorded and analysed;
// - the program's CPU share of one core, and how it splits between the UI
//   thread and the audio threads; and as a ratio to the share of a bare
//   loop that only records and plays back (BareLoop.h), measured for 10 s
//   before the program starts;
// - the time from a block's arrival (the recording callback) to the end of
//   the repaint it causes: the later of the spectrum graph's and the
//   waveform view's next drawing (WM_QX_DRAWNOW, or WM_PAINT). Requests
//   for new data are merged while the UI thread is busy, so one repaint may
//   serve several blocks; the oldest of them counts;
// - then blocks lost while measurements are saved and files opened through
//   the file commands and their dialogs, capture running all the while;
// - the program's CPU share with the window minimised beside shown, in
//   alternating rounds of a few seconds each: "minimised shown_cpu=...
//   minimised_cpu=... ratio=...";
// - last, the program's CPU share with playback of what is recorded off
//   beside on, in alternating runs of a few seconds each (a new Reference
//   each time, as a changed playback setting takes effect at the next
//   start): "passthrough off_cpu=... on_cpu=... ratio=...".
// Figures are printed, not judged: the exit code is 0 whenever the
// measurement could be made.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "BareLoop.h"
#include "Driver.h"
#include "foundation/MeasurementFile.h"
#include "foundation/ParameterStore.h"
#include "app/UiThread.h"
#include "audio/AudioEngine.h"
#include "gui/GuiWindow.h"

using namespace drive;

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 1024;
constexpr DWORD kMeasureMs = 30000;

AudioEngine* g_engine = nullptr;
ParameterStore* g_store = nullptr;
double g_ticksPerMs = 1.0;

// The oldest block that arrived since the last complete repaint, and which
// of the two views have painted since.
std::atomic<int64_t> g_pendingArrival{0};
std::atomic<int> g_graphPainted{0};
std::atomic<int> g_wavePainted{0};
std::atomic<bool> g_measuring{false};
std::mutex g_latencyLock;
std::vector<double> g_latencies;
std::atomic<int> g_paints{0};
BareLoopResult g_bare;  // recording and playback alone, measured before the program starts

WNDPROC g_graphProc = nullptr;
WNDPROC g_waveProc = nullptr;

int64_t now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

void paintEnded(std::atomic<int>& mine, std::atomic<int>& other)
{
    mine = 1;
    ++g_paints;
    int64_t arrival = g_pendingArrival.load();
    if (arrival == 0 || other.load() == 0)
        return;
    const double ms = static_cast<double>(now() - arrival) / g_ticksPerMs;
    if (g_pendingArrival.compare_exchange_strong(arrival, 0) && g_measuring) {
        std::lock_guard<std::mutex> g(g_latencyLock);
        g_latencies.push_back(ms);
    }
}

LRESULT CALLBACK graphProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    const LRESULT r = CallWindowProcW(g_graphProc, w, m, wp, lp);
    if (m == WM_PAINT || (m == WM_QX_DRAWNOW && r))
        paintEnded(g_graphPainted, g_wavePainted);
    return r;
}

LRESULT CALLBACK waveProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    const LRESULT r = CallWindowProcW(g_waveProc, w, m, wp, lp);
    if (m == WM_PAINT || (m == WM_QX_DRAWNOW && r))
        paintEnded(g_wavePainted, g_graphPainted);
    return r;
}

// Sees event 100 on the capture thread, while the engine publishes the block.
struct ArrivalWatch : ParameterObserver {
    void parameterChanged(int id) override
    {
        if (id != Param::NewDisplayData || !g_engine)
            return;
        int64_t expected = 0;
        if (g_pendingArrival.compare_exchange_strong(expected, g_engine->blockArrivalTicks())) {
            g_graphPainted = 0;
            g_wavePainted = 0;
        }
    }
};

int64_t threadCpu(HANDLE thread)
{
    FILETIME c, e, k, u;
    if (!GetThreadTimes(thread, &c, &e, &k, &u))
        return 0;
    auto v = [](FILETIME f) {
        return (static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    return v(k) + v(u);
}

// Files while capture runs, through the real commands and dialogs: Save
// Measurement (the whole spectrum written), and Open Reference of a file of
// other settings answered "No" (read and checked, then left). Neither may
// cost the recording device a block.
void filesWhileCapturing(HWND window)
{
    const DWORD pid = GetCurrentProcessId();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp);
    measurement_file::Measurement other;
    other.sampFrq = 12000;
    other.numSamples = 16384;
    other.reference.assign(8192, 50.0f);
    const std::wstring otherPath = folder + L"qx-perf-other.csv";
    {
        const std::string text = measurement_file::format(other);
        HANDLE f = CreateFileW(otherPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(f);
    }
    const AudioEngine::RunCounters& k = g_engine->counters();
    const int recorded0 = k.recorded;
    const int64_t t0 = now();
    int saves = 0, opens = 0, failures = 0;
    for (int round = 0; round < 8; ++round) {
        const std::wstring path = folder + L"qx-perf-save-" + std::to_wstring(round) + L".csv";
        DeleteFileW(path.c_str());
        PostMessageW(window, WM_SYSCOMMAND, 0x7100, 0);  // Save Measurement...
        if (answerFileDialog(pid, L"Save Measurement", path) &&
            waitFor([&] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000))
            ++saves;
        else
            ++failures;
        DeleteFileW(path.c_str());
        PostMessageW(window, WM_SYSCOMMAND, 0x7110, 0);  // Open Reference...
        MessageBoxInfo box;
        if (answerFileDialog(pid, L"Open Reference", otherPath) &&
            waitForBox(pid, L"Open Reference", box)) {
            answer(box, IDNO);
            ++opens;
        } else {
            ++failures;
        }
    }
    const int64_t t1 = now();
    const int recorded = k.recorded - recorded0;
    const double seconds = static_cast<double>(t1 - t0) / g_ticksPerMs / 1000.0;
    const double expected = seconds * kRate / kBlock;
    DeleteFileW(otherPath.c_str());
    std::printf("files while capturing: %d saves of %d bins, %d opens of %d bins, %d failed, %.1f s; "
                "blocks expected %.1f, recorded %d\n",
                saves, kBlock / 2, opens, other.numSamples / 2, failures, seconds, expected, recorded);
    std::printf("blocks lost while saving and opening: %.0f (target 0)\n",
                std::max(0.0, expected - recorded - 1.0));
    std::fflush(stdout);
}

// The shares of one core the process and `thread` (none: 0) take over `ms`.
struct Shares {
    double process, thread;
};
Shares sharesOver(DWORD ms, HANDLE thread = nullptr)
{
    const int64_t cpu0 = qxsupport::processCpuTime(), thread0 = threadCpu(thread), t0 = now();
    Sleep(ms);
    const double seconds = static_cast<double>(now() - t0) / g_ticksPerMs / 1000.0;
    auto share = [seconds](int64_t ticks) { return static_cast<double>(ticks) / 1e7 / seconds * 100.0; };
    return {share(qxsupport::processCpuTime() - cpu0), share(threadCpu(thread) - thread0)};
}

// The program's CPU share with playback off and on, side by side: rounds of
// kPlaybackRoundMs each, alternating, the minimum of each kind.
void playbackCpu(HWND referenceButton)
{
    constexpr int kRounds = 6;
    constexpr DWORD kPlaybackRoundMs = 4000;
    double best[2] = {1e9, 1e9};
    int played[2] = {0, 0};
    for (int r = 0; r < kRounds; ++r) {
        const int on = r % 2;
        g_store->set(Option::Playback, on);
        click(referenceButton);
        Sleep(1500);  // the devices opened, the first blocks in
        const int played0 = g_engine->counters().played;
        best[on] = std::min(best[on], sharesOver(kPlaybackRoundMs).process);
        played[on] += g_engine->counters().played - played0;
    }
    g_store->set(Option::Playback, 1);
    std::printf("passthrough off_cpu=%.1f%% on_cpu=%.1f%% ratio=%.3f (blocks played: off %d, on %d)\n",
                best[0], best[1], best[0] / best[1], played[0], played[1]);
    std::fflush(stdout);
}

// The program's CPU share with the window minimised beside shown, measuring
// all the while: alternating rounds, the minimum of each kind, and the
// minimised share as a ratio to the bare loop too.
void minimisedCpu(HWND window, HANDLE uiThread)
{
    constexpr int kRounds = 6;
    constexpr DWORD kRoundMs = 4000;
    double best[2] = {1e9, 1e9}, bestUi[2] = {1e9, 1e9};
    for (int r = 0; r < kRounds; ++r) {
        const int minimised = r % 2;
        PostMessageW(window, WM_SYSCOMMAND, minimised ? SC_MINIMIZE : SC_RESTORE, 0);
        waitFor([&] { return (IsIconic(window) != 0) == (minimised != 0); }, 5000);
        Sleep(1000);  // the restored window painted
        const Shares shares = sharesOver(kRoundMs, uiThread);
        best[minimised] = std::min(best[minimised], shares.process);
        bestUi[minimised] = std::min(bestUi[minimised], shares.thread);
    }
    PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    waitFor([&] { return !IsIconic(window); }, 5000);
    std::printf("minimised shown_cpu=%.1f%% minimised_cpu=%.1f%% ratio=%.3f (UI thread %.1f%% and "
                "%.1f%%); minimised cpu_ratio_to_bare_capture_and_playback=%.2f\n",
                best[0], best[1], best[1] / best[0], bestUi[0], bestUi[1],
                g_bare.cpuShare > 0 ? best[1] / g_bare.cpuShare : 0.0);
    std::fflush(stdout);
}

DWORD WINAPI user(void* arg)
{
    auto* ui = static_cast<UiThread*>(arg);
    HWND window = nullptr;
    waitFor([&] { return (window = ui->mainWindowHandle()) != nullptr; }, 20000);
    if (!window) {
        std::printf("the main window did not open\n");
        return 1;
    }
    auto c = children(window);
    g_graphProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(c[120], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(graphProc)));
    g_waveProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(c[116], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(waveProc)));
    HANDLE uiThread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, ui->threadId());

    click(c[101]);  // Reference
    if (!waitFor([&] { return IsWindowEnabled(c[103]) != 0; }, 10000)) {
        std::printf("the measurement did not start\n");
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 1;
    }
    Sleep(3000);  // past the integration and the start-up of the devices

    const AudioEngine::RunCounters& k = g_engine->counters();
    const int recorded0 = k.recorded, analysed0 = k.analysed, published0 = k.published;
    const int played0 = k.played;
    const int paints0 = g_paints;
    const int64_t cpu0 = qxsupport::processCpuTime(), ui0 = threadCpu(uiThread);
    const int64_t audio0 = g_engine->audioThreadCpuTime();
    const int64_t t0 = now();
    g_measuring = true;
    Sleep(kMeasureMs);
    g_measuring = false;
    const int64_t t1 = now();
    const int64_t cpu1 = qxsupport::processCpuTime(), ui1 = threadCpu(uiThread);
    const int64_t audio1 = g_engine->audioThreadCpuTime();
    const int recorded = k.recorded - recorded0, analysed = k.analysed - analysed0;
    const int published = k.published - published0, played = k.played - played0;
    const int paints = g_paints - paints0;

    const double seconds = static_cast<double>(t1 - t0) / g_ticksPerMs / 1000.0;
    const double expected = seconds * kRate / kBlock;
    const double cpuShare = static_cast<double>(cpu1 - cpu0) / 1e7 / seconds * 100.0;
    const double uiShare = static_cast<double>(ui1 - ui0) / 1e7 / seconds * 100.0;
    const double audioShare = static_cast<double>(audio1 - audio0) / 1e7 / seconds * 100.0;

    std::vector<double> lat;
    {
        std::lock_guard<std::mutex> g(g_latencyLock);
        lat = g_latencies;
    }
    std::sort(lat.begin(), lat.end());
    auto pct = [&](double p) {
        return lat.empty() ? 0.0 : lat[std::min(lat.size() - 1, static_cast<size_t>(p * lat.size()))];
    };
    const double period = 1000.0 * kBlock / kRate;

    std::printf("\n=== the whole program, %d Hz, %d-sample blocks, %.1f s with the window updating ===\n",
                kRate, kBlock, seconds);
    std::printf("blocks expected %.1f, recorded %d, analysed %d, published %d, played %d\n",
                expected, recorded, analysed, published, played);
    std::printf("blocks lost: %.0f (target 0)\n", std::max(0.0, expected - recorded - 1.0));
    std::printf("program CPU: %.1f %% of one core (target under 15 %%); UI thread %.1f %%, audio threads %.1f %%\n",
                cpuShare, uiShare, audioShare);
    std::printf("program cpu_ratio_to_bare_capture_and_playback=%.2f (program %.2f %%, bare loop "
                "%.2f %% of one core; its blocks recorded %d, played %d)\n",
                g_bare.cpuShare > 0 ? cpuShare / g_bare.cpuShare : 0.0, cpuShare, g_bare.cpuShare,
                g_bare.blocks, g_bare.played);
    std::printf("repaints of the two views: %d for %d blocks\n", paints / 2, published);
    std::printf("block arrival to end of repaint: %zu samples, min %.1f ms, median %.1f ms, "
                "95th %.1f ms, max %.1f ms (target under %.1f ms)\n",
                lat.size(), pct(0.0), pct(0.5), pct(0.95), lat.empty() ? 0.0 : lat.back(),
                2 * period);
    std::fflush(stdout);

    screenshot(window, "performance_run");
    minimisedCpu(window, uiThread);
    filesWhileCapturing(window);
    playbackCpu(c[101]);
    CloseHandle(uiThread);
    const bool measured = recorded > 0 && !lat.empty();
    PostMessageW(window, WM_CLOSE, 0, 0);
    return measured ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    g_ticksPerMs = static_cast<double>(f.QuadPart) / 1000.0;

    settings::clear();
    settings::set(L"SampFrq", kRate);
    settings::set(L"NumSamples", kBlock);
    feed({"noise 0.05", "sine 1000 0.2"});
    g_bare = bareCaptureAndPlayback(kRate, kBlock, 10.0);

    // As the entry function does it.
    auto* store = new ParameterStore();
    auto* ui = new UiThread(GetModuleHandleW(nullptr));
    auto* engine = new AudioEngine();
    g_engine = engine;
    g_store = store;
    engine->attachStore(store);
    ui->attachStore(store);
    engine->attachUi(ui);
    ArrivalWatch watch;
    store->addObserver(&watch);

    HANDLE userThread = CreateThread(nullptr, 0, user, ui, 0, nullptr);
    engine->run();
    WaitForSingleObject(userThread, 10000);
    DWORD code = 1;
    GetExitCodeThread(userThread, &code);
    CloseHandle(userThread);

    store->removeObserver(&watch);
    engine->attachStore(nullptr);
    ui->attachStore(nullptr);
    engine->attachUi(nullptr);
    store->deleteGdiObjects();
    g_engine = nullptr;
    delete store;
    delete ui;
    delete engine;
    settings::clear();
    feed({"silence"});
    return static_cast<int>(code);
}
