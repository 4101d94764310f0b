// The real qx700.exe, started as a user starts it: where its window opens,
// what every child shows, how the texts follow the settings, and what the
// keyboard does. The virtual microphone plays silence here.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Driver.h"
#include "Layouts.h"

#include <tlhelp32.h>  // after <windows.h> (Driver.h)

using namespace drive;

namespace {

const wchar_t* const kNote =
    L"Magnitudes are based on the levels reported by the sound recording device.  Due to effects "
    L"caused by automatic gain control, adjustable volume controls, internal computer noise, and "
    L"other factors, these numbers should only be used as a general reference.";

// Whether the process has the DLL of that file name loaded.
bool hasModule(DWORD processId, const wchar_t* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32W module{sizeof module};
    bool found = false;
    for (BOOL more = Module32FirstW(snapshot, &module); more && !found;
         more = Module32NextW(snapshot, &module))
        found = lstrcmpiW(module.szModule, name) == 0;
    CloseHandle(snapshot);
    return found;
}

std::vector<std::wstring> texts(HWND main, int firstId, int count)
{
    auto c = children(main);
    std::vector<std::wstring> out;
    for (int i = 0; i < count; ++i)
        out.push_back(c.count(firstId + i) ? text(c[firstId + i]) : L"<missing>");
    return out;
}

// The frame of the main window's style at 96 DPI, without a menu bar.
const SIZE kFrame = [] {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                       FALSE, WS_EX_APPWINDOW | WS_EX_CONTROLPARENT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}();

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings::clear();
        feed({"silence"});
    }
    void TearDown() override { settings::clear(); }
};

}  // namespace

