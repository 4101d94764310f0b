// The main window inside a test process: the real parameter store (with the
// engine's defaults, saved settings and shared GDI objects), the real UI
// thread and its message loop, the real main window and toolkit. Only the
// engine's command handling is replaced by a recorder, so each parameter can
// be written exactly as the engine writes it (from a foreign thread) and the
// window's answer checked: every id of the parameter message, the readouts,
// the sound-error boxes, the commands and the window's end.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Driver.h"
#include "InProcessProgram.h"
#include "Registry.h"
#include "foundation/FrameLock.h"
#include "foundation/Notification.h"
#include "foundation/ParameterStore.h"
#include "app/UiThread.h"
#include "audio/AudioEngine.h"
#include "gui/GuiDpi.h"
#include "gui/GuiTips.h"
#include "mainwindow/MainWindow.h"
#include "resources/resource.h"

using namespace drive;

namespace {

// Takes the place of the engine behind the UI thread.
struct Recorder : NotificationHandler {
    std::mutex m;
    std::vector<int> codes;

    int notify(const Notification& n) override
    {
        std::lock_guard<std::mutex> g(m);
        codes.push_back(n.code());
        return 0;
    }
    std::vector<int> taken()
    {
        std::lock_guard<std::mutex> g(m);
        std::vector<int> out;
        out.swap(codes);
        return out;
    }
};

// Counts the parameter messages that reach the main window, by id.
std::atomic<int> g_parameterMessages[128];
HHOOK g_hook = nullptr;

// The drawings of one window outside WM_PAINT, and the text it had at the
// last one.
std::atomic<HWND> g_drawWatched{nullptr};
std::atomic<int> g_drawsOfWatched{0};
wchar_t g_lastDrawnText[64];
std::mutex g_lastDrawnMutex;

LRESULT CALLBACK countSent(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (cwp->message == WM_QX_PARAMETER && cwp->wParam < 128)
            ++g_parameterMessages[cwp->wParam];
        if (cwp->message == WM_QX_DRAWNOW && cwp->hwnd == g_drawWatched.load()) {
            ++g_drawsOfWatched;
            std::lock_guard<std::mutex> lock(g_lastDrawnMutex);
            // The window's own text, not its answer to WM_GETTEXT: what
            // another process reads.
            InternalGetWindowText(cwp->hwnd, g_lastDrawnText, 64);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

// Markers posted to the UI thread and the newest one it has taken from its
// queue: messages are taken in order, each after the one before it was
// handled, so a marker taken means everything posted before it was handled.
constexpr WPARAM kMarker = 0x51580000;
std::atomic<LPARAM> g_markerTaken{0};
HHOOK g_markerHook = nullptr;
std::atomic<int> g_readoutTicks{0};  // WM_TIMER 41, the readouts' timer
std::atomic<int> g_paintsOfWatched{0};  // WM_PAINT of g_drawWatched

LRESULT CALLBACK watchMarkers(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_NULL && msg->wParam == kMarker)
            g_markerTaken = msg->lParam;
        if (msg->message == WM_TIMER && msg->wParam == 41)
            ++g_readoutTicks;
        if (msg->message == WM_PAINT && msg->hwnd == g_drawWatched.load())
            ++g_paintsOfWatched;
    }
    return CallNextHookEx(g_markerHook, code, wParam, lParam);
}

class InProcess : public ::testing::Test, protected qxsupport::InProcessProgram {
protected:
    void SetUp() override
    {
        for (auto& c : g_parameterMessages)
            c = 0;
        window = start(&recorder);
        ASSERT_NE(window, nullptr);
        g_hook = SetWindowsHookExW(WH_CALLWNDPROC, countSent, nullptr, ui->threadId());
        g_markerHook = SetWindowsHookExW(WH_GETMESSAGE, watchMarkers, nullptr, ui->threadId());
        ASSERT_NE(g_markerHook, nullptr);
        settle();
        c = children(window);
    }

    void TearDown() override
    {
        if (g_hook)
            UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
        if (g_markerHook)
            UnhookWindowsHookEx(g_markerHook);
        g_markerHook = nullptr;
        for (const auto& b : messageBoxes(GetCurrentProcessId()))
            dismiss(b);
        if (HWND main = ui->mainWindowHandle()) {
            PostMessageW(main, WM_CLOSE, 0, 0);
            closeWithoutSaving(GetCurrentProcessId(), main);
        }
        finish();
    }

    // Everything given to the UI thread so far has been handled: the
    // requests of other threads (it takes one and sends it in one step,
    // before it looks at its queue), the messages posted to it (a marker
    // posted after them has been taken), and what handling them posted in
    // turn (a second marker).
    void settle()
    {
        ASSERT_TRUE(waitFor([&] { return !ui->requestsPending(); }, 5000));
        static LPARAM serial = 0;
        for (int round = 0; round < 2; ++round) {
            const LPARAM marker = ++serial;
            ASSERT_TRUE(PostMessageW(window, WM_NULL, kMarker, marker));
            ASSERT_TRUE(waitFor([&] { return g_markerTaken.load() == marker; }, 5000));
        }
        ASSERT_TRUE(waitFor([&] { return !ui->requestsPending(); }, 5000));
    }
    // The window and its children repainted by the UI thread: invalidated,
    // then waited for until none has an update region left (each is
    // validated as its paint begins) and the last paint has ended.
    void paintNow()
    {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        ASSERT_TRUE(waitFor(
            [&] {
                if (GetUpdateRect(window, nullptr, FALSE))
                    return false;
                for (const auto& child : c)
                    if (GetUpdateRect(child.second, nullptr, FALSE))
                        return false;
                return true;
            },
            5000));
        settle();
    }

    // A parameter written as the engine writes it: from this, a foreign thread.
    void write(int id, intptr_t value)
    {
        store->set(id, value);
        settle();
    }

    std::wstring textOf(int id) { return text(c[id]); }

    // Hands the window the band levels of one display buffer, as the engine
    // does, with a threshold of dbDiff tenths, and marks data present.
    void showLevels(float* ref, float* ana, int dbDiff)
    {
        store->set(Param::RefBandLevels, reinterpret_cast<intptr_t>(ref));
        store->set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(ana));
        store->set(Param::BufferLock, reinterpret_cast<intptr_t>(&lock));
        store->set(Param::DbDiff, dbDiff);
        store->set(Param::RefMode, 0);
        store->set(Param::LatestBuffer, 0);
        write(Param::DataPresent, 1);  // 68 refreshes too
    }

    // Pixels of the red ink of a readout below the threshold.
    static int redInk(HWND label)
    {
        return capture(screenRectOf(label)).count([](COLORREF c) {
            return GetRValue(c) > 150 && GetGValue(c) < 110 && GetBValue(c) < 110;
        });
    }

    Recorder recorder;
    FrameLock lock;
    HWND window = nullptr;
    std::map<int, HWND> c;
};

