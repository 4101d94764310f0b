// The configuration window of the real qx700.exe, driven from outside as a
// user drives it: the Config button and Alt+C, clicks, keys typed through the
// X server, the colour dialog and message boxes answered, the registry read.
// What the program's store holds is seen the way a user sees it: in the main
// window's texts and pictures, and in the configuration window itself, which
// shows the current settings every time it opens.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ConfigTestSupport.h"

namespace {

constexpr const wchar_t* kMainTitle = L"Tevra Audio Spectrum Analyzer";
// Main window children.
constexpr int kReferenceButton = 101, kAnalyzeButton = 102, kPauseButton = 103, kConfigButton = 104;
constexpr int kMainSampleLine = 167, kMainBandLine = 118, kGraph = 120, kProgress = 119;
// Configuration window controls.
constexpr int kFrequencyList = 103, kSamplesList = 105, kLevelList = 107;
constexpr int kThresholdField = 119, kRangeList = 121, kBandField0 = 113, kSwatch0 = 124;
constexpr int kApply = 135, kSave = 136, kDefaults = 137, kOkay = 138, kCancel = 139;

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

const std::vector<std::pair<const wchar_t*, DWORD>> kOdd = {
    {L"SampFrq", 48000},       {L"NumSamples", 8192},     {L"IntLvl", 250},
    {L"Filter0", 200},         {L"Filter1", 600},         {L"Filter2", 1600},
    {L"Filter3", 5000},        {L"dbDiff", 125},          {L"backColor", 0x203040},
    {L"gridColor", 0x506070},  {L"refColor", 0x8090A0},   {L"noiseColor", 0x10E010},
    {L"threshColor", 0x1010E0}, {L"filterColor", 0xE01010}, {L"displaydb", 3}};

const Shown kOddShown = {L"48", L"8192", L"250", L"12.5", L"-30 -- 90 dB", {L"200", L"600", L"1600", L"5000"},
                         {0x203040, 0x506070, 0x8090A0, 0x10E010, 0x1010E0, 0xE01010}};

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

    // Waits until the program's UI thread has handled everything sent so far.
    void settle()
    {
        DWORD_PTR r;
        SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        Sleep(40);
        SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    }

    HWND mainControl(int id, const wchar_t* cls = nullptr) { return findControl(main, id, cls); }

    // The main window rebuilds its lines when the parameter messages posted
    // to it arrive: waits until the control's text holds `part`.
    ::testing::AssertionResult mainTextComes(int id, const wchar_t* part)
    {
        if (waitUntil([&] { return windowText(mainControl(id)).find(part) != std::wstring::npos; },
                      10000, nullptr))
            return ::testing::AssertionSuccess();
        const std::wstring shown = windowText(mainControl(id));
        return ::testing::AssertionFailure()
               << "control " << id << " shows \"" << std::string(shown.begin(), shown.end()) << "\"";
    }

    HWND findConfig(int timeoutMs = 10000)
    {
        return waitForTopLevel(program->pid(), L"P2GUIWindow", L"Configuration", timeoutMs);
    }

    HWND openByButton()
    {
        HWND button = mainControl(kConfigButton, L"Button");
        DWORD_PTR r;
        SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
        cw = findConfig();
        settle();
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
        settle();
    }
    void press(int id) { press(button(id)); }

    void choose(int listId, int index)
    {
        HWND l = list(listId);
        DWORD_PTR r;
        SendMessageTimeoutW(l, CB_SHOWDROPDOWN, TRUE, 0, SMTO_NORMAL, 5000, &r);
        SendMessageTimeoutW(l, CB_SETCURSEL, index, 0, SMTO_NORMAL, 5000, &r);
        SendMessageTimeoutW(l, CB_SHOWDROPDOWN, FALSE, 0, SMTO_NORMAL, 5000, &r);
        settle();
    }