TEST_F(MainWindowTest, OpensCentredOnTheWorkAreaWhenNoPositionIsSaved)
{
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Program p;
    ASSERT_TRUE(p.start());
    // What only a command or a measurement needs is loaded by its first
    // call, not with the program: the common dialogs, the shell and the
    // wave devices. (That the calls work, every dialog and measurement test
    // shows.)
    ASSERT_TRUE(hasModule(p.processId(), L"user32.dll")) << "the module list is readable";
    for (const wchar_t* dll : {L"comdlg32.dll", L"shell32.dll", L"winmm.dll"})
        EXPECT_FALSE(hasModule(p.processId(), dll)) << dll;
    RECT r{};
    GetWindowRect(p.window(), &r);
    // Today's client area, with the menu bar above it.
    RECT client{};
    GetClientRect(p.window(), &client);
    EXPECT_EQ(client.right, 639 - kFrame.cx);
    EXPECT_EQ(client.bottom, 574 - kFrame.cy);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    EXPECT_GT(height, 574) << "the menu bar adds its row";
    EXPECT_GE(width, 639) << "a sizing frame";
    EXPECT_EQ(r.left, work.left + (work.right - work.left - width) / 2);
    EXPECT_EQ(r.top, work.top + (work.bottom - work.top - height) / 2);
    // The same name as the Start-menu entry and the setup program's.
    EXPECT_EQ(text(p.window()), L"QX-700 Spectrum Analyzer");
    const LONG style = GetWindowLongW(p.window(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);

    // Moved by the user, closed: the new place is saved and used next time.
    SetWindowPos(p.window(), nullptr, 61, 47, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(waitFor([&] { RECT m; GetWindowRect(p.window(), &m); return m.left == 61; }, 3000));
    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
    EXPECT_EQ(settings::get(L"XPos"), 61);
    EXPECT_EQ(settings::get(L"YPos"), 47);

    Program again;
    ASSERT_TRUE(again.start());
    GetWindowRect(again.window(), &r);
    EXPECT_EQ(r.left, 61);
    EXPECT_EQ(r.top, 47);
}

TEST_F(MainWindowTest, OpensAtTheSavedPositionAndTakesAMissingHalfAsMinusOne)
{
    settings::set(L"XPos", 10);
    Program p;
    ASSERT_TRUE(p.start());
    RECT r{};
    GetWindowRect(p.window(), &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, -1);
}

// A saved place off every screen (another monitor since unplugged, a changed
// resolution) must not leave the window where the user cannot reach it.
TEST_F(MainWindowTest, ASavedPlaceOffTheScreenComesBackOntoTheWorkArea)
{
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    auto openAt = [](int x, int y) {
        settings::set(L"XPos", static_cast<DWORD>(x));
        settings::set(L"YPos", static_cast<DWORD>(y));
        Program p;
        RECT r{};
        if (p.start())
            GetWindowRect(p.window(), &r);
        p.close();
        p.waitExit(15000);
        return r;
    };
    RECT r = openAt(5000, 3000);
    EXPECT_GE(r.left, work.left);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.right, work.right);
    EXPECT_LE(r.bottom, work.bottom);
    EXPECT_GT(r.right - r.left, 639);

    r = openAt(-3000, -2000);
    EXPECT_EQ(r.left, work.left);
    EXPECT_EQ(r.top, work.top);

    // Mostly on the work area: the saved place stands, even partly outside.
    r = openAt(work.left - 100, work.top + 50);
    EXPECT_EQ(r.left, work.left - 100);
    EXPECT_EQ(r.top, work.top + 50);
}

TEST_F(MainWindowTest, EveryChildIsInItsPlaceWithItsTextAndState)
{
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    for (const auto& e : qxsupport::kMainWindowLayout) {
        SCOPED_TRACE(e.id);
        // A button is a standard button in a container of the toolkit's class
        // that carries the place; every other child is a toolkit window.
        const bool isButton = e.inner != nullptr;
        const int id = isButton ? e.id - 10000 : e.id;
        ASSERT_TRUE(c.count(id)) << "missing child " << id;
        HWND child = c[id];
        HWND placed = isButton ? GetParent(child) : child;
        if (isButton) {
            EXPECT_EQ(className(child), L"Button");
            EXPECT_EQ(GetDlgCtrlID(placed), e.id);
            EXPECT_EQ(GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        } else {
            EXPECT_EQ(className(child), L"P2GUIWindow");
        }
        EXPECT_EQ(GetParent(placed), p.window());
        const RECT r = rectIn(p.window(), placed);
        EXPECT_EQ(r.left, e.x);
        EXPECT_EQ(r.top, e.y);
        EXPECT_EQ(r.right - r.left, e.w);
        EXPECT_EQ(r.bottom - r.top, e.h);
        if (e.text) {
            EXPECT_EQ(text(child), e.text);
        }
        const bool shouldBeEnabled = id != 102 && id != 103;
        EXPECT_EQ(IsWindowEnabled(child) != 0, shouldBeEnabled);
        // The progress bar waits for a measurement, the status line for
        // something to report, the overall levels, the unit line and the
        // log axis's labels for their options.
        const bool shouldBeVisible = id != 119 && id != 169 && !(id >= 174 && id <= 185);
        EXPECT_EQ(IsWindowVisible(child) != 0, shouldBeVisible);
    }
    // The sunken views.
    EXPECT_TRUE(GetWindowLongW(c[116], GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(GetWindowLongW(c[120], GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(text(c[166]), kNote);
    const std::wstring notice = text(c[165]);
    EXPECT_FALSE(notice.empty());
    EXPECT_EQ(notice, L"Press Reference to measure the background first.")
        << "before anything is measured the notice says what to press first";
    // The keyboard starts on Reference.
    EXPECT_EQ(focusOf(p.threadId()), c[101]);
}

TEST_F(MainWindowTest, TextsFollowSavedSettingsAndAreRebuiltWhenTheyChange)
{
    settings::set(L"SampFrq", 48000);
    settings::set(L"NumSamples", 16384);
    settings::set(L"IntLvl", 1000);
    settings::set(L"displaydb", 3);
    settings::set(L"Filter0", 200);
    settings::set(L"Filter1", 1000);
    settings::set(L"Filter2", 3000);
    settings::set(L"Filter3", 5000);  // below 48000 / 2: accepted
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    EXPECT_EQ(text(c[167]), L"Sample Window 0.341    Integration Time 341.000 sec");
    EXPECT_EQ(text(c[118]), L"Band Frequencies = 200 - 1000, 1000 - 3000, 3000 - 5000 Hz");
    EXPECT_EQ(texts(p.window(), 123, 7),
              (std::vector<std::wstring>{L"90", L"70", L"50", L"30", L"10", L"-10", L"-30"}));
    EXPECT_EQ(texts(p.window(), 140, 5), (std::vector<std::wstring>{
                                             L"0 kHz", L"6.0 kHz", L"12.0 kHz", L"18.0 kHz",
                                             L"24.0 kHz"}));

    // Defaults changes the sampling settings and band limits through the
    // engine, and their texts are rebuilt. (That Defaults resets the display
    // range is checked in engine_commands_test.cpp, and that the scales are
    // rebuilt on every change in inprocess_test.cpp.)
    click(c[107]);
    EXPECT_TRUE(waitFor(
        [&] { return text(c[167]) == L"Sample Window 0.085    Integration Time 1.360 sec"; }, 5000))
        << "sample window line: " << std::string(text(c[167]).begin(), text(c[167]).end());
    EXPECT_TRUE(waitFor(
        [&] {
            return text(c[118]) == L"Band Frequencies = 100 - 500, 500 - 1500, 1500 - 4000 Hz";
        },
        5000));
}

TEST_F(MainWindowTest, DisabledCommandsRefuseTheirAcceleratorsAndAltRStarts)
{
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    HWND analyze = c[102], pause = c[103], progress = c[119];
    ASSERT_FALSE(IsWindowEnabled(analyze));
    ASSERT_FALSE(IsWindowEnabled(pause));

    // Keys are handled in order: once the Tab after them has moved the
    // focus, Alt+A and Alt+P have been handled too.
    const HWND focused = focusOf(p.threadId());
    ASSERT_TRUE(key("alt+a alt+p Tab"));
    ASSERT_TRUE(waitFor([&] { return focusOf(p.threadId()) != focused; }, 5000));
    EXPECT_FALSE(IsWindowEnabled(pause)) << "nothing may have started";
    EXPECT_FALSE(IsWindowVisible(progress));
    EXPECT_EQ(text(c[159]), L"\u2013") << "the analysis readouts are untouched";

    ASSERT_TRUE(key("alt+r"));
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(pause) != 0; }, 5000))
        << "Alt+R starts the reference measurement";
    // A reference measurement empties the analysis and difference readouts.
    EXPECT_TRUE(waitFor([&] { return text(c[159]).empty() && text(c[162]).empty(); }, 5000));
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(analyze) != 0; }, 8000))
        << "Analyze is offered at the end of the integration";
    EXPECT_FALSE(IsWindowVisible(progress));

    // Alt+P pauses: Pause goes grey, Analyze stays available.
    ASSERT_TRUE(key("alt+p"));
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(pause) == 0; }, 5000));
    EXPECT_TRUE(IsWindowEnabled(analyze));
    // Alt+A now continues with the analysis half.
    ASSERT_TRUE(key("alt+a"));
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(pause) != 0; }, 5000));
    EXPECT_TRUE(waitFor([&] { return text(c[159]) == L"0.0" && text(c[162]) == L"0.0"; }, 5000))
        << "silence measures 0.0 in every band";
}