// The client size at 96 DPI: the window of 639 x 574 as it was, with a
// fixed frame and no menu bar.
SIZE leastClient96()
{
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, MainWindow::kLayoutStyle, FALSE, MainWindow::kExStyle);
    return SIZE{639 - (r.right - r.left), 574 - (r.bottom - r.top)};
}

// The smallest window at 96 DPI: that client area with the sizing frame and
// the menu bar around it.
SIZE leastOuter96()
{
    const SIZE c = leastClient96();
    RECT r{0, 0, c.cx, c.cy};
    AdjustWindowRectEx(&r, MainWindow::kStyle, TRUE, MainWindow::kExStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

std::vector<std::wstring> textsOf(std::map<int, HWND>& c, int first, int count)
{
    std::vector<std::wstring> out;
    for (int i = 0; i < count; ++i)
        out.push_back(text(c[first + i]));
    return out;
}

}  // namespace

TEST_F(InProcess, TheWindowPublishesItsHandle)
{
    EXPECT_EQ(store->handle<HWND>(Param::MainWindowHandle), window);
}

TEST_F(InProcess, TheTextsAtTheStartFollowTheDefaultSettings)
{
    EXPECT_EQ(textOf(167), L"Sample Window 0.085    Integration Time 1.360 sec");
    EXPECT_EQ(textOf(118), L"Band Frequencies = 100 - 500, 500 - 1500, 1500 - 4000 Hz");
    EXPECT_EQ(textsOf(c, 123, 7),
              (std::vector<std::wstring>{L"120", L"100", L"80", L"60", L"40", L"20", L"0"}));
    EXPECT_EQ(textsOf(c, 140, 5),
              (std::vector<std::wstring>{L"0 kHz", L"1.5 kHz", L"3.0 kHz", L"4.5 kHz", L"6.0 kHz"}));
}

TEST_F(InProcess, SamplingSettingsRebuildTheSampleWindowLineAndTheFrequencyScale)
{
    write(Param::NumSamples, 16384);
    EXPECT_EQ(textOf(167), L"Sample Window 1.365    Integration Time 21.840 sec");
    write(Param::SampFrq, 4000);
    EXPECT_EQ(textOf(167), L"Sample Window 4.096    Integration Time 65.536 sec");
    EXPECT_EQ(textsOf(c, 140, 5), (std::vector<std::wstring>{L"0 kHz", L"0.5 kHz", L"1.0 kHz",
                                                             L"1.5 kHz", L"2.0 kHz"}));
    write(Param::IntLvl, 1000);
    EXPECT_EQ(textOf(167), L"Sample Window 4.096    Integration Time 4096.000 sec");
    write(Param::SampFrq, 48000);
    EXPECT_EQ(textsOf(c, 140, 5), (std::vector<std::wstring>{L"0 kHz", L"6.0 kHz", L"12.0 kHz",
                                                             L"18.0 kHz", L"24.0 kHz"}));
    EXPECT_EQ(textOf(167), L"Sample Window 0.341    Integration Time 341.000 sec");
}

TEST_F(InProcess, DisplayRangeRebuildsTheDbScale)
{
    write(Param::DisplayDb, 2);
    EXPECT_EQ(textsOf(c, 123, 7),
              (std::vector<std::wstring>{L"100", L"90", L"80", L"70", L"60", L"50", L"40"}));
    write(Param::DisplayDb, 3);
    EXPECT_EQ(textsOf(c, 123, 7),
              (std::vector<std::wstring>{L"90", L"70", L"50", L"30", L"10", L"-10", L"-30"}));
}

TEST_F(InProcess, EachBandLimitRebuildsTheBandLine)
{
    const struct {
        int id, value;
        const wchar_t* line;
    } cases[] = {
        {Param::Filter0, 50, L"Band Frequencies = 50 - 500, 500 - 1500, 1500 - 4000 Hz"},
        {Param::Filter1, 600, L"Band Frequencies = 50 - 600, 600 - 1500, 1500 - 4000 Hz"},
        {Param::Filter2, 2000, L"Band Frequencies = 50 - 600, 600 - 2000, 2000 - 4000 Hz"},
        {Param::Filter3, 5000, L"Band Frequencies = 50 - 600, 600 - 2000, 2000 - 5000 Hz"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.id);
        write(k.id, k.value);
        EXPECT_EQ(textOf(118), k.line);
    }
}

TEST_F(InProcess, ButtonsAndProgressFollowTheirParameters)
{
    HWND analyze = c[102], pause = c[103], progress = c[119];
    write(Param::AnalyzeEnabled, 1);
    EXPECT_TRUE(IsWindowEnabled(analyze));
    write(Param::PauseEnabled, 1);
    EXPECT_TRUE(IsWindowEnabled(pause));
    write(Param::AnalyzeEnabled, 0);
    EXPECT_FALSE(IsWindowEnabled(analyze));
    EXPECT_TRUE(IsWindowEnabled(pause));
    write(Param::PauseEnabled, 0);
    EXPECT_FALSE(IsWindowEnabled(pause));

    EXPECT_FALSE(IsWindowVisible(progress));
    write(Param::ProgressHidden, 0);
    EXPECT_TRUE(IsWindowVisible(progress));
    write(Param::ProgressHidden, 1);
    EXPECT_FALSE(IsWindowVisible(progress));
}

TEST_F(InProcess, DisablingTheFocusedButtonMovesTheFocusToReference)
{
    HWND reference = c[101], analyze = c[102];
    ASSERT_EQ(focusOf(ui->threadId()), reference);
    write(Param::AnalyzeEnabled, 1);
    // Tab, as the keyboard gives it, through the UI thread's loop.
    PostMessageW(reference, WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageW(reference, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001));
    settle();
    ASSERT_EQ(focusOf(ui->threadId()), analyze);
    write(Param::AnalyzeEnabled, 0);
    EXPECT_EQ(focusOf(ui->threadId()), reference);
    // Enabling does not move the focus.
    write(Param::AnalyzeEnabled, 1);
    EXPECT_EQ(focusOf(ui->threadId()), reference);
}

TEST_F(InProcess, TheEndOfTheIntegrationHidesTheProgressAndOffersAnalyze)
{
    write(Param::IntLvl, 16);
    write(Param::ProgressHidden, 0);
    write(Param::CaptureActive, 1);
    write(Param::IntCount, 15);
    EXPECT_EQ(store->get(Param::ProgressHidden), 0);
    EXPECT_EQ(store->get(Param::AnalyzeEnabled), 0);
    EXPECT_TRUE(IsWindowVisible(c[119]));
    write(Param::IntCount, 16);
    EXPECT_EQ(store->get(Param::ProgressHidden), 1);
    EXPECT_EQ(store->get(Param::AnalyzeEnabled), 1);
    EXPECT_FALSE(IsWindowVisible(c[119]));
    EXPECT_TRUE(IsWindowEnabled(c[102]));

    // Complete while nothing captures: the progress goes, Analyze is not offered.
    write(Param::AnalyzeEnabled, 0);
    write(Param::ProgressHidden, 0);
    write(Param::CaptureActive, 0);
    write(Param::IntCount, 17);
    EXPECT_EQ(store->get(Param::ProgressHidden), 1);
    EXPECT_EQ(store->get(Param::AnalyzeEnabled), 0);
}

TEST_F(InProcess, SoundFailuresAreReportedOnceWithTheirCaptionAndText)
{
    struct Case {
        int stage, code;
        const wchar_t* caption;
        const wchar_t* text;
    };
    const Case cases[] = {
        {1, 4, L"Error opening recording device", L"in use by another program (error 4)"},
        {2, 6, L"Error opening playback device", L"no usable sound playback device"},
        {7, 5, L"Sound Error 7", L"reported an error (error 5)"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.stage * 100 + k.code);
        store->set(Param::SoundErrorCode, k.code);  // the code first, as the engine does
        store->set(Param::SoundErrorStage, k.stage);
        std::vector<MessageBoxInfo> boxes;
        ASSERT_TRUE(waitFor([&] { return !(boxes = messageBoxes(GetCurrentProcessId())).empty(); },
                            5000));
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, k.caption);
        EXPECT_NE(boxes[0].text.find(k.text), std::wstring::npos)
            << std::string(boxes[0].text.begin(), boxes[0].text.end());
        EXPECT_EQ(GetWindow(boxes[0].box, GW_OWNER), window);
        EXPECT_EQ(store->get(Param::SoundErrorStage), 0) << "the report is taken";
        dismiss(boxes[0]);
        ASSERT_TRUE(waitFor([&] { return messageBoxes(GetCurrentProcessId()).empty(); }, 5000));
        settle();
        EXPECT_TRUE(messageBoxes(GetCurrentProcessId()).empty()) << "only once";
    }
    // A stage of 0 reports nothing.
    store->set(Param::SoundErrorStage, 0);
    settle();
    EXPECT_TRUE(messageBoxes(GetCurrentProcessId()).empty());
}

