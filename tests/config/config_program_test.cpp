// The configuration window of the real qx700.exe, driven from outside as a
// user drives it, for what needs the real process: Alt+C through the
// program's accelerators, keys typed through the X server into the program's
// own message loop, settings that come back after a restart, a running
// measurement of the real engine, and the main window's graph. Everything
// the window does on its own is tested in its test host
// (config_window_test.cpp). What the program's store holds is seen the way a
// user sees it: in the main window's texts and pictures, and in the
// configuration window itself, which shows the current settings every time
// it opens.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "ConfigTestSupport.h"

namespace {

// Main window children.
constexpr int kReferenceButton = 101, kAnalyzeButton = 102, kPauseButton = 103, kConfigButton = 104;
constexpr int kMainSampleLine = 167, kMainBandLine = 118, kGraph = 120, kProgress = 119;
constexpr int kMainDbScaleTop = 123;
// Configuration window controls.
constexpr int kFrequencyList = 103, kSamplesList = 105, kLevelList = 107;
constexpr int kThresholdField = 119, kRangeList = 121, kBandField0 = 113, kSwatch0 = 124;
constexpr int kApply = 135, kSave = 136, kCancel = 139;

// The settings as the configuration window shows them.
struct Shown {
    std::wstring frequency, samples, level, threshold, range;
    std::array<std::wstring, 4> bands;
    std::array<COLORREF, 6> colours{};
    bool operator==(const Shown& o) const
    {
        return frequency == o.frequency && samples == o.samples && level == o.level &&
               threshold == o.threshold && range == o.range && bands == o.bands &&
               colours == o.colours;
    }
};

std::ostream& operator<<(std::ostream& os, const Shown& s)
{
    auto n = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };
    os << "{" << n(s.frequency) << " kHz, " << n(s.samples) << ", level " << n(s.level)
       << ", threshold " << n(s.threshold) << ", " << n(s.range) << ", bands " << n(s.bands[0])
       << "/" << n(s.bands[1]) << "/" << n(s.bands[2]) << "/" << n(s.bands[3]) << ", colours";
    for (COLORREF c : s.colours)
        os << " " << std::hex << c << std::dec;
    return os << "}";
}

const Shown kFactory = {L"12",  L"1024", L"16", L"5.0", L"0 -- 120 dB", {L"100", L"500", L"1500", L"4000"},
                        {RGB(128, 128, 128), RGB(0, 255, 255), RGB(0, 0, 255), RGB(0, 255, 0),
                         RGB(255, 0, 0), RGB(255, 255, 255)}};

class ConfigProgramTest : public ::testing::Test {
protected:
    void SetUp() override { clearSettings(); }
    void TearDown() override
    {
        program.reset();
        clearSettings();
    }

    void startWith(const std::vector<std::pair<const wchar_t*, DWORD>>& settings = {})
    {
        for (const auto& s : settings)
            writeSettingValue(s.first, s.second);
        program = std::make_unique<RunningProgram>();
        ASSERT_TRUE(program->start()) << "qx700.exe ($QX_EXE) did not start";
        main = program->mainWindow();
    }

    // Waits (with a limit) for what the program does in its own time.
    static bool comes(const std::function<bool()>& condition, int limitMs = 10000)
    {
        return waitUntil(condition, limitMs, nullptr);
    }

    HWND mainControl(int id, const wchar_t* cls = nullptr) { return findControl(main, id, cls); }

    // The main window rebuilds its lines when the parameter messages posted
    // to it arrive: waits until the control's text holds `part`.
    ::testing::AssertionResult mainTextComes(int id, const wchar_t* part)
    {
        if (comes([&] { return windowText(mainControl(id)).find(part) != std::wstring::npos; }))
            return ::testing::AssertionSuccess();
        const std::wstring shown = windowText(mainControl(id));
        return ::testing::AssertionFailure()
               << "control " << id << " shows \"" << std::string(shown.begin(), shown.end()) << "\"";
    }