TEST_F(MainWindowTest, EnterAndSpaceActOnTheFocusedButtonAndFocusLeavesADisabledOne)
{
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    HWND reference = c[101], analyze = c[102], pause = c[103];
    ASSERT_EQ(focusOf(p.threadId()), reference);

    ASSERT_TRUE(key("space"));
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(pause) != 0; }, 5000))
        << "Space on the focused Reference button starts the measurement";
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(analyze) != 0; }, 8000));

    // Tab walks Reference -> Analyze -> Pause.
    ASSERT_TRUE(key("Tab"));
    EXPECT_TRUE(waitFor([&] { return focusOf(p.threadId()) == analyze; }, 2000));
    ASSERT_TRUE(key("Tab"));
    ASSERT_TRUE(waitFor([&] { return focusOf(p.threadId()) == pause; }, 2000));

    // Enter on Pause pauses once; Pause goes grey and the focus goes back to
    // Reference instead of getting lost.
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(pause) == 0; }, 5000));
    EXPECT_TRUE(waitFor([&] { return focusOf(p.threadId()) == reference; }, 2000));
    EXPECT_TRUE(IsWindowEnabled(analyze));

    // Mouse: a click on Reference restarts; a click on Pause gives it the
    // focus and, as it goes grey, the focus moves to Reference again.
    const RECT rr = screenRectOf(reference);
    ASSERT_TRUE(mouseClick((rr.left + rr.right) / 2, (rr.top + rr.bottom) / 2));
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(pause) != 0; }, 5000));
    const RECT pr = screenRectOf(pause);
    ASSERT_TRUE(mouseClick((pr.left + pr.right) / 2, (pr.top + pr.bottom) / 2));
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(pause) == 0; }, 5000));
    EXPECT_TRUE(waitFor([&] { return focusOf(p.threadId()) == reference; }, 2000));
}