TEST_F(InProcess, ReadoutsShowTheBandLevelsOfTheNewestData)
{
    float ref[3] = {60.0f, 70.0f, 80.04f};
    float ana[3] = {66.0f, 74.96f, 79.0f};
    showLevels(ref, ana, 50);
    EXPECT_EQ(textsOf(c, 156, 3), (std::vector<std::wstring>{L"60.0", L"70.0", L"80.0"}));
    EXPECT_EQ(textsOf(c, 159, 3), (std::vector<std::wstring>{L"66.0", L"75.0", L"79.0"}));
    EXPECT_EQ(textsOf(c, 162, 3), (std::vector<std::wstring>{L"6.0", L"5.0", L"-1.0"}));
    EXPECT_EQ(store->displayBuffers()[0].inUse.load(), 0) << "the buffer is given back";

    // Colour by threshold: 6.0 and exactly 5.0 are not below it, -1.0 is.
    paintNow();
    EXPECT_EQ(redInk(c[162]), 0);
    EXPECT_EQ(redInk(c[163]), 0) << "a difference equal to the threshold is not below it";
    EXPECT_GT(redInk(c[164]), 5);

    // New data (event 100) refreshes the readouts (their rounding is checked
    // in text_test.cpp); the difference comes from the levels, not the texts.
    ref[0] = 12.349f;
    ana[0] = 12.35f;
    ref[1] = -12.37f;
    ana[1] = -0.4f;
    write(Param::NewDisplayData, 0);
    EXPECT_EQ(textOf(157), L"-12.4");
    EXPECT_EQ(textOf(160), L"-0.4");
    EXPECT_EQ(textOf(162), L"0.0");  // 12.35 - 12.349 = 0.001, not 12.4 - 12.3
    EXPECT_EQ(textOf(163), L"12.0");

    // While the reference is measured only the reference readouts change.
    write(Param::RefMode, 1);
    ref[2] = 90.0f;
    write(Param::NewDisplayData, 0);
    EXPECT_EQ(textOf(158), L"90.0");
    EXPECT_EQ(textsOf(c, 159, 3), (std::vector<std::wstring>(3, L"")));
    EXPECT_EQ(textsOf(c, 162, 3), (std::vector<std::wstring>(3, L"")));

    // The measurement discarded (new sampling settings or bands): no readout
    // keeps a number of it, the marks go, and a copy carries none either.
    write(Param::RefFaults, 1);
    EXPECT_EQ(textOf(153), L"Reference dB*");
    write(Param::DataPresent, 0);
    for (int id = 156; id <= 164; ++id)
        EXPECT_EQ(textOf(id), L"\u2013") << id;
    EXPECT_EQ(textsOf(c, 171, 3), (std::vector<std::wstring>(3, L"\u2013")));
    EXPECT_EQ(textOf(153), L"Reference dB");
    EXPECT_EQ(textOf(165), L"Press Reference to measure the background first.");
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    PostMessageW(window, WM_COMMAND, ID_CMD_COPY_READOUTS, 0);
    settle();
    std::wstring copied;
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        copied = static_cast<const wchar_t*>(GlobalLock(h));
        GlobalUnlock(h);
    }
    CloseClipboard();
    EXPECT_EQ(copied, textOf(118) + L"\r\n\tBand 1\tBand 2\tBand 3\r\n"
                                    L"Reference dB\t\u2013\t\u2013\t\u2013\r\n"
                                    L"Analysis dB\t\u2013\t\u2013\t\u2013\r\n"
                                    L"Difference\t\u2013\t\u2013\t\u2013\r\n"
                                    L"Source dB\t\u2013\t\u2013\t\u2013\r\n");
    write(Param::RefFaults, 0);
    // No buffer ready: the readouts stay as they are.
    ref[2] = 91.0f;
    store->set(Param::LatestBuffer, -1);
    write(Param::DataPresent, 1);
    write(Param::NewDisplayData, 0);
    EXPECT_EQ(textOf(158), L"\u2013");

    // A buffer held by a reader is skipped by the writer; the window gives
    // every buffer back after reading.
    store->set(Param::LatestBuffer, 2);
    write(Param::NewDisplayData, 0);
    EXPECT_EQ(textOf(158), L"91.0");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(store->displayBuffers()[i].inUse.load(), 0);
    store->set(Param::BufferLock, 0);
}