    HWND findConfig(int timeoutMs = 10000)
    {
        return waitForTopLevel(program->pid(), L"P2GUIWindow", L"Configuration", timeoutMs);
    }

    // The Config button, clicked: the window is open when the click returns.
    HWND openByButton()
    {
        HWND button = mainControl(kConfigButton, L"Button");
        DWORD_PTR r;
        SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
        cw = findConfig();
        return cw;
    }

    HWND control(int id, const wchar_t* cls = nullptr) { return findControl(cw, id, cls); }
    HWND list(int id) { return control(id, L"ComboBox"); }
    HWND edit(int id) { return control(id, L"Edit"); }
    HWND button(int id) { return control(id, L"Button"); }

    // A button pressed; returns when the program has handled the click.
    void press(HWND b)
    {
        ASSERT_NE(b, nullptr);
        DWORD_PTR r;
        SendMessageTimeoutW(b, BM_CLICK, 0, 0, SMTO_NORMAL, 15000, &r);
    }
    void press(int id) { press(button(id)); }
    // Cancel, and the window gone.
    void cancel()
    {
        press(kCancel);
        EXPECT_TRUE(comes([&] { return !IsWindow(cw); })) << "Cancel left the window open";
    }

    // Opens the list, moves to the entry and closes it, as a mouse user
    // does; the window reads the list as it closes, within the send.
    void choose(int listId, int index)
    {
        HWND l = list(listId);
        DWORD_PTR r;
        SendMessageTimeoutW(l, CB_SHOWDROPDOWN, TRUE, 0, SMTO_NORMAL, 5000, &r);
        SendMessageTimeoutW(l, CB_SETCURSEL, index, 0, SMTO_NORMAL, 5000, &r);
        SendMessageTimeoutW(l, CB_SHOWDROPDOWN, FALSE, 0, SMTO_NORMAL, 5000, &r);
        // An open list follows the mouse pointer: one left over the list by
        // an earlier click may have moved the selection before it closed.
        // The closed list keeps what it is given.
        SendMessageTimeoutW(l, CB_GETCURSEL, 0, 0, SMTO_NORMAL, 5000, &r);
        if (static_cast<int>(r) != index)
            SendMessageTimeoutW(l, CB_SETCURSEL, index, 0, SMTO_NORMAL, 5000, &r);
        SendMessageTimeoutW(l, CB_GETCURSEL, 0, 0, SMTO_NORMAL, 5000, &r);
        EXPECT_EQ(static_cast<int>(r), index) << "the list did not keep its selection";
    }