TEST_F(MainWindowTest, ClosingWithAltF4EndsTheProgramWithCodeZero)
{
    Program p;
    ASSERT_TRUE(p.start());
    RECT r{};
    GetWindowRect(p.window(), &r);
    ASSERT_TRUE(key("alt+F4"));
    EXPECT_EQ(p.waitExit(15000), 0u);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(settings::get(L"XPos"), (work.right - work.left - (r.right - r.left)) / 2);
    EXPECT_EQ(settings::get(L"YPos"), (work.bottom - work.top - (r.bottom - r.top)) / 2);
}

// One program at a time: a second start restores the running window, brings
// it to the front and ends at once, without a window of its own.
TEST_F(MainWindowTest, ASecondStartShowsTheRunningWindowInstead)
{
    Program p;
    ASSERT_TRUE(p.start());
    ShowWindow(p.window(), SW_MINIMIZE);
    ASSERT_TRUE(waitFor([&] { return IsIconic(p.window()) != 0; }, 5000));

    const std::wstring exe = programPath();
    std::wstring commandLine = qxsupport::quoteArgument(exe);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION second{};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &second));
    const DWORD waited = WaitForSingleObject(second.hProcess, 20000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(second.hProcess, &code);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(second.hProcess, 1);
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
    ASSERT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "the second start ends by itself";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(findMainWindow(second.dwProcessId), nullptr) << "it made no window";
    EXPECT_TRUE(waitFor([&] { return !IsIconic(p.window()); }, 5000)) << "restored";
    EXPECT_TRUE(waitFor([&] { return GetForegroundWindow() == p.window(); }, 5000))
        << "in front";
    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
}

// The size the user gave the window comes back at the next start (in
// 96-DPI units, "ClientWidth" and "ClientHeight"); never smaller than the
// layout.
TEST_F(MainWindowTest, TheWindowsSizeIsRememberedAndNeverSmallerThanTheLayout)
{
    settings::set(L"ClientWidth", 800);
    settings::set(L"ClientHeight", 640);
    {
        Program p;
        ASSERT_TRUE(p.start());
        RECT client{};
        GetClientRect(p.window(), &client);
        EXPECT_EQ(client.right, 800);
        EXPECT_EQ(client.bottom, 640);
        RECT outer{};
        GetWindowRect(p.window(), &outer);
        SetWindowPos(p.window(), nullptr, 0, 0, outer.right - outer.left + 30,
                     outer.bottom - outer.top + 20, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(waitFor([&] { GetClientRect(p.window(), &client); return client.right == 830; }, 5000));
        p.close();
        EXPECT_EQ(p.waitExit(15000), 0u);
    }
    EXPECT_EQ(settings::get(L"ClientWidth"), 830);
    EXPECT_EQ(settings::get(L"ClientHeight"), 660);
    EXPECT_EQ(settings::get(L"Maximized"), 0);

    // Closed maximised, it opens maximised, and its normal size stays.
    {
        Program p;
        ASSERT_TRUE(p.start());
        ShowWindow(p.window(), SW_MAXIMIZE);
        ASSERT_TRUE(waitFor([&] { return IsZoomed(p.window()) != 0; }, 5000));
        p.close();
        EXPECT_EQ(p.waitExit(15000), 0u);
    }
    EXPECT_EQ(settings::get(L"Maximized"), 1);
    EXPECT_EQ(settings::get(L"ClientWidth"), 830);
    {
        Program p;
        ASSERT_TRUE(p.start());
        EXPECT_TRUE(waitFor([&] { return IsZoomed(p.window()) != 0; }, 5000));
        p.close();
        EXPECT_EQ(p.waitExit(15000), 0u);
    }

    settings::set(L"Maximized", 0);
    settings::set(L"ClientWidth", 100);  // smaller than the layout: the layout's
    settings::set(L"ClientHeight", 100);
    Program p;
    ASSERT_TRUE(p.start());
    RECT client{};
    GetClientRect(p.window(), &client);
    EXPECT_EQ(client.right, 639 - kFrame.cx);
    EXPECT_EQ(client.bottom, 574 - kFrame.cy);
}