// Blocks faster than anyone reads: each readout answers with the newest
// text at once, but its own window text (a wineserver round trip under
// Wine) changes only when it is drawn, about ten times a second, not with
// every block; its last drawing shows the newest text.
TEST_F(InProcess, ReadoutsAreDrawnTenTimesASecondAndEndWithTheNewest)
{
    float ref[3] = {60.0f, 70.0f, 80.0f};
    float ana[3] = {66.0f, 74.0f, 79.0f};
    showLevels(ref, ana, 50);
    g_drawWatched = c[159];
    g_drawsOfWatched = 0;
    const ULONGLONG start = GetTickCount64();
    constexpr int kBlocks = 30;
    int ownTextChanges = 0;
    wchar_t ownText[64] = L"";
    for (int i = 0; i < kBlocks; ++i) {
        ana[0] = 30.0f + i;
        write(Param::NewDisplayData, 0);
        EXPECT_EQ(textOf(159), std::to_wstring(30 + i) + L".0");
        wchar_t now[64] = L"";
        InternalGetWindowText(c[159], now, 64);
        ownTextChanges += wcscmp(now, ownText) != 0;
        wcscpy(ownText, now);
    }
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_LE(g_drawsOfWatched.load(), static_cast<int>(took / 100) + 2)
        << kBlocks << " blocks in " << took << " ms";
    EXPECT_LE(ownTextChanges, static_cast<int>(took / 100) + 3)
        << kBlocks << " blocks in " << took << " ms";
    const std::wstring newest = std::to_wstring(30 + kBlocks - 1) + L".0";
    EXPECT_TRUE(waitFor(
        [&] {
            std::lock_guard<std::mutex> lock(g_lastDrawnMutex);
            return newest == g_lastDrawnText;
        },
        5000));
    // Nothing changes any more: the timer rests (no tick for three periods)
    // instead of waking the program ten times a second.
    int ticks = g_readoutTicks.load();
    ULONGLONG lastTick = GetTickCount64();
    EXPECT_TRUE(waitFor(
        [&] {
            if (g_readoutTicks.load() != ticks) {
                ticks = g_readoutTicks.load();
                lastTick = GetTickCount64();
            }
            return GetTickCount64() - lastTick >= 300;
        },
        5000));
    g_drawWatched = nullptr;
    store->set(Param::BufferLock, 0);
}

// A measurement runs on while nobody can see the window (minimised, or the
// display of its session off, as WM_POWERBROADCAST reports): the readouts
// keep the newest levels, nothing is drawn, and once it can be seen again
// the window shows the newest picture at once and draws every block again.
TEST_F(InProcess, NothingIsDrawnWhileTheWindowCannotBeSeen)
{
    // The window seen or not: minimised and restored, or the display off and on.
    const char* const cases[] = {"minimised", "display_off"};
    auto see = [&](int k, bool seen) {
        if (k == 0) {
            PostMessageW(window, WM_SYSCOMMAND, seen ? SC_RESTORE : SC_MINIMIZE, 0);
            ASSERT_TRUE(waitFor([&] { return (IsIconic(window) == 0) == seen; }, 3000));
            return;
        }
        const DWORD state = seen ? 1 : 0;
        POWERBROADCAST_SETTING setting{GUID_SESSION_DISPLAY_STATUS, sizeof state, {0}};
        memcpy(setting.Data, &state, sizeof state);
        SendMessageW(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                     reinterpret_cast<LPARAM>(&setting));
    };
    float ref[3] = {60.0f, 70.0f, 80.0f};
    float ana[3] = {66.0f, 74.0f, 79.0f};
    showLevels(ref, ana, 50);
    g_drawWatched = c[120];  // the spectrum graph
    for (int k = 0; k < 2; ++k) {
        see(k, false);
        settle();
        g_drawsOfWatched = 0;
        for (int i = 0; i < 5; ++i) {
            ana[0] = 40.0f + i;
            write(Param::NewDisplayData, 0);
        }
        EXPECT_EQ(textOf(159), L"44.0") << cases[k];
        EXPECT_EQ(g_drawsOfWatched.load(), 0) << cases[k];

        g_paintsOfWatched = 0;
        see(k, true);
        EXPECT_TRUE(waitFor([] { return g_paintsOfWatched.load() > 0; }, 5000)) << cases[k];
        write(Param::NewDisplayData, 0);
        EXPECT_EQ(g_drawsOfWatched.load(), 1) << cases[k];
        screenshot(window, std::string("main_seen_again_") + cases[k]);
    }
    g_drawWatched = nullptr;
    store->set(Param::BufferLock, 0);
}

// The menu bar holds every command under its usual heading, greys out
// Analyze and Pause as their buttons are, and its items give the same
// commands as the buttons and keys. The client area is the layout's.
TEST_F(InProcess, TheMenuBarHoldsTheCommandsAndFollowsTheButtons)
{
    HMENU bar = GetMenu(window);
    ASSERT_NE(bar, nullptr);
    struct Heading {
        const wchar_t* text;
        std::vector<UINT> ids;  // 0: a separator
    };
    const Heading headings[] = {
        {L"&File", {ID_CMD_SAVE_MEASUREMENT, ID_CMD_OPEN_REFERENCE, ID_CMD_SAVE_PICTURE, 0, ID_CMD_EXIT}},
        {L"Ed&it", {ID_CMD_COPY_READOUTS, ID_CMD_COPY_PICTURE, 0, ID_CMD_MARKER_AT_PEAK,
                    ID_CMD_MARKER_LEFT, ID_CMD_MARKER_RIGHT, ID_CMD_MARKER_REMOVE,
                    ID_CMD_CLEAR_MARKERS}},
        {L"&View", {ID_CMD_LOG_AXIS, 0, ID_CMD_VIEW_NARROW, ID_CMD_VIEW_OCTAVES, ID_CMD_VIEW_THIRDS}},
        {L"Mea&sure", {ID_CMD_REFERENCE, ID_CMD_ANALYZE, ID_CMD_PAUSE, 0, ID_CMD_MEASURE, ID_CMD_CONFIG,
                       ID_CMD_SOUND_DEVICES}},
        {L"&Help", {ID_CMD_USER_GUIDE, 0, ID_SYS_ABOUT}},
    };
    ASSERT_EQ(GetMenuItemCount(bar), 5);
    for (int h = 0; h < 5; ++h) {
        wchar_t title[64] = L"";
        GetMenuStringW(bar, static_cast<UINT>(h), title, 64, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(title), headings[h].text);
        HMENU sub = GetSubMenu(bar, h);
        ASSERT_NE(sub, nullptr);
        std::vector<UINT> ids;
        for (int i = 0; i < GetMenuItemCount(sub); ++i)
            ids.push_back(GetMenuItemID(sub, i));
        EXPECT_EQ(ids, headings[h].ids) << h;
    }
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, leastClient96().cx);
    EXPECT_EQ(client.bottom, leastClient96().cy);

    auto grey = [&](UINT id) { return (GetMenuState(bar, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };
    EXPECT_TRUE(grey(ID_CMD_ANALYZE));
    EXPECT_TRUE(grey(ID_CMD_PAUSE));
    EXPECT_FALSE(grey(ID_CMD_REFERENCE));
    write(Param::AnalyzeEnabled, 1);
    write(Param::PauseEnabled, 1);
    EXPECT_FALSE(grey(ID_CMD_ANALYZE));
    EXPECT_FALSE(grey(ID_CMD_PAUSE));
    write(Param::PauseEnabled, 0);
    EXPECT_TRUE(grey(ID_CMD_PAUSE));

    // A menu choice arrives as WM_COMMAND with 0 in the high word.
    recorder.taken();
    for (UINT id : {ID_CMD_REFERENCE, ID_CMD_ANALYZE})
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    settle();
    EXPECT_EQ(recorder.taken(), (std::vector<int>{Code::Reference, Code::Analyze}));

    // The View menu's choices set their options and are checked by them.
    auto checked = [&](UINT id) { return (GetMenuState(bar, id, MF_BYCOMMAND) & MF_CHECKED) != 0; };
    EXPECT_TRUE(checked(ID_CMD_VIEW_NARROW));
    EXPECT_FALSE(checked(ID_CMD_LOG_AXIS));
    for (UINT id : {ID_CMD_VIEW_THIRDS, ID_CMD_LOG_AXIS})
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    settle();
    EXPECT_EQ(store->get(Option::BandView), 2);
    EXPECT_EQ(store->get(Option::FrequencyAxis), 1);
    EXPECT_TRUE(checked(ID_CMD_VIEW_THIRDS) && checked(ID_CMD_LOG_AXIS));
    EXPECT_FALSE(checked(ID_CMD_VIEW_NARROW));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_CMD_LOG_AXIS, 0), 0);
    settle();
    EXPECT_EQ(store->get(Option::FrequencyAxis), 0);
}