    void setField(int id, const wchar_t* text)
    {
        DWORD_PTR r;
        SendMessageTimeoutW(edit(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                            5000, &r);
        settle();
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

    bool configOpen() { return cw && IsWindow(cw) && IsWindowVisible(cw); }

    // Opens the window anew and reads what it shows: the program's settings.
    Shown reopenAndRead()
    {
        if (configOpen())
            press(kCancel);
        EXPECT_NE(openByButton(), nullptr);
        Shown s = shown();
        press(kCancel);
        return s;
    }

    int registryCount()
    {
        int n = 0;
        for (const wchar_t* name : kSettingNames)
            if (readSettingValue(name) != -1)
                ++n;
        return n;
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
        settle();
    }
    void clickInto(HWND w)
    {
        // Input goes where the user looks: wait until the window is in front.
        HWND top = GetAncestor(w, GA_ROOT);
        waitUntil([top] { return GetForegroundWindow() == top; }, 3000, nullptr);
        RECT r;
        GetWindowRect(w, &r);
        mouseClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    std::unique_ptr<RunningProgram> program;
    HWND main = nullptr;
    HWND cw = nullptr;
    POINT lastClick_{-1, -1};
    DWORD lastClickTime_ = 0;
};

// ----------------------------------------------------------------- opening

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

TEST_F(ConfigProgramTest, ConfigButtonOpensTheWindowCentredWithTheCurrentSettings)
{
    startWith({{L"dbDiff", 125}});
    ASSERT_NE(openByButton(), nullptr);
    expectCentredOver(cw, main);
    EXPECT_EQ(GetWindow(cw, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main));
    EXPECT_EQ(children(cw).size(), 44u);
    Shown expected = kFactory;
    expected.threshold = L"12.5";
    EXPECT_EQ(shown(), expected);
    EXPECT_EQ(listState(list(kFrequencyList)).selection, 2);  // "12" for 12000 Hz
    struct Text {
        int id;
        const wchar_t* text;
    } texts[] = {{101, L"Sampling"},        {102, L"Frequency"},         {104, L"Number of Samples"},
                 {106, L"Integration Level"}, {117, L"Decibels"},       {118, L"Threshold"},
                 {120, L"Display Range"},   {122, L"Display Colors"},    {123, L"Background"},
                 {125, L"Grid Lines"},      {127, L"Reference"},         {129, L"Analysis"},
                 {131, L"Threshold"},       {133, L"Bands"},             {109, L"Band 1"},
                 {110, L"Band 2"},          {111, L"Band 3"},            {135, L"Apply"},
                 {136, L"Save"},            {137, L"Defaults"},          {138, L"Okay"},
                 {139, L"Cancel"},
                 {144, L"Sample window 0.085    Integration Time 1.360 sec"}};
    for (const Text& t : texts)
        EXPECT_EQ(windowText(control(t.id)), t.text) << t.id;

    // The window over the main window, as the user sees it.
    RECT m, c, both;
    GetWindowRect(main, &m);
    GetWindowRect(cw, &c);
    UnionRect(&both, &m, &c);
    writePng(captureScreen(both), screenshotPath(L"config_over_main.png"));
    writePng(captureWindow(cw), screenshotPath(L"config_window_program.png"));

    // Escape closes it; the main window takes the keyboard back on Reference.
    SetForegroundWindow(cw);
    settle();
    ASSERT_TRUE(xdoKey("Escape"));
    settle();
    EXPECT_FALSE(IsWindow(cw));
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_EQ(program->focus(), mainControl(kReferenceButton, L"Button"));
}

TEST_F(ConfigProgramTest, AltCOpensTheWindowToo)
{
    startWith();
    SetForegroundWindow(main);
    settle();
    ASSERT_TRUE(xdoKey("alt+c"));
    cw = findConfig();
    ASSERT_NE(cw, nullptr);
    settle();
    expectCentredOver(cw, main);
    EXPECT_EQ(shown(), kFactory);
    press(kCancel);
    EXPECT_FALSE(IsWindow(cw));
    EXPECT_TRUE(IsWindowEnabled(main));
}

// ------------------------------------------------- apply, okay, save, close

TEST_F(ConfigProgramTest, ApplyChangesTheSettingsAndKeepsTheWindowOpen)
{
    startWith();
    openByButton();
    choose(kFrequencyList, 4);  // 48 kHz
    setField(kThresholdField, L"7.5");
    setField(kBandField0 + 3, L"9000");
    // The line follows the list at once; the main window does not yet.
    EXPECT_EQ(windowText(control(144)), L"Sample window 0.021    Integration Time 0.336 sec");
    EXPECT_EQ(windowText(mainControl(kMainSampleLine)).find(L"0.021"), std::wstring::npos);
    press(kApply);
    EXPECT_TRUE(configOpen());
    EXPECT_TRUE(mainTextComes(kMainSampleLine, L"0.021"));
    EXPECT_TRUE(mainTextComes(kMainBandLine, L"1500 - 9000"));
    Shown expected = kFactory;
    expected.frequency = L"48";
    expected.threshold = L"7.5";
    expected.bands[3] = L"9000";
    EXPECT_EQ(reopenAndRead(), expected);
    EXPECT_EQ(registryCount(), 0);
}

TEST_F(ConfigProgramTest, OkayAppliesClosesAndWritesNoRegistryValue)
{
    startWith();
    openByButton();
    choose(kSamplesList, 1);  // 2048
    choose(kRangeList, 1);    // 40 -- 100 dB
    press(kOkay);
    EXPECT_FALSE(IsWindow(cw));
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_EQ(registryCount(), 0);
    Shown expected = kFactory;
    expected.samples = L"2048";
    expected.range = L"40 -- 100 dB";
    EXPECT_EQ(reopenAndRead(), expected);
    // Closing the program stores its place, and still none of the settings.
    ASSERT_TRUE(program->close());
    EXPECT_EQ(registryCount(), 0);
    EXPECT_NE(readSettingValue(L"XPos"), -1);
}

TEST_F(ConfigProgramTest, SaveWritesAllFifteenValuesAndCloses)
{
    startWith();
    openByButton();
    choose(kFrequencyList, 3);  // 24 kHz
    choose(kLevelList, 10);     // 1000
    setField(kThresholdField, L"33.3");
    setField(kBandField0, L"50");
    press(kSave);
    EXPECT_FALSE(IsWindow(cw));
    const long long expected[15] = {24000, 1024, 1000, 50, 500, 1500, 4000, 333,
                                    0x808080, 0xFFFF00, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 1};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(readSettingValue(kSettingNames[i]), expected[i]) << i;
    // A new start of the program comes back with them.
    ASSERT_TRUE(program->close());
    program.reset();
    startWith();
    openByButton();
    EXPECT_EQ(selected(kFrequencyList), L"24");
    EXPECT_EQ(selected(kLevelList), L"1000");
    EXPECT_EQ(windowText(edit(kThresholdField)), L"33.3");
    EXPECT_EQ(windowText(edit(kBandField0)), L"50");
}

// Whatever the window accepts and Save writes comes back exactly at the next
// start: limits above 6000 Hz at 48 kHz, equal neighbours, a threshold of
// 0.0 and black.
TEST_F(ConfigProgramTest, EverythingSavedComesBackExactlyAtTheNextStart)
{
    startWith();
    openByButton();
    choose(kFrequencyList, 4);  // 48 kHz
    setBands(L"100", L"1500", L"1500", L"8000");
    setField(kThresholdField, L"0.0");
    {
        DialogDriver driver(program->pid(), [](HWND d) {
            for (int k = 0; k < 3; ++k) {
                DWORD_PTR r;
                SendMessageTimeoutW(GetDlgItem(d, 706 + k), WM_SETTEXT, 0,
                                    reinterpret_cast<LPARAM>(L"0"), SMTO_NORMAL, 5000, &r);
            }
            Sleep(100);
            pressDialogButton(d, IDOK);
        });
        clickInto(control(kSwatch0 + 2 * 2));  // the Reference colour
        driver.join();
        ASSERT_TRUE(driver.seen());
    }
    settle();
    press(kSave);
    ASSERT_FALSE(IsWindow(cw));
    EXPECT_TRUE(mainTextComes(kMainBandLine, L"1500 - 1500, 1500 - 8000"));
    const std::wstring bandLine = windowText(mainControl(kMainBandLine));

    ASSERT_TRUE(program->close());
    program.reset();
    startWith();
    EXPECT_EQ(windowText(mainControl(kMainBandLine)), bandLine) << "the band line at the next start";
    Shown expected = kFactory;
    expected.frequency = L"48";
    expected.bands = {L"100", L"1500", L"1500", L"8000"};
    expected.threshold = L"0.0";
    expected.colours[2] = RGB(0, 0, 0);
    EXPECT_EQ(reopenAndRead(), expected);
}

TEST_F(ConfigProgramTest, CancelEscapeAndTheCloseBoxChangeNothing)
{
    startWith(kOdd);
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        openByButton();
        choose(kFrequencyList, 0);
        choose(kRangeList, 0);
        setField(kThresholdField, L"1.0");
        setBands(L"1", L"2", L"3", L"4");
        if (how == 0) {
            press(kCancel);
        } else if (how == 1) {
            clickInto(edit(kBandField0 + 1));
            ASSERT_TRUE(xdoKey("Escape"));
            settle();
        } else {
            // The close box, clicked with the mouse where the window says it is.
            RECT r;
            GetWindowRect(cw, &r);
            POINT hit{-1, -1};
            for (int x = r.right - 2; x > r.right - 60 && hit.x < 0; --x)
                for (int y = r.top + 2; y < r.top + 30 && hit.x < 0; ++y) {
                    DWORD_PTR code = 0;
                    SendMessageTimeoutW(cw, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_NORMAL, 2000, &code);
                    if (code == HTCLOSE)
                        hit = {x - 4, y + 3};
                }
            ASSERT_GE(hit.x, 0) << "no close box found";
            mouseClick(hit.x, hit.y);
        }
        EXPECT_FALSE(IsWindow(cw));
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(reopenAndRead(), kOddShown);
    }
    clearSettings();
    ASSERT_TRUE(program->close());
    EXPECT_EQ(registryCount(), 0);
}

TEST_F(ConfigProgramTest, DefaultsThenCancelKeepsDefaultsThenApplyResets)
{
    startWith(kOdd);
    openByButton();
    EXPECT_EQ(shown(), kOddShown);
    press(kDefaults);
    EXPECT_EQ(shown(), kFactory);  // in the window only
    press(kCancel);
    EXPECT_EQ(reopenAndRead(), kOddShown);

    openByButton();
    press(kDefaults);
    press(kApply);
    EXPECT_EQ(reopenAndRead(), kFactory);
    EXPECT_EQ(readSettingValue(L"SampFrq"), 48000);  // the registry keeps the saved ones
    EXPECT_EQ(readSettingValue(L"backColor"), 0x203040);
}

// -------------------------------------------------------------- band check

TEST_F(ConfigProgramTest, BandLimitsInAndOutOfOrder)
{
    startWith();
    openByButton();
    setBands(L"100", L"500", L"500", L"4000");
    press(kApply);
    EXPECT_TRUE(mainTextComes(kMainBandLine, L"500 - 500"));

    setBands(L"100", L"600", L"500", L"4000");
    BoxContents box;
    {
        DialogDriver driver(program->pid(), readBoxAndPressOk(&box));
        press(kApply);
        driver.join();
    }
    EXPECT_EQ(box.caption, L"Invalid Data");
    EXPECT_EQ(box.text, L"Band data is not sequential.\n\nChange and re-apply or cancel.");
    EXPECT_EQ(box.owner, cw);
    EXPECT_TRUE(configOpen());
    EXPECT_EQ(windowText(edit(kBandField0 + 1)), L"600");
    Shown expected = kFactory;
    expected.bands = {L"100", L"500", L"500", L"4000"};
    EXPECT_EQ(reopenAndRead(), expected);

    // Save with the same mistake: no box answered by Save, no registry, open.
    openByButton();
    setBands(L"100", L"600", L"500", L"4000");
    {
        BoxContents again;
        DialogDriver driver(program->pid(), readBoxAndPressOk(&again));
        press(kSave);
        driver.join();
        EXPECT_EQ(again.caption, L"Invalid Data");
    }
    EXPECT_TRUE(configOpen());
    EXPECT_EQ(registryCount(), 0);
    press(kCancel);
}

// ------------------------------------------------------------- the keyboard

TEST_F(ConfigProgramTest, TypingTheThreshold)
{
    startWith();
    openByButton();
    HWND t = edit(kThresholdField);
    clickInto(t);
    ASSERT_EQ(program->focus(), t);
    ASSERT_TRUE(xdoKey("End shift+Home"));
    ASSERT_TRUE(xdoType("7.25"));
    settle();
    EXPECT_EQ(windowText(t), L"7.25");
    ASSERT_TRUE(xdoKey("x period minus"));  // each taken back at once
    settle();
    EXPECT_EQ(windowText(t), L"7.25");
    ASSERT_TRUE(xdoKey("Return"));  // Enter in a field is Okay
    settle();
    EXPECT_FALSE(IsWindow(cw));
    openByButton();
    EXPECT_EQ(windowText(edit(kThresholdField)), L"7.2");  // 72 tenths

    t = edit(kThresholdField);
    clickInto(t);
    ASSERT_TRUE(xdoKey("End shift+Home BackSpace"));
    settle();
    EXPECT_EQ(windowText(t), L"");
    press(kApply);
    EXPECT_EQ(reopenAndRead().threshold, L"0.0");
}

TEST_F(ConfigProgramTest, TabAndSpaceReachTheButtons)
{
    startWith();
    openByButton();
    clickInto(edit(kBandField0 + 3));
    setField(kThresholdField, L"4.5");
    // From the last band field, Tab goes to Apply; Space presses it.
    ASSERT_TRUE(xdoKey("Tab"));
    settle();
    EXPECT_EQ(program->focus(), button(kApply));
    ASSERT_TRUE(xdoKey("space"));
    settle();
    EXPECT_TRUE(configOpen());
    ASSERT_TRUE(xdoKey("Tab Tab Tab Tab"));  // Save, Defaults, Okay, Cancel
    settle();
    EXPECT_EQ(program->focus(), button(kCancel));
    ASSERT_TRUE(xdoKey("Return"));
    settle();
    EXPECT_FALSE(IsWindow(cw));
    EXPECT_EQ(reopenAndRead().threshold, L"4.5");
}

// ------------------------------------------------------ during a measurement

TEST_F(ConfigProgramTest, NewSamplingStopsARunningMeasurementButThresholdDoesNot)
{
    startWith();
    HWND pause = mainControl(kPauseButton, L"Button");
    HWND progress = mainControl(kProgress);
    press(mainControl(kReferenceButton, L"Button"));
    ASSERT_TRUE(waitUntil([&] { return IsWindowEnabled(pause) != FALSE; }, 10000, nullptr))
        << "the measurement did not start";

    openByButton();
    setField(kThresholdField, L"2.0");
    choose(kRangeList, 2);
    // Apply returns once the program has handled it (and the engine any
    // stop it asked for); the window then takes what the engine wrote
    // before it answers the settle.
    press(kApply);
    settle();
    EXPECT_TRUE(IsWindowEnabled(pause)) << "threshold and range alone stopped the measurement";

    choose(kFrequencyList, 3);  // 24 kHz
    press(kApply);
    EXPECT_TRUE(waitUntil([&] { return !IsWindowEnabled(pause); }, 5000, nullptr))
        << "new sampling did not stop the measurement";
    settle();
    EXPECT_FALSE(IsWindowVisible(progress));
    EXPECT_FALSE(IsWindowEnabled(mainControl(kAnalyzeButton, L"Button")));
    press(kCancel);
    EXPECT_TRUE(mainTextComes(kMainSampleLine, L"0.042"));
}

// ----------------------------------------------------------------- colours

TEST_F(ConfigProgramTest, ColourDialogCancelledOrPickedAndTheGraphOnApply)
{
    startWith();
    openByButton();
    // Cancelled: the field keeps its grey.
    {
        DialogDriver driver(program->pid(), [](HWND d) { pressDialogButton(d, IDCANCEL); });
        clickInto(control(kSwatch0));
        driver.join();
        ASSERT_TRUE(driver.seen());
    }
    settle();
    EXPECT_EQ(swatchColour(0), RGB(128, 128, 128));

    // Picked: shows at once in the field, reaches the graph on Apply.
    const COLORREF picked = RGB(40, 90, 160);
    {
        DialogDriver driver(program->pid(), [picked](HWND d) {
            const std::wstring v[3] = {std::to_wstring(GetRValue(picked)),
                                       std::to_wstring(GetGValue(picked)),
                                       std::to_wstring(GetBValue(picked))};
            for (int k = 0; k < 3; ++k) {
                DWORD_PTR r;
                SendMessageTimeoutW(GetDlgItem(d, 706 + k), WM_SETTEXT, 0,
                                    reinterpret_cast<LPARAM>(v[k].c_str()), SMTO_NORMAL, 5000, &r);
            }
            Sleep(100);
            pressDialogButton(d, IDOK);
        });
        clickInto(control(kSwatch0));
        driver.join();
        ASSERT_TRUE(driver.seen());
    }
    settle();
    EXPECT_EQ(swatchColour(0), picked);
    HWND graph = mainControl(kGraph);
    RECT g;
    GetWindowRect(graph, &g);
    auto graphCorner = [&] {
        const Picture p = captureScreen(g);
        return p.at(6, 6);
    };
    EXPECT_EQ(graphCorner(), RGB(128, 128, 128));
    press(kApply);
    EXPECT_TRUE(waitUntil([&] { return graphCorner() == picked; }, 5000, nullptr))
        << "the graph did not take the new colour";
    press(kCancel);
    EXPECT_EQ(graphCorner(), picked);
}

// -------------------------------------------------------------------- leaks

TEST_F(ConfigProgramTest, RepeatedOpenAndCloseLeavesHandlesAndWindowsAsTheyWere)
{
    startWith();
    const DWORD pid = program->pid();
    HWND configButton = mainControl(kConfigButton, L"Button");
    auto cycle = [&] {
        DWORD_PTR r;
        SendMessageTimeoutW(configButton, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
        HWND c = findConfig(5000);
        ASSERT_NE(c, nullptr);
        SendMessageTimeoutW(findControl(c, kCancel, L"Button"), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
        ASSERT_FALSE(IsWindow(c));
    };
    for (int i = 0; i < 20; ++i)
        cycle();
    settle();
    const int kernel0 = kernelHandleCount(pid);
    const int windows0 = windowCount(pid);
    ASSERT_GT(kernel0, 0);
    // A leak of one handle or window a cycle would be thirty, well over the
    // margin.
    constexpr int kCycles = 30;
    for (int i = 0; i < kCycles && !HasFatalFailure(); ++i)
        cycle();
    settle();
    const int kernel1 = kernelHandleCount(pid);
    const int windows1 = windowCount(pid);
    std::printf("qx700.exe, %d open/close cycles: kernel handles %d -> %d, windows %d -> %d\n",
                kCycles, kernel0, kernel1, windows0, windows1);
    EXPECT_LE(kernel1 - kernel0, 2);
    EXPECT_EQ(windows1, windows0);

    // The count sees handles that the program holds: as many put into it as
    // there were cycles are seen.
    HANDLE target = OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid);
    ASSERT_NE(target, nullptr);
    std::vector<HANDLE> placed;
    for (int i = 0; i < kCycles; ++i) {
        HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE there = nullptr;
        DuplicateHandle(GetCurrentProcess(), e, target, &there, 0, FALSE,
                        DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE);
        placed.push_back(there);
    }
    const int kernel2 = kernelHandleCount(pid);
    EXPECT_GE(kernel2 - kernel1, kCycles);
    for (HANDLE h : placed) {
        HANDLE back = nullptr;
        DuplicateHandle(target, h, GetCurrentProcess(), &back, 0, FALSE,
                        DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE);
        CloseHandle(back);
    }
    CloseHandle(target);
    EXPECT_LE(kernelHandleCount(pid) - kernel1, 2);
}

}  // namespace