    void setField(int id, const wchar_t* text)
    {
        DWORD_PTR r;
        SendMessageTimeoutW(edit(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                            5000, &r);
    }

    void setBands(const wchar_t* a, const wchar_t* b, const wchar_t* c, const wchar_t* d)
    {
        setField(kBandField0, a);
        setField(kBandField0 + 1, b);
        setField(kBandField0 + 2, c);
        setField(kBandField0 + 3, d);
    }

    std::wstring selected(int listId)
    {
        const ListState s = listState(list(listId));
        return s.selection >= 0 && s.selection < static_cast<int>(s.texts.size()) ? s.texts[s.selection]
                                                                               : L"<none>";
    }

    COLORREF swatchColour(int i)
    {
        RECT r;
        GetWindowRect(control(kSwatch0 + 2 * i), &r);
        const Picture p = captureScreen(r);
        return p.at(p.width() / 2, p.height() / 2);
    }

    Shown shown()
    {
        Shown s;
        s.frequency = selected(kFrequencyList);
        s.samples = selected(kSamplesList);
        s.level = selected(kLevelList);
        s.range = selected(kRangeList);
        s.threshold = windowText(edit(kThresholdField));
        for (int k = 0; k < 4; ++k)
            s.bands[k] = windowText(edit(kBandField0 + k));
        for (int i = 0; i < 6; ++i)
            s.colours[i] = swatchColour(i);
        return s;
    }

    // The open window shows these settings (once it has painted them).
    ::testing::AssertionResult shows(const Shown& expected)
    {
        if (comes([&] { return shown() == expected; }, 5000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "shows " << shown();
    }

    bool configOpen() { return cw && IsWindow(cw) && IsWindowVisible(cw); }

    // Opens the window anew and checks what it shows: the program's settings.
    ::testing::AssertionResult reopenShows(const Shown& expected)
    {
        if (configOpen())
            cancel();
        if (!openByButton())
            return ::testing::AssertionFailure() << "the window did not open";
        ::testing::AssertionResult result = shows(expected);
        cancel();
        return result;
    }

    // Real mouse click at a screen point (the X root: the virtual desktop
    // covers the screen).
    void mouseClick(int x, int y)
    {
        // Two clicks on one spot within the double-click time are a double
        // click; a user's separate clicks are further apart.
        const DWORD since = GetTickCount() - lastClickTime_;
        if (x == lastClick_.x && y == lastClick_.y && since < GetDoubleClickTime() + 100)
            Sleep(GetDoubleClickTime() + 100 - since);
        lastClick_ = {x, y};
        lastClickTime_ = GetTickCount();
        ASSERT_TRUE(qxsupport::xdoClick(x, y));
    }
    void clickInto(HWND w)
    {
        // Input goes where the user looks: wait until the window is in front.
        HWND top = GetAncestor(w, GA_ROOT);
        comes([top] { return GetForegroundWindow() == top; }, 3000);
        RECT r;
        GetWindowRect(w, &r);
        mouseClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    // Clicks into a field and waits until it has the keyboard.
    void focusByClick(HWND w)
    {
        clickInto(w);
        ASSERT_TRUE(comes([&] { return program->focus() == w; })) << "the click gave no focus";
    }

    std::unique_ptr<RunningProgram> program;
    HWND main = nullptr;
    HWND cw = nullptr;
    POINT lastClick_{-1, -1};
    DWORD lastClickTime_ = 0;
};

void expectCentredOver(HWND cw, HWND main)
{
    RECT c, m;
    GetWindowRect(cw, &c);
    GetWindowRect(main, &m);
    EXPECT_EQ(c.right - c.left, 315);
    EXPECT_EQ(c.bottom - c.top, 613);
    EXPECT_EQ(c.left, m.left + ((m.right - m.left) - 315) / 2);
    EXPECT_EQ(c.top, m.top + ((m.bottom - m.top) - 613) / 2);
}

// ---------------------------------------------------- the program's own keys

TEST_F(ConfigProgramTest, AltCOpensTheWindowAndEscapeGivesTheKeyboardBackToReference)
{
    startWith({{L"dbDiff", 125}});
    SetForegroundWindow(main);
    ASSERT_TRUE(comes([&] { return GetForegroundWindow() == main; }, 3000));
    ASSERT_TRUE(xdoKey("alt+c"));
    cw = findConfig();
    ASSERT_NE(cw, nullptr);
    expectCentredOver(cw, main);
    EXPECT_EQ(GetWindow(cw, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main));
    Shown expected = kFactory;
    expected.threshold = L"12.5";
    EXPECT_TRUE(shows(expected));

    // The window over the main window, as the user sees it.
    RECT m, c, both;
    GetWindowRect(main, &m);
    GetWindowRect(cw, &c);
    UnionRect(&both, &m, &c);
    writePng(captureScreen(both), screenshotPath(L"config_over_main.png"));
    writePng(captureWindow(cw), screenshotPath(L"config_window_program.png"));

    // Escape closes it; the main window takes the keyboard back on Reference.
    SetForegroundWindow(cw);
    ASSERT_TRUE(comes([&] { return GetForegroundWindow() == cw; }, 3000));
    ASSERT_TRUE(xdoKey("Escape"));
    EXPECT_TRUE(comes([&] { return !IsWindow(cw); }));
    EXPECT_TRUE(comes([&] { return IsWindowEnabled(main) != FALSE; }));
    EXPECT_TRUE(comes([&] { return program->focus() == mainControl(kReferenceButton, L"Button"); }));
}

// Keys typed through the X server pass the program's message loop into the
// window: the threshold's filter, Tab from the last band limit to the
// buttons, Space and Enter on a button, Enter in a field as Okay.
TEST_F(ConfigProgramTest, KeysReachTheWindowThroughTheProgramsLoop)
{
    startWith();
    ASSERT_NE(openByButton(), nullptr);
    HWND t = edit(kThresholdField);
    focusByClick(t);
    ASSERT_TRUE(xdoKey("End shift+Home"));
    ASSERT_TRUE(xdoType("7.25"));
    // A letter, a second point and a sign are taken back; the 1 after them
    // is typed, so once it shows, they have been handled.
    ASSERT_TRUE(xdoKey("x period minus 1"));
    EXPECT_TRUE(comes([&] { return windowText(t) == L"7.251"; }))
        << "the threshold field shows " << ::testing::PrintToString(windowText(t));

    // From the last band field, Tab goes to Apply; Space presses it; four
    // Tabs more (Save, Defaults, Okay) reach Cancel, and Enter presses it.
    focusByClick(edit(kBandField0 + 3));
    ASSERT_TRUE(xdoKey("Tab"));
    EXPECT_TRUE(comes([&] { return program->focus() == button(kApply); }));
    ASSERT_TRUE(xdoKey("space Tab Tab Tab Tab"));
    EXPECT_TRUE(comes([&] { return program->focus() == button(kCancel); }));
    EXPECT_TRUE(configOpen()) << "Apply closed the window";
    ASSERT_TRUE(xdoKey("Return"));
    EXPECT_TRUE(comes([&] { return !IsWindow(cw); }));
    Shown expected = kFactory;
    expected.threshold = L"7.2";  // 72 tenths, applied by Space on Apply
    EXPECT_TRUE(reopenShows(expected));

    // Enter in a field is Okay.
    ASSERT_NE(openByButton(), nullptr);
    t = edit(kThresholdField);
    focusByClick(t);
    ASSERT_TRUE(xdoKey("End shift+Home"));
    ASSERT_TRUE(xdoType("4.5"));
    ASSERT_TRUE(xdoKey("Return"));
    EXPECT_TRUE(comes([&] { return !IsWindow(cw); })) << "Enter in a field did not close the window";
    expected.threshold = L"4.5";
    EXPECT_TRUE(reopenShows(expected));
}

// ------------------------------------------------------------- a restart

// Whatever the window accepts and Save writes comes back exactly at the next
// start: all fifteen values, limits above 6000 Hz at 48 kHz, equal
// neighbours, a threshold of 0.0, the longest integration and black.
TEST_F(ConfigProgramTest, EverythingSavedComesBackExactlyAtTheNextStart)
{
    startWith();
    ASSERT_NE(openByButton(), nullptr);
    choose(kFrequencyList, 4);  // 48 kHz
    choose(kLevelList, 10);     // 1000
    setBands(L"100", L"1500", L"1500", L"8000");
    setField(kThresholdField, L"0.0");
    {
        DialogDriver driver(program->pid(), colourDialog(nullptr, true, RGB(0, 0, 0)));
        clickInto(control(kSwatch0 + 2 * 2));  // the Reference colour
        driver.join();
        ASSERT_TRUE(driver.seen());
    }
    EXPECT_TRUE(comes([&] { return swatchColour(2) == RGB(0, 0, 0); }));
    press(kSave);
    ASSERT_TRUE(comes([&] { return !IsWindow(cw); })) << "Save did not close the window";
    const long long saved[15] = {48000, 1024, 1000, 100, 1500, 1500, 8000, 0,
                                 0x808080, 0xFFFF00, 0x000000, 0x00FF00, 0x0000FF, 0xFFFFFF, 1};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(readSettingValue(kSettingNames[i]), saved[i]) << i;
    EXPECT_TRUE(mainTextComes(kMainBandLine, L"1500 - 1500, 1500 - 8000"));
    const std::wstring bandLine = windowText(mainControl(kMainBandLine));

    ASSERT_TRUE(program->close());
    program.reset();
    startWith();
    EXPECT_EQ(windowText(mainControl(kMainBandLine)), bandLine) << "the band line at the next start";
    Shown expected = kFactory;
    expected.frequency = L"48";
    expected.level = L"1000";
    expected.bands = {L"100", L"1500", L"1500", L"8000"};
    expected.threshold = L"0.0";
    expected.colours[2] = RGB(0, 0, 0);
    EXPECT_TRUE(reopenShows(expected));
}

// ------------------------------------------------------ during a measurement

TEST_F(ConfigProgramTest, NewSamplingStopsARunningMeasurementButThresholdDoesNot)
{
    startWith();
    HWND pause = mainControl(kPauseButton, L"Button");
    HWND progress = mainControl(kProgress);
    press(mainControl(kReferenceButton, L"Button"));
    ASSERT_TRUE(comes([&] { return IsWindowEnabled(pause) != FALSE; }))
        << "the measurement did not start";

    ASSERT_NE(openByButton(), nullptr);
    setField(kThresholdField, L"2.0");
    choose(kRangeList, 2);  // -30 -- 90 dB
    // Apply returns once the program has handled it, and the engine any
    // stop it was asked for; the messages of that stop were posted before
    // those of the new range, so once the dB scale shows the range, the
    // main window has taken them too.
    press(kApply);
    ASSERT_TRUE(comes([&] { return windowText(mainControl(kMainDbScaleTop)) == L"90"; }));
    EXPECT_TRUE(IsWindowEnabled(pause)) << "threshold and range alone stopped the measurement";

    choose(kFrequencyList, 3);  // 24 kHz
    press(kApply);
    EXPECT_TRUE(comes([&] { return !IsWindowEnabled(pause); }, 5000))
        << "new sampling did not stop the measurement";
    EXPECT_TRUE(comes([&] { return !IsWindowVisible(progress); }, 5000));
    EXPECT_FALSE(IsWindowEnabled(mainControl(kAnalyzeButton, L"Button")));
    cancel();
    EXPECT_TRUE(mainTextComes(kMainSampleLine, L"0.042"));
}

// ------------------------------------------------------------ the graph

TEST_F(ConfigProgramTest, APickedColourReachesTheGraphOnApply)
{
    startWith();
    ASSERT_NE(openByButton(), nullptr);
    const COLORREF picked = RGB(40, 90, 160);
    {
        DialogDriver driver(program->pid(), colourDialog(nullptr, true, picked));
        clickInto(control(kSwatch0));
        driver.join();
        ASSERT_TRUE(driver.seen());
    }
    EXPECT_TRUE(comes([&] { return swatchColour(0) == picked; })) << "the field did not take it";
    HWND graph = mainControl(kGraph);
    RECT g;
    GetWindowRect(graph, &g);
    auto graphCorner = [&] {
        const Picture p = captureScreen(g);
        return p.at(6, 6);
    };
    EXPECT_EQ(graphCorner(), RGB(128, 128, 128)) << "the graph took it before Apply";
    press(kApply);
    EXPECT_TRUE(comes([&] { return graphCorner() == picked; }, 5000))
        << "the graph did not take the new colour";
    cancel();
    EXPECT_TRUE(comes([&] { return graphCorner() == picked; }, 5000));
}

}  // namespace