// A second of blocks that are all zeros while recording: "No signal".
TEST_F(InProcess, ASilentRecordingDeviceShowsNoSignal)
{
    float ref[3] = {0.0f, 0.0f, 0.0f};
    float ana[3] = {0.0f, 0.0f, 0.0f};
    DisplayBuffer& b = store->displayBuffers()[0];
    for (float& v : b.set[1].samples)
        v = 0.0f;
    write(Param::CaptureActive, 1);
    showLevels(ref, ana, 50);
    EXPECT_TRUE(waitFor(
        [&] {
            write(Param::NewDisplayData, 0);
            return IsWindowVisible(c[169]) && textOf(169) == L"No signal";
        },
        5000));
    b.set[1].samples[17] = 0.25f;
    write(Param::NewDisplayData, 0);
    EXPECT_FALSE(IsWindowVisible(c[169])) << "sound again";
    b.set[1].samples[17] = 0.0f;
    EXPECT_TRUE(waitFor(
        [&] {
            write(Param::NewDisplayData, 0);
            return IsWindowVisible(c[169]) != 0;
        },
        5000));
    write(Param::CaptureActive, 0);
    EXPECT_FALSE(IsWindowVisible(c[169])) << "nothing recorded now";
    store->set(Param::BufferLock, 0);
}

TEST_F(InProcess, AnIdWithoutMeaningChangesNothing)
{
    auto snapshot = [&] {
        std::vector<std::wstring> s;
        for (auto& kv : c)
            s.push_back(std::to_wstring(kv.first) + L":" + text(kv.second) + L":" +
                        std::to_wstring(IsWindowEnabled(kv.second)) +
                        std::to_wstring(IsWindowVisible(kv.second)));
        return s;
    };
    const auto before = snapshot();
    for (int id : {4, 5, 65, 77, 80, 81, 90, 99}) {
        SendMessageW(window, WM_QX_PARAMETER, static_cast<WPARAM>(id), 0);
    }
    write(90, 123);
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(messageBoxes(GetCurrentProcessId()).empty());
}

TEST_F(InProcess, ButtonsAcceleratorsAndKeysGiveTheirCommands)
{
    const int ids[] = {101, 105, 106, 107};
    for (int id : ids) {
        click(c[id]);
        settle();
    }
    EXPECT_EQ(recorder.taken(), (std::vector<int>{101, 105, 106, 107}));

    // Accelerator commands; Analyze and Pause only while offered.
    auto command = [&](int id) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 1), 0);
        settle();
    };
    command(ID_CMD_REFERENCE);
    command(ID_CMD_ANALYZE);
    command(ID_CMD_PAUSE);
    command(ID_CMD_LINECONTROL);
    command(ID_CMD_RECORDER);
    command(ID_CMD_DEFAULTS);
    EXPECT_EQ(recorder.taken(), (std::vector<int>{101, 105, 106, 107}));
    write(Param::AnalyzeEnabled, 1);
    write(Param::PauseEnabled, 1);
    command(ID_CMD_ANALYZE);
    command(ID_CMD_PAUSE);
    EXPECT_EQ(recorder.taken(), (std::vector<int>{102, 103}));

    // Enter and Space act on the focused button once per press. (A click
    // gives its button the focus: the last one went to Reference.)
    click(c[101]);
    settle();
    recorder.taken();
    ASSERT_EQ(focusOf(ui->threadId()), c[101]);
    PostMessageW(c[101], WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(c[101], WM_KEYDOWN, VK_RETURN, 0x401C0001);  // auto-repeat
    PostMessageW(c[101], WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001));
    PostMessageW(c[101], WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(c[101], WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001));
    settle();
    EXPECT_EQ(recorder.taken(), (std::vector<int>{101, 101}));
}

TEST_F(InProcess, ConfigOpensCentredOverADisabledMainWindowAndItsEndReturnsTheFocus)
{
    click(c[104]);
    settle();
    HWND config = nullptr;
    ASSERT_TRUE(waitFor(
        [&] {
            HWND w = GetWindow(window, GW_HWNDFIRST);
            for (; w; w = GetWindow(w, GW_HWNDNEXT))
                if (w != window && GetWindow(w, GW_OWNER) == window && IsWindowVisible(w) &&
                    className(w) == L"P2GUIWindow") {
                    config = w;
                    return true;
                }
            return false;
        },
        5000));
    EXPECT_FALSE(IsWindowEnabled(window));
    RECT m, k;
    GetWindowRect(window, &m);
    GetWindowRect(config, &k);
    EXPECT_EQ(k.left, m.left + ((m.right - m.left) - (k.right - k.left)) / 2);
    EXPECT_EQ(k.top, m.top + ((m.bottom - m.top) - (k.bottom - k.top)) / 2);
    // Parameter messages still reach the window (and the open configuration
    // window first) while it is disabled.
    write(Param::DisplayDb, 2);
    EXPECT_EQ(textOf(123), L"100");
    EXPECT_TRUE(recorder.taken().empty()) << "104 is the window's own business";

    PostMessageW(config, WM_CLOSE, 0, 0);
    settle();
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(window) != 0; }, 5000));
    EXPECT_EQ(focusOf(ui->threadId()), c[101]);
    EXPECT_TRUE(recorder.taken().empty()) << "205 is the window's own business";
}

TEST_F(InProcess, TheWindowCannotBeDraggedSmallerThanItsLayout)
{
    RECT r{100, 100, 400, 300};
    EXPECT_EQ(SendMessageW(window, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r)), 1);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 100 + leastOuter96().cx);
    EXPECT_EQ(r.bottom, 100 + leastOuter96().cy);
    RECT big{10, 20, 1010, 720};
    SendMessageW(window, WM_SIZING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&big));
    EXPECT_EQ(big.right, 1010);
    EXPECT_EQ(big.bottom, 720);
}

TEST_F(InProcess, DestroyingTheWindowSavesItsPlaceTellsTheOwnerAndEndsTheLoop)
{
    SetWindowPos(window, nullptr, 33, 44, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    settle();
    PostMessageW(window, WM_CLOSE, 0, 0);
    ui->waitFinished();
    EXPECT_EQ(recorder.taken(), (std::vector<int>{Code::MainWindowGone}));
    EXPECT_EQ(ui->mainWindowHandle(), nullptr);
    EXPECT_EQ(settings::get(L"XPos"), 33);
    EXPECT_EQ(settings::get(L"YPos"), 44);
    for (const wchar_t* name : qxsupport::kSettingNames)
        EXPECT_EQ(qxsupport::readSettingValue(name), -1) << "closing saved a setting";
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(InProcess, AMinimisedWindowSavesWhereItWillBeRestored)
{
    SetWindowPos(window, nullptr, 71, 52, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    settle();
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    settle();
    ASSERT_TRUE(waitFor([&] { return IsIconic(window) != 0; }, 3000));
    PostMessageW(window, WM_CLOSE, 0, 0);
    ui->waitFinished();
    EXPECT_EQ(settings::get(L"XPos"), 71);
    EXPECT_EQ(settings::get(L"YPos"), 52);
}

// The UI thread's side of the parameter path, seen from the window.
// ---------------------------------------------------------------------------
// Field faults mended

namespace {

HWND openConfig(HWND window, std::map<int, HWND>& c)
{
    click(c[104]);
    HWND config = nullptr;
    waitFor(
        [&] {
            for (HWND w = GetWindow(window, GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT))
                if (w != window && GetWindow(w, GW_OWNER) == window && IsWindowVisible(w) &&
                    className(w) == L"P2GUIWindow") {
                    config = w;
                    return true;
                }
            return false;
        },
        5000);
    // The main window disables itself once the configuration window shows.
    waitFor([&] { return !IsWindowEnabled(window); }, 5000);
    return config;
}

// Whether the owner of the configuration window was enabled when the window
// received WM_DESTROY.
HWND g_watchedConfig = nullptr;
HWND g_watchedOwner = nullptr;
std::atomic<int> g_ownerEnabledAtDestroy{-1};
HHOOK g_destroyHook = nullptr;
LRESULT CALLBACK watchDestroy(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (cwp->message == WM_DESTROY && cwp->hwnd == g_watchedConfig)
            g_ownerEnabledAtDestroy = IsWindowEnabled(g_watchedOwner) ? 1 : 0;
    }
    return CallNextHookEx(g_destroyHook, code, wParam, lParam);
}

}  // namespace

// While the configuration window is open the main window is disabled: its
// shortcuts do nothing, whether the key comes as input or its command is
// delivered some other way, and the configuration window keeps its edits.
TEST_F(InProcess, ShortcutsOfTheDisabledMainWindowDoNothing)
{
    HWND config = openConfig(window, c);
    ASSERT_NE(config, nullptr);
    ASSERT_FALSE(IsWindowEnabled(window));
    HWND threshold = children(config)[119];
    ASSERT_NE(threshold, nullptr);
    SendMessageW(threshold, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"7.5"));
    SetForegroundWindow(config);
    settle();

    // Alt+C, Alt+R and Alt+D as synthetic input to the focused window.
    for (WORD k : {'C', 'R', 'D'}) {
        qxsupport::pressKeyWith(VK_MENU, k);
        settle();
    }
    // The commands posted straight to the main window.
    for (int id : {ID_CMD_CONFIG, ID_CMD_REFERENCE, ID_CMD_DEFAULTS})
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 1), 0);
    settle();

    EXPECT_TRUE(IsWindow(config) && IsWindowVisible(config)) << "the open window was replaced";
    EXPECT_EQ(text(threshold), L"7.5") << "the edit was lost";
    EXPECT_TRUE(recorder.taken().empty()) << "a command of the disabled window ran";
    EXPECT_FALSE(IsWindowEnabled(window));

    // Once the configuration window is closed the shortcuts work again.
    PostMessageW(config, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(window) != 0; }, 5000));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(ID_CMD_REFERENCE, 1), 0);
    settle();
    EXPECT_EQ(recorder.taken(), (std::vector<int>{Code::Reference}));
}

// Windows activates the owner only if it is enabled when its owned window
// goes: every way of closing the configuration window enables the main
// window first.
TEST_F(InProcess, EveryCloseOfTheConfigurationWindowEnablesTheOwnerFirst)
{
    g_destroyHook = SetWindowsHookExW(WH_CALLWNDPROC, watchDestroy, nullptr, ui->threadId());
    ASSERT_NE(g_destroyHook, nullptr);
    struct Way {
        const char* name;
        std::function<void(HWND)> close;
    };
    const Way ways[] = {
        {"close box", [](HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); }},
        {"Cancel", [](HWND w) { click(children(w)[139]); }},
        {"Okay", [](HWND w) { click(children(w)[138]); }},
        {"Escape",
         [](HWND w) { PostMessageW(children(w)[103], WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
    };
    for (const Way& way : ways) {
        HWND config = openConfig(window, c);
        ASSERT_NE(config, nullptr) << way.name;
        g_watchedConfig = config;
        g_watchedOwner = window;
        g_ownerEnabledAtDestroy = -1;
        way.close(config);
        ASSERT_TRUE(waitFor([&] { return !IsWindow(config); }, 10000)) << way.name;
        settle();
        EXPECT_EQ(g_ownerEnabledAtDestroy.load(), 1) << way.name;
        EXPECT_TRUE(IsWindowEnabled(window)) << way.name;
    }
    UnhookWindowsHookEx(g_destroyHook);
    g_destroyHook = nullptr;
}

// A double-click on a command button is one command; on the graph it is two
// clicks, two markers. Real mouse input through the X server.
// The markers from the keyboard: Ctrl+M places one on the highest bin
// shown, Ctrl+Left and Ctrl+Right move the newest a column, Ctrl+Delete
// removes it.
TEST_F(InProcess, MarkersArePlacedMovedAndRemovedFromTheKeyboard)
{
    float ref[3] = {60.0f, 70.0f, 80.0f};
    float ana[3] = {60.0f, 70.0f, 80.0f};
    for (int id = Param::Marker1; id <= Param::Marker5; ++id)
        store->set(id, -1);
    const int n = store->get(Param::NumSamples), fs = store->get(Param::SampFrq);
    DisplayBuffer& b = store->displayBuffers()[0];
    for (int k = 0; k <= n / 2; ++k)
        b.set[1].spectrum[k] = k == 100 ? 90.0f : 20.0f;
    showLevels(ref, ana, 50);
    auto command = [&](int id) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 1), 0);
        settle();
    };
    command(ID_CMD_MARKER_AT_PEAK);
    EXPECT_EQ(store->get(Param::Marker1), 100 * fs / n) << "the peak's bin";
    const int before = store->get(Param::Marker1);
    command(ID_CMD_MARKER_RIGHT);
    command(ID_CMD_MARKER_RIGHT);
    command(ID_CMD_MARKER_LEFT);
    const int column = fs / 2 / static_cast<int>(screenRectOf(c[120]).right - screenRectOf(c[120]).left);
    EXPECT_GT(store->get(Param::Marker1), before);
    EXPECT_LE(store->get(Param::Marker1) - before, column + 2) << "one column net";
    command(ID_CMD_MARKER_AT_PEAK);
    EXPECT_EQ(store->get(Param::Marker2), before);
    paintNow();
    screenshot(window, "inprocess_markers_keyboard");
    command(ID_CMD_MARKER_REMOVE);
    EXPECT_EQ(store->get(Param::Marker2), -1) << "the newest goes first";
    EXPECT_NE(store->get(Param::Marker1), -1);
}

TEST_F(InProcess, ADoubleClickIsOneCommandOnAButtonAndTwoClicksOnTheGraph)
{
    SetForegroundWindow(window);
    settle();
    ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == window; }, 3000));
    auto doubleClick = [&](HWND target, int dx) {
        RECT r = screenRectOf(target);
        const int x = (r.left + r.right) / 2 + dx;
        const int y = (r.top + r.bottom) / 2;
        return qxsupport::xdoClick(x, y, 2);
    };
    recorder.taken();
    ASSERT_TRUE(doubleClick(c[105], 0));
    // Then one click on another button: input is handled in order, so once
    // its command has come, the double-click has been handled whole.
    RECT other = screenRectOf(c[106]);
    ASSERT_TRUE(mouseClick((other.left + other.right) / 2, (other.top + other.bottom) / 2));
    ASSERT_TRUE(waitFor(
        [&] {
            std::lock_guard<std::mutex> g(recorder.m);
            return !recorder.codes.empty() && recorder.codes.back() == Code::Recorder;
        },
        5000));
    EXPECT_EQ(recorder.taken(), (std::vector<int>{Code::LineControl, Code::Recorder}));

    for (int id = Param::Marker1; id <= Param::Marker5; ++id)
        store->set(id, -1);
    ASSERT_TRUE(doubleClick(c[120], -100));
    ASSERT_TRUE(waitFor([&] { return store->get(Param::Marker2) != -1; }, 3000))
        << "the second click of a quick pair was lost";
    EXPECT_NE(store->get(Param::Marker1), -1);
}

// A new threshold or display range while the measurement is paused shows at
// once in the readouts' colours and the graph, without waiting for new data.
TEST_F(InProcess, DisplayChangesRedrawTheReadoutsAtOnce)
{
    float ref[3] = {60.0f, 70.0f, 80.0f};
    float ana[3] = {66.0f, 74.0f, 79.0f};
    showLevels(ref, ana, 50);
    ASSERT_EQ(textsOf(c, 162, 3), (std::vector<std::wstring>{L"6.0", L"4.0", L"-1.0"}));
    EXPECT_TRUE(waitFor([&] { return redInk(c[162]) == 0 && redInk(c[163]) > 5; }, 3000));

    // 10.0 dB: 6.0 is now below the threshold too; no new data arrives.
    write(Param::DbDiff, 100);
    EXPECT_TRUE(waitFor([&] { return redInk(c[162]) > 5; }, 3000))
        << "the readout kept the colour of the old threshold";
    // 0.0 dB: only -1.0 is below it.
    write(Param::DbDiff, 0);
    EXPECT_TRUE(waitFor([&] { return redInk(c[162]) == 0 && redInk(c[163]) == 0; }, 3000));
    EXPECT_GT(redInk(c[164]), 5);
    store->set(Param::BufferLock, 0);
}

// Moving to a monitor of another DPI (Windows sends WM_DPICHANGED with the new
// DPI and the rectangle it suggests): the fonts are remade for it, the client
// area is the layout's scaled, every child sits at its scaled place inside it
// and its text fits at the new font; back at 96 DPI every rectangle is
// exactly what it was.
TEST_F(InProcess, ChangingTheDpiLaysEverythingOutAgainAndBackExactly)
{
    auto clientOf = [](HWND w) {
        RECT r{};
        GetClientRect(w, &r);
        return r;
    };
    auto windowOf = [](HWND w) {
        RECT r{};
        GetWindowRect(w, &r);
        return r;
    };
    const RECT client96 = clientOf(window);
    const RECT outer96 = windowOf(window);
    std::map<int, RECT> rects96;
    for (const auto& child : c)
        rects96[child.first] = rectIn(window, child.second);
    ASSERT_GT(rects96.size(), 50u);

    // Windows suggests a place on the monitor; here its top left corner.
    auto changeDpi = [&](int dpi) {
        RECT suggested = windowOf(window);
        OffsetRect(&suggested, -suggested.left, -suggested.top);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        settle();
    };
    auto textFits = [&](HWND w) {
        const std::wstring t = text(w);
        auto font = reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0));
        if (t.empty() || !font || className(w) != L"P2GUIWindow")
            return ::testing::AssertionSuccess();
        HDC dc = GetDC(w);
        HGDIOBJ old = SelectObject(dc, font);
        RECT r{};
        GetClientRect(w, &r);
        RECT need{0, 0, r.right, 0};
        const bool multiLine = r.bottom > 40 * store->dpi() / 96;  // the note
        DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &need,
                  DT_CALCRECT | (multiLine ? DT_WORDBREAK : DT_SINGLELINE));
        SelectObject(dc, old);
        ReleaseDC(w, dc);
        if (need.right <= r.right && need.bottom <= r.bottom)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "\"" << std::string(t.begin(), t.end()) << "\" needs " << need.right << " x "
               << need.bottom << ", its window is " << r.right << " x " << r.bottom;
    };

    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        changeDpi(dpi);
        EXPECT_EQ(store->dpi(), dpi);
        LOGFONTW lf{};
        GetObjectW(store->handle<HFONT>(Param::LabelFont), sizeof lf, &lf);
        // 14 pixels at 96 DPI, scaled, and lowered by at most a seventh where
        // the glyphs would otherwise grow wider than the layout.
        EXPECT_LE(std::abs(lf.lfHeight), GuiDpi::scale(14, dpi));
        EXPECT_GE(std::abs(lf.lfHeight), GuiDpi::scale(14, dpi) * 6 / 7);

        const RECT client = clientOf(window);
        EXPECT_EQ(client.right, GuiDpi::scale(client96.right, dpi));
        EXPECT_EQ(client.bottom, GuiDpi::scale(client96.bottom, dpi));
        // The window takes the top left corner Windows suggested.
        EXPECT_EQ(windowOf(window).left, 0);
        EXPECT_EQ(windowOf(window).top, 0);

        for (const auto& child : c) {
            const RECT was = rects96[child.first];
            const RECT now = rectIn(window, child.second);
            SCOPED_TRACE(child.first);
            EXPECT_EQ(now.left, GuiDpi::scale(was.left, dpi));
            EXPECT_EQ(now.top, GuiDpi::scale(was.top, dpi));
            EXPECT_EQ(now.right - now.left, GuiDpi::scale(was.right - was.left, dpi));
            EXPECT_EQ(now.bottom - now.top, GuiDpi::scale(was.bottom - was.top, dpi));
            EXPECT_GE(now.left, 0);
            EXPECT_GE(now.top, 0);
            EXPECT_LE(now.right, client.right);
            EXPECT_LE(now.bottom, client.bottom);
            if (IsWindowVisible(child.second)) {
                EXPECT_TRUE(textFits(child.second));
            }
        }
        // The logo shows the drawing made for this scale, which fills its box.
        HWND logo = c[MainWindow::IdLogo];
        EXPECT_EQ(rectIn(window, logo).right - rectIn(window, logo).left,
                  GuiDpi::scale(165, dpi));
        if (dpi == 192)
            screenshot(window, "main_inprocess_dpi192");
    }

    changeDpi(96);
    EXPECT_EQ(store->dpi(), 96);
    EXPECT_EQ(clientOf(window).right, client96.right);
    EXPECT_EQ(clientOf(window).bottom, client96.bottom);
    const RECT outer = windowOf(window);
    EXPECT_EQ(outer.right - outer.left, outer96.right - outer96.left);
    EXPECT_EQ(outer.bottom - outer.top, outer96.bottom - outer96.top);
    for (const auto& child : c) {
        const RECT was = rects96[child.first];
        const RECT now = rectIn(window, child.second);
        EXPECT_TRUE(EqualRect(&was, &now)) << "child " << child.first;
    }
}

// Windows asks for the size at a new DPI before it suggests a rectangle:
// the layout's, frame included, and 639 x 574 at 96 DPI.
TEST_F(InProcess, TheSizeAtANewDpiIsTheLayoutsScaled)
{
    SIZE size{};
    EXPECT_TRUE(SendMessageW(window, WM_GETDPISCALEDSIZE, 96, reinterpret_cast<LPARAM>(&size)));
    EXPECT_EQ(size.cx, leastOuter96().cx);
    EXPECT_EQ(size.cy, leastOuter96().cy);
    RECT client{};
    GetClientRect(window, &client);
    SendMessageW(window, WM_GETDPISCALEDSIZE, 192, reinterpret_cast<LPARAM>(&size));
    // Twice the client area, and a frame at least as large as at 96 DPI.
    EXPECT_GE(size.cx - 2 * client.right, leastOuter96().cx - client.right);
    EXPECT_GE(size.cy - 2 * client.bottom, leastOuter96().cy - client.bottom);
}

// Settings applied in the Configuration window but not saved: closing asks.
// Cancel keeps the program; Yes saves them and closes.
TEST_F(InProcess, ClosingWithAppliedSettingsNotSavedAsksToSaveThem)
{
    HWND config = openConfig(window, c);
    ASSERT_NE(config, nullptr);
    PostMessageW(config, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(window) != 0; }, 5000));
    write(Param::SampFrq, 48000);  // as Apply leaves the store
    MessageBoxInfo box;
    for (int reply : {IDCANCEL, IDYES}) {
        SCOPED_TRACE(reply);
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitForBox(GetCurrentProcessId(), L"Settings Not Saved", box));
        EXPECT_NE(box.text.find(L"Save the applied settings"), std::wstring::npos);
        ASSERT_TRUE(answer(box, reply));
        if (reply == IDCANCEL) {
            settle();
            EXPECT_TRUE(IsWindow(window)) << "Cancel keeps the program";
            EXPECT_EQ(settings::get(L"SampFrq"), -1) << "nothing saved";
        }
    }
    ASSERT_TRUE(waitFor([&] { return !IsWindow(window); }, 5000)) << "Yes saves and closes";
    EXPECT_EQ(settings::get(L"SampFrq"), 48000);
}

namespace {

// The tooltip window a top-level window owns.
HWND tipsOf(HWND top)
{
    for (HWND w = GetWindow(top, GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindow(w, GW_OWNER) == top && className(w) == L"tooltips_class32")
            return w;
    return nullptr;
}

}  // namespace

// Resting the pointer on a button says what it does; in the Configuration
// window, what Apply, Okay and Save do with the settings.
TEST_F(InProcess, EachButtonHasATipThatSaysWhatItDoes)
{
    HWND tips = tipsOf(window);
    ASSERT_NE(tips, nullptr);
    for (int id : {101, 102, 103, 104, 105, 106, 107, 168})
        EXPECT_FALSE(GuiTips::textOf(tips, c[id]).empty()) << id;
    HWND config = openConfig(window, c);
    ASSERT_NE(config, nullptr);
    auto k = children(config);
    HWND configTips = tipsOf(config);
    ASSERT_NE(configTips, nullptr);
    struct Case {
        int id;
        const wchar_t* says;
    };
    const Case cases[] = {{135, L"nothing is saved"}, {138, L"Nothing is saved"},
                          {136, L"keep them for the next start"}};
    for (const Case& t : cases)
        EXPECT_NE(GuiTips::textOf(configTips, k[t.id]).find(t.says), std::wstring::npos) << t.id;
    PostMessageW(config, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(window) != 0; }, 5000));
}

// A larger window: the graph and the waveform view take the room, the
// meters keep their place at the top right, the band table at the bottom
// left, the scales spread along the graph. Back at the smallest size every
// child is exactly where it always was.
TEST_F(InProcess, ALargerWindowGivesTheRoomToTheGraph)
{
    const std::map<int, RECT> before = [&] {
        std::map<int, RECT> m;
        for (const auto& k : c)
            m[k.first] = rectIn(window, GetParent(k.second) == window ? k.second : GetParent(k.second));
        return m;
    }();
    RECT outer{};
    GetWindowRect(window, &outer);
    const int dx = 200, dy = 120;
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    settle();
    auto now = [&](int id) {
        HWND w = c[id];
        return rectIn(window, GetParent(w) == window ? w : GetParent(w));
    };
    auto moved = [&](int id, int mx, int my, int gw, int gh) {
        const RECT a = before.at(id), b = now(id);
        EXPECT_EQ(b.left - a.left, mx) << id;
        EXPECT_EQ(b.top - a.top, my) << id;
        EXPECT_EQ((b.right - b.left) - (a.right - a.left), gw) << id;
        EXPECT_EQ((b.bottom - b.top) - (a.bottom - a.top), gh) << id;
    };
    moved(120, 0, 0, dx, dy);   // the graph
    moved(116, 0, 0, dx, 0);    // the waveform view
    moved(113, dx, 0, 0, 0);    // the Reference meter
    moved(101, 0, 0, 0, 0);     // Reference
    moved(156, 0, dy, 0, 0);    // a readout
    moved(153, 0, dy, 0, 0);    // a row caption
    moved(129, 0, dy, 0, 0);    // the bottom dB label
    moved(123, 0, 0, 0, 0);     // the top dB label
    moved(144, dx, dy, 0, 0);   // the last frequency label
    moved(140, 0, dy, 0, 0);    // the first
    EXPECT_EQ(now(142).left - before.at(142).left, dx / 2) << "the middle label in the middle";
    paintNow();
    screenshot(window, "inprocess_larger");

    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    settle();
    for (const auto& k : before) {
        const RECT b = now(k.first);
        EXPECT_TRUE(EqualRect(&b, &k.second)) << "child " << k.first << " is back";
    }
}
