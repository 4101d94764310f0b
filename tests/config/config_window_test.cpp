// The configuration window in a test host: a stand-in main window with the
// real parameter store, the real audio engine's notify and the real registry.
// The window is driven as a user drives it: buttons clicked, keys typed,
// lists opened and closed, the system's colour dialog and message boxes
// answered from a second thread. Expected layouts and values are written out
// here from the window's description, not taken from its code.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "ConfigHost.h"
#include "ConfigTestSupport.h"
#include "Layouts.h"
#include "app/UiThread.h"
#include "gui/GuiDpi.h"

namespace {

using Event = ConfigHost::Event;

// Control ids.
constexpr int kFrequencyList = 103, kSamplesList = 105, kLevelList = 107;
constexpr int kThresholdField = 119, kRangeList = 121;
constexpr int kBandField0 = 113;
constexpr int kSwatch0 = 124;  // 124, 126, .. 134
constexpr int kApply = 135, kSave = 136, kDefaults = 137, kOkay = 138, kCancel = 139;
constexpr int kSampleLine = 144;

using Snapshot = std::array<int, 100>;

Snapshot snapshot(ParameterStore& s)
{
    Snapshot out{};
    for (int id = 0; id < 100; ++id)
        out[id] = s.get(id);
    return out;
}

// Parameters whose values differ, leaving out the GDI handle slots (27..52,
// 73), which Apply always renews through setColours.
std::set<int> changed(const Snapshot& a, const Snapshot& b)
{
    std::set<int> out;
    for (int id = 0; id < 100; ++id) {
        if ((id >= 27 && id <= 52) || id == 73)
            continue;
        if (a[id] != b[id])
            out.insert(id);
    }
    return out;
}

class ConfigWindowTest : public ::testing::Test {
protected:
    void SetUp() override { clearSettings(); }
    void TearDown() override
    {
        host.reset();
        clearSettings();
    }

    // Seeds the registry so that the engine loads these settings, then makes
    // the host and opens the window.
    void openWith(const std::vector<std::pair<const wchar_t*, DWORD>>& settings = {})
    {
        for (const auto& s : settings)
            writeSettingValue(s.first, s.second);
        host = std::make_unique<ConfigHost>();
        ASSERT_TRUE(host->open());
        cw = host->configWindow();
        ASSERT_NE(cw, nullptr);
        host->clearLog();
    }

    HWND control(int id, const wchar_t* cls = nullptr) { return findControl(cw, id, cls); }
    HWND list(int id) { return control(id, L"ComboBox"); }
    HWND edit(int id) { return control(id, L"Edit"); }
    std::vector<std::wstring> bandTexts()
    {
        std::vector<std::wstring> out;
        for (int i = 0; i < 4; ++i)
            out.push_back(windowText(edit(kBandField0 + i)));
        return out;
    }
    HWND button(int id) { return control(id, L"Button"); }
    HWND swatch(int i) { return control(kSwatch0 + 2 * i); }

    void click(int id)
    {
        HWND b = button(id);
        ASSERT_NE(b, nullptr) << id;
        PostMessageW(b, BM_CLICK, 0, 0);
        host->pump();
    }

    void setField(int id, const wchar_t* text)
    {
        SendMessageW(edit(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    void setBands(const wchar_t* a, const wchar_t* b, const wchar_t* c, const wchar_t* d)
    {
        setField(kBandField0, a);
        setField(kBandField0 + 1, b);
        setField(kBandField0 + 2, c);
        setField(kBandField0 + 3, d);
    }

    // Opens the drop-down list, moves to the entry and closes it again, as a
    // mouse user does; the list reports its closing.
    void choose(int listId, const wchar_t* text)
    {
        HWND l = list(listId);
        SendMessageW(l, CB_SHOWDROPDOWN, TRUE, 0);
        const LRESULT index = SendMessageW(l, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(text));
        ASSERT_NE(index, CB_ERR) << "no entry " << std::string(text, text + wcslen(text));
        SendMessageW(l, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(l, CB_SHOWDROPDOWN, FALSE, 0);
        host->pump();
    }

    std::wstring selectedText(int listId)
    {
        const ListState s = listState(list(listId));
        return s.selection >= 0 ? s.texts[s.selection] : L"<none>";
    }

    bool isOpen() const { return host->configWindow() != nullptr && IsWindow(cw); }

    // Focuses a control and gives the window the keyboard.
    void focus(HWND w)
    {
        SetForegroundWindow(cw);
        SetFocus(w);
        host->pump(10);
        ASSERT_EQ(GetFocus(), w);
    }

    void keys(WORD vk)
    {
        pressKey(vk);
        host->pump();
    }

    std::unique_ptr<ConfigHost> host;
    HWND cw = nullptr;
};

// ------------------------------------------------------------------ layout

using ExpectedChild = qxsupport::LayoutPlace;

const auto& kLayout = qxsupport::kConfigWindowLayout;
using qxsupport::containerHeight;

TEST_F(ConfigWindowTest, WindowIsOwnedCentredAndFixedInSize)
{
    openWith();
    EXPECT_EQ(windowText(cw), L"Configuration");
    EXPECT_EQ(classNameOf(cw), L"P2GUIWindow");
    RECT r;
    GetWindowRect(cw, &r);
    EXPECT_EQ(r.right - r.left, 315);
    EXPECT_EQ(r.bottom - r.top, 613);
    const LONG style = GetWindowLongW(cw, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(cw));
    EXPECT_EQ(GetWindow(cw, GW_OWNER), host->window());
    EXPECT_FALSE(IsWindowEnabled(host->window()));
    RECT m;
    GetWindowRect(host->window(), &m);
    EXPECT_EQ(r.left, m.left + ((m.right - m.left) - 315) / 2);
    EXPECT_EQ(r.top, m.top + ((m.bottom - m.top) - 613) / 2);
}

TEST_F(ConfigWindowTest, EveryControlInCreationOrderWithPlaceIdAndCaption)
{
    openWith();
    const std::vector<HWND> kids = children(cw);
    ASSERT_EQ(kids.size(), sizeof kLayout / sizeof kLayout[0]);
    for (size_t i = 0; i < kids.size(); ++i) {
        const ExpectedChild& e = kLayout[i];
        SCOPED_TRACE("child " + std::to_string(i + 1) + " id " + std::to_string(e.id));
        HWND k = kids[i];
        EXPECT_EQ(GetDlgCtrlID(k), e.id);
        EXPECT_EQ(classNameOf(k), L"P2GUIWindow");
        const RECT r = rectInParent(k);
        EXPECT_EQ(r.left, e.x);
        EXPECT_EQ(r.top, e.y);
        EXPECT_EQ(r.right - r.left, e.w);
        EXPECT_EQ(r.bottom - r.top, containerHeight(k, e.h));
        EXPECT_TRUE(IsWindowVisible(k));
        HWND textWindow = k;
        if (e.inner) {
            HWND inner = GetWindow(k, GW_CHILD);
            ASSERT_NE(inner, nullptr);
            EXPECT_EQ(_wcsicmp(classNameOf(inner).c_str(), e.inner), 0);
            EXPECT_EQ(GetDlgCtrlID(inner), e.id - 10000);
            EXPECT_TRUE(GetWindowLongW(inner, GWL_STYLE) & WS_TABSTOP);
            textWindow = inner;
        }
        if (e.text) {
            EXPECT_EQ(windowText(textWindow), e.text);
        }
    }
    // Swatches are bordered windows; the separators and labels are not.
    EXPECT_TRUE(GetWindowLongW(kids[16], GWL_STYLE) & WS_BORDER);
    EXPECT_FALSE(GetWindowLongW(kids[7], GWL_STYLE) & WS_BORDER);

    // Edit fields: right-aligned, scrolling, five characters; band limits
    // take digits only.
    const LONG threshold = GetWindowLongW(edit(kThresholdField), GWL_STYLE);
    EXPECT_EQ(threshold & (ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER), ES_RIGHT | ES_AUTOHSCROLL);
    EXPECT_EQ(SendMessageW(edit(kThresholdField), EM_GETLIMITTEXT, 0, 0), 5);
    for (int k = 0; k < 4; ++k) {
        const LONG s = GetWindowLongW(edit(kBandField0 + k), GWL_STYLE);
        EXPECT_EQ(s & (ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER), ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER);
        EXPECT_EQ(SendMessageW(edit(kBandField0 + k), EM_GETLIMITTEXT, 0, 0), 5);
    }
    for (int id : {kFrequencyList, kSamplesList, kLevelList, kRangeList})
        EXPECT_EQ(GetWindowLongW(list(id), GWL_STYLE) & 3, CBS_DROPDOWNLIST) << id;
    for (int id : {kApply, kSave, kDefaults, kOkay, kCancel})
        EXPECT_EQ(GetWindowLongW(button(id), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << id;
}

// On a monitor of another DPI (WM_DPICHANGED) every control sits at its
// layout place scaled, inside the client area (the Okay/Cancel row too), with
// its text fitting at the new font; back at 96 DPI all is as it was.
TEST_F(ConfigWindowTest, ChangingTheDpiScalesTheWholeLayoutAndBackExactly)
{
    openWith();
    const std::vector<HWND> kids = children(cw);
    ASSERT_EQ(kids.size(), sizeof kLayout / sizeof kLayout[0]);
    RECT client96{};
    GetClientRect(cw, &client96);
    auto changeDpi = [&](int dpi) {
        RECT suggested{};
        GetWindowRect(cw, &suggested);
        OffsetRect(&suggested, -suggested.left, -suggested.top);
        SendMessageW(cw, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        host->pump();
    };
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        changeDpi(dpi);
        RECT client{};
        GetClientRect(cw, &client);
        EXPECT_EQ(client.right, GuiDpi::scale(client96.right, dpi));
        EXPECT_EQ(client.bottom, GuiDpi::scale(client96.bottom, dpi));
        for (size_t i = 0; i < kids.size(); ++i) {
            const ExpectedChild& e = kLayout[i];
            SCOPED_TRACE(e.id);
            const RECT r = rectInParent(kids[i]);
            EXPECT_EQ(r.left, GuiDpi::scale(e.x, dpi));
            EXPECT_EQ(r.top, GuiDpi::scale(e.y, dpi));
            EXPECT_EQ(r.right - r.left, GuiDpi::scale(e.w, dpi));
            EXPECT_EQ(r.bottom - r.top, containerHeight(kids[i], GuiDpi::scale(e.h, dpi)));
            EXPECT_GE(r.left, 0);
            EXPECT_LE(r.right, client.right);
            EXPECT_LE(r.bottom, client.bottom);
            // Text drawn by the toolkit fits at the font it draws with.
            const std::wstring t = windowText(kids[i]);
            auto font = reinterpret_cast<HFONT>(SendMessageW(kids[i], WM_GETFONT, 0, 0));
            if (e.inner || t.empty())
                continue;
            ASSERT_NE(font, nullptr);
            HDC dc = GetDC(kids[i]);
            HGDIOBJ old = SelectObject(dc, font);
            SIZE extent{};
            GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(kids[i], dc);
            EXPECT_LE(extent.cx, r.right - r.left) << std::string(t.begin(), t.end());
            EXPECT_LE(extent.cy, r.bottom - r.top) << std::string(t.begin(), t.end());
        }
        // The edit fields and lists took the font of the new DPI.
        LOGFONTW lf{};
        auto editFont = reinterpret_cast<HFONT>(SendMessageW(edit(kThresholdField), WM_GETFONT, 0, 0));
        ASSERT_NE(editFont, nullptr);
        GetObjectW(editFont, sizeof lf, &lf);
        // 14 pixels at 96 DPI, scaled, and lowered by at most a seventh where
        // the glyphs would otherwise grow wider than the layout.
        EXPECT_LE(std::abs(lf.lfHeight), GuiDpi::scale(14, dpi));
        EXPECT_GE(std::abs(lf.lfHeight), GuiDpi::scale(14, dpi) * 6 / 7);
        if (dpi == 192)
            writePng(captureWindow(cw), screenshotPath(L"config_inprocess_dpi192.png"));
    }
    changeDpi(96);
    RECT client{};
    GetClientRect(cw, &client);
    EXPECT_TRUE(EqualRect(&client, &client96));
    for (size_t i = 0; i < kids.size(); ++i) {
        const RECT r = rectInParent(kids[i]);
        EXPECT_EQ(r.left, kLayout[i].x);
        EXPECT_EQ(r.top, kLayout[i].y);
        EXPECT_EQ(r.right - r.left, kLayout[i].w);
        EXPECT_EQ(r.bottom - r.top, containerHeight(kids[i], kLayout[i].h));
    }
}

TEST_F(ConfigWindowTest, ListsHoldTheirEntriesAndSelectTheCurrentSettings)
{
    openWith({{L"SampFrq", 12000}, {L"NumSamples", 4096}, {L"displaydb", 3}});
    struct Case {
        int id;
        std::vector<std::wstring> texts;
        std::vector<long long> data;
        int selection;
    } const cases[] = {
        {kFrequencyList, {L"4", L"8", L"12", L"24", L"48"}, {4000, 8000, 12000, 24000, 48000}, 2},
        {kSamplesList, {L"1024", L"2048", L"4096", L"8192", L"16384"}, {1024, 2048, 4096, 8192, 16384}, 2},
        {kLevelList,
         {L"1", L"2", L"4", L"8", L"16", L"32", L"64", L"100", L"250", L"500", L"1000"},
         {1, 2, 4, 8, 16, 32, 64, 100, 250, 500, 1000},
         4},  // 16, the factory value
        {kRangeList, {L"0 -- 120 dB", L"40 -- 100 dB", L"-30 -- 90 dB"}, {1, 2, 3}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const ListState l = listState(list(c.id));
        EXPECT_EQ(l.texts, c.texts);
        EXPECT_EQ(l.data, c.data);
        EXPECT_EQ(l.selection, c.selection);
    }
    // 4096 samples at 12000 Hz: 341 ms, 16 times: 5.456 s.
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.341    Integration Time 5.456 sec");
}

TEST_F(ConfigWindowTest, FieldsShowTheSettingsAndAnUnlistedLevelSelectsNothing)
{
    openWith({{L"dbDiff", 125}, {L"Filter0", 50}, {L"Filter1", 60}, {L"Filter2", 700},
              {L"Filter3", 5000}});
    EXPECT_EQ(windowText(edit(kThresholdField)), L"12.5");
    EXPECT_EQ(bandTexts(), (std::vector<std::wstring>{L"50", L"60", L"700", L"5000"}));

    // An integration level that no entry offers (only possible from inside
    // the program): the list opens without selection, and Apply keeps it.
    host->store().set(Param::IntLvl, 3);
    host->store().set(Param::Filter3, 4000);  // what 8000 Hz can measure
    host->store().set(Param::SampFrq, 8000);
    host->store().set(Param::NumSamples, 2048);
    ASSERT_TRUE(host->open());
    cw = host->configWindow();
    EXPECT_EQ(listState(list(kLevelList)).selection, -1);
    EXPECT_EQ(selectedText(kFrequencyList), L"8");
    // 2048 / 8000 s = 256 ms; three times 0.768 s.
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.256    Integration Time 0.768 sec");
    host->clearLog();
    click(kApply);
    EXPECT_EQ(host->store().get(Param::IntLvl), 3);
    EXPECT_EQ(host->codes(), std::vector<int>{});  // nothing changed: no stop request
}

// ----------------------------------------------------------- sample window

TEST_F(ConfigWindowTest, SampleWindowLineFollowsTheListsBeforeApply)
{
    openWith();
    choose(kFrequencyList, L"48");
    // 1024 / 48000 s = 21 ms; 16 times 0.336 s.
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.021    Integration Time 0.336 sec");
    choose(kSamplesList, L"16384");
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.341    Integration Time 5.456 sec");
    choose(kLevelList, L"1000");
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.341    Integration Time 341.000 sec");
    // Nothing has reached the store.
    EXPECT_EQ(host->store().get(Param::SampFrq), 12000);
    EXPECT_EQ(host->store().get(Param::NumSamples), 1024);
    EXPECT_EQ(host->store().get(Param::IntLvl), 16);
    EXPECT_TRUE(host->writes().empty());
}

// ------------------------------------------------------------------- apply

TEST_F(ConfigWindowTest, ApplyWithoutChangesWritesNoSettingAndStopsNothing)
{
    openWith();
    const Snapshot before = snapshot(host->store());
    click(kApply);
    EXPECT_TRUE(isOpen());
    EXPECT_TRUE(changed(before, snapshot(host->store())).empty());
    EXPECT_EQ(host->codes(), std::vector<int>{});
    for (int id : host->writes())
        EXPECT_TRUE(id >= 27 && id <= 32) << "announced " << id;  // only renewed GDI objects

    host->clearLog();
    click(kApply);
    for (int id : host->writes())
        EXPECT_TRUE(id >= 27 && id <= 32) << "second apply announced " << id;
}

TEST_F(ConfigWindowTest, ApplyWithNewSamplingStopsTheMeasurementBeforeAnyWrite)
{
    openWith();
    const Snapshot before = snapshot(host->store());
    choose(kFrequencyList, L"24");
    choose(kLevelList, L"64");
    host->clearLog();
    click(kApply);
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(host->codes(), std::vector<int>{201});
    const int stop = host->firstIndex(Event::Notify, 201);
    ASSERT_GE(stop, 0);
    EXPECT_LT(stop, host->firstWriteIndex());
    EXPECT_EQ(changed(before, snapshot(host->store())), (std::set<int>{Param::SampFrq, Param::IntLvl}));
    EXPECT_EQ(host->store().get(Param::SampFrq), 24000);
    EXPECT_EQ(host->store().get(Param::IntLvl), 64);
    EXPECT_EQ(settingValueCount(), 0) << "Apply saves nothing";
    // Writes in their order: colours first, then 3 before 7.
    EXPECT_LT(host->firstIndex(Event::Write, Param::BackBrush), host->firstIndex(Event::Write, 3));
    EXPECT_LT(host->firstIndex(Event::Write, 3), host->firstIndex(Event::Write, 7));
}

TEST_F(ConfigWindowTest, ApplyWithNewBandLimitStopsTheMeasurementToo)
{
    openWith();
    setBands(L"100", L"500", L"1500", L"3000");
    click(kApply);
    EXPECT_EQ(host->codes(), std::vector<int>{201});
    EXPECT_LT(host->firstIndex(Event::Notify, 201), host->firstWriteIndex());
    EXPECT_EQ(host->store().get(Param::Filter3), 3000);
}

TEST_F(ConfigWindowTest, ThresholdRangeAndColoursApplyWithoutStoppingTheMeasurement)
{
    openWith();
    const Snapshot before = snapshot(host->store());
    setField(kThresholdField, L"7.25");
    choose(kRangeList, L"40 -- 100 dB");
    host->config()->setSwatchColour(0, RGB(10, 20, 30));
    host->clearLog();
    click(kApply);
    EXPECT_EQ(host->codes(), std::vector<int>{});
    EXPECT_EQ(changed(before, snapshot(host->store())),
              (std::set<int>{Param::BackColor, Param::DbDiff, Param::DisplayDb}));
    EXPECT_EQ(host->store().get(Param::DbDiff), 72);  // 7.25 dB in whole tenths
    EXPECT_EQ(host->store().get(Param::DisplayDb), 2);
    EXPECT_EQ(host->store().get(Param::BackColor), static_cast<int>(RGB(10, 20, 30)));
    LOGBRUSH lb{};
    GetObjectW(host->store().handle<HGDIOBJ>(Param::BackBrush), sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, RGB(10, 20, 30));
    // setColours comes first, then threshold before display range.
    EXPECT_LT(host->firstIndex(Event::Write, Param::BackColor),
              host->firstIndex(Event::Write, Param::DbDiff));
    EXPECT_LT(host->firstIndex(Event::Write, Param::DbDiff),
              host->firstIndex(Event::Write, Param::DisplayDb));
}

TEST_F(ConfigWindowTest, OkayAppliesAndClosesWithoutTouchingTheRegistry)
{
    openWith();
    choose(kSamplesList, L"2048");
    setField(kThresholdField, L"3.5");
    click(kOkay);
    EXPECT_FALSE(isOpen());
    EXPECT_EQ(host->store().get(Param::NumSamples), 2048);
    EXPECT_EQ(host->store().get(Param::DbDiff), 35);
    EXPECT_EQ(host->codes(), (std::vector<int>{201, 205}));
    EXPECT_EQ(settingValueCount(), 0);
    EXPECT_TRUE(IsWindowEnabled(host->window()));
    EXPECT_EQ(host->closedCount, 1);
}

TEST_F(ConfigWindowTest, SaveAppliesWritesAllFifteenValuesAndCloses)
{
    openWith();
    choose(kFrequencyList, L"48");
    setField(kThresholdField, L"12.5");
    setBands(L"200", L"700", L"2000", L"9000");
    host->config()->setSwatchColour(5, RGB(1, 2, 3));
    click(kSave);
    EXPECT_FALSE(isOpen());
    EXPECT_EQ(host->codes(), (std::vector<int>{201, 202, 205}));
    EXPECT_EQ(settingValueCount(), 16);  // the fifteen and the recording device
    const int ids[15] = {3, 2, 7, 54, 55, 56, 57, 53, 9, 10, 11, 12, 13, 14, 6};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(readSettingValue(kSettingNames[i]), host->store().get(ids[i])) << i;
    EXPECT_EQ(readSettingValue(L"SampFrq"), 48000);
    EXPECT_EQ(readSettingValue(L"dbDiff"), 125);
    EXPECT_EQ(readSettingValue(L"Filter3"), 9000);
    EXPECT_EQ(readSettingValue(L"filterColor"), static_cast<long long>(RGB(1, 2, 3)));
}

TEST_F(ConfigWindowTest, CancelEscapeAndCloseBoxCloseWithoutWriting)
{
    enum How { Cancel, Escape, CloseBox };
    for (How how : {Cancel, Escape, CloseBox}) {
        SCOPED_TRACE(how);
        host.reset();
        openWith();
        const Snapshot before = snapshot(host->store());
        choose(kFrequencyList, L"4");
        setField(kThresholdField, L"9.9");
        setBands(L"1", L"2", L"3", L"4");
        host->config()->setSwatchColour(2, RGB(5, 5, 5));
        host->clearLog();
        if (how == Cancel) {
            click(kCancel);
        } else if (how == Escape) {
            focus(edit(kBandField0 + 2));
            keys(VK_ESCAPE);
        } else {
            // The close box, clicked with the mouse where the window says it is.
            RECT r;
            GetWindowRect(cw, &r);
            POINT hit{-1, -1};
            for (int x = r.right - 2; x > r.right - 60 && hit.x < 0; --x)
                for (int y = r.top + 2; y < r.top + 30 && hit.x < 0; ++y)
                    if (SendMessageW(cw, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE)
                        hit = {x - 4, y + 3};
            ASSERT_GE(hit.x, 0) << "no close box found";
            SetForegroundWindow(cw);
            host->pump(10);
            ASSERT_TRUE(qxsupport::xdoClick(hit.x, hit.y));
            waitUntil([&] { return !IsWindow(cw); }, 5000, [&] { host->pump(10, 50); });
        }
        EXPECT_FALSE(isOpen());
        EXPECT_TRUE(changed(before, snapshot(host->store())).empty());
        EXPECT_EQ(host->codes(), std::vector<int>{205});
        EXPECT_TRUE(host->writes().empty());
        EXPECT_EQ(settingValueCount(), 0);
        EXPECT_TRUE(IsWindowEnabled(host->window()));
    }
}

// ---------------------------------------------------------------- defaults

const std::vector<std::pair<const wchar_t*, DWORD>> kOddSettings = {
    {L"SampFrq", 48000},     {L"NumSamples", 8192},   {L"IntLvl", 250},       {L"Filter0", 200},
    {L"Filter1", 600},       {L"Filter2", 1600},      {L"Filter3", 5000},     {L"dbDiff", 125},
    {L"backColor", 0x010203}, {L"gridColor", 0x040506}, {L"refColor", 0x070809},
    {L"noiseColor", 0x0A0B0C}, {L"threshColor", 0x0D0E0F}, {L"filterColor", 0x101112},
    {L"displaydb", 3}};

TEST_F(ConfigWindowTest, DefaultsFillTheControlsOnlyAndCancelKeepsTheSettings)
{
    openWith(kOddSettings);
    clearSettings();
    const Snapshot before = snapshot(host->store());
    ASSERT_EQ(before[Param::SampFrq], 48000);
    const COLORREF saved[6] = {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(host->config()->swatchColour(i), saved[i]) << "opened on the saved colour " << i;
    click(kDefaults);
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(selectedText(kFrequencyList), L"12");
    EXPECT_EQ(selectedText(kSamplesList), L"1024");
    EXPECT_EQ(selectedText(kLevelList), L"16");
    EXPECT_EQ(selectedText(kRangeList), L"0 -- 120 dB");
    EXPECT_EQ(windowText(edit(kThresholdField)), L"5.0");
    EXPECT_EQ(bandTexts(), (std::vector<std::wstring>{L"100", L"500", L"1500", L"4000"}));
    const COLORREF defaults[6] = {RGB(128, 128, 128), RGB(0, 255, 255), RGB(0, 0, 255),
                                  RGB(0, 255, 0),     RGB(255, 0, 0),   RGB(255, 255, 255)};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(host->config()->swatchColour(i), defaults[i]) << i;
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.085    Integration Time 1.360 sec");
    EXPECT_TRUE(host->writes().empty());
    EXPECT_TRUE(host->codes().empty());

    click(kCancel);
    EXPECT_TRUE(changed(before, snapshot(host->store())).empty());
    EXPECT_EQ(host->codes(), std::vector<int>{205});
    EXPECT_EQ(settingValueCount(), 0);
}

TEST_F(ConfigWindowTest, DefaultsThenApplyWritesTheFactoryValues)
{
    openWith(kOddSettings);
    click(kDefaults);
    click(kApply);
    const std::pair<int, int> factory[] = {
        {Param::SampFrq, 12000},      {Param::NumSamples, 1024},   {Param::IntLvl, 16},
        {Param::DisplayDb, 1},        {Param::DbDiff, 50},         {Param::Filter0, 100},
        {Param::Filter1, 500},        {Param::Filter2, 1500},      {Param::Filter3, 4000},
        {Param::BackColor, 0x808080}, {Param::GridColor, 0xFFFF00}, {Param::RefColor, 0xFF0000},
        {Param::NoiseColor, 0x00FF00}, {Param::ThreshColor, 0x0000FF}, {Param::FilterColor, 0xFFFFFF}};
    for (const auto& f : factory)
        EXPECT_EQ(host->store().get(f.first), f.second) << "parameter " << f.first;
    EXPECT_EQ(host->codes(), std::vector<int>{201});
    EXPECT_LT(host->firstIndex(Event::Notify, 201), host->firstWriteIndex());
    // The registry still holds what was there.
    EXPECT_EQ(readSettingValue(L"SampFrq"), 48000);
}

// ------------------------------------------------------------ band check

// Which limits pass is checked in settings_table_test.cpp (BandLimitRuleAndItsTexts).
TEST_F(ConfigWindowTest, BandLimitsOutOfOrderShowInvalidDataAndChangeNothing)
{
    openWith();
    const Snapshot before = snapshot(host->store());
    setBands(L"100", L"600", L"500", L"4000");
    choose(kFrequencyList, L"48");
    BoxContents box;
    {
        DialogDriver driver(GetCurrentProcessId(), [&](HWND b) {
            Picture p = captureWindow(b);
            writePng(p, screenshotPath(L"config_invalid_data.png"));
            readBoxAndPressOk(&box)(b);
        });
        click(kApply);
        driver.join();
        EXPECT_TRUE(driver.seen());
    }
    host->pump();
    EXPECT_EQ(box.caption, L"Invalid Data");
    EXPECT_EQ(box.text, L"Band data is not sequential.\n\nChange and re-apply or cancel.");
    EXPECT_EQ(box.owner, cw);
    EXPECT_TRUE(box.hasIcon);
    EXPECT_TRUE(isOpen());
    EXPECT_TRUE(changed(before, snapshot(host->store())).empty());
    EXPECT_TRUE(host->writes().empty());
    EXPECT_TRUE(host->codes().empty());
    // The user's entries stay as typed.
    EXPECT_EQ(windowText(edit(kBandField0 + 1)), L"600");
    EXPECT_EQ(selectedText(kFrequencyList), L"48");
}

TEST_F(ConfigWindowTest, SaveWithRejectedBandsNeitherWritesNorSavesNorCloses)
{
    openWith();
    const Snapshot before = snapshot(host->store());
    setBands(L"100", L"600", L"500", L"4000");
    {
        BoxContents box;
        DialogDriver driver(GetCurrentProcessId(), readBoxAndPressOk(&box));
        click(kSave);
        driver.join();
        EXPECT_EQ(box.caption, L"Invalid Data");
    }
    host->pump();
    EXPECT_TRUE(isOpen());
    EXPECT_TRUE(changed(before, snapshot(host->store())).empty());
    EXPECT_TRUE(host->codes().empty());
    EXPECT_EQ(settingValueCount(), 0);
}

TEST_F(ConfigWindowTest, TextSetOrPastedIntoABandFieldKeepsItsDigitsOnly)
{
    openWith();
    // Text that bypasses the keyboard is filtered as typed text is.
    setField(kBandField0 + 1, L"5x0");
    setField(kBandField0 + 3, L"3999.9");
    EXPECT_EQ(windowText(edit(kBandField0 + 1)), L"50");
    EXPECT_EQ(windowText(edit(kBandField0 + 3)), L"39999");
    setField(kBandField0 + 1, L"500");
    setField(kBandField0 + 3, L"3,999");
    click(kApply);
    EXPECT_EQ(host->store().get(Param::Filter1), 500);
    EXPECT_EQ(host->store().get(Param::Filter3), 3999);

    // Pasted from the clipboard, as the edit control pastes it.
    ASSERT_TRUE(OpenClipboard(cw));
    EmptyClipboard();
    const wchar_t pasted[] = L"1a5-0x";
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
    memcpy(GlobalLock(memory), pasted, sizeof pasted);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();

    setField(kBandField0, L"");
    SendMessageW(edit(kBandField0), WM_PASTE, 0, 0);
    host->pump();
    EXPECT_EQ(windowText(edit(kBandField0)), L"150");
}

// --------------------------------------------------------- threshold text

TEST_F(ConfigWindowTest, TypingInTheThresholdField)
{
    openWith();
    HWND t = edit(kThresholdField);
    focus(t);
    SendMessageW(t, EM_SETSEL, 0, -1);
    typeText(L"7.25");
    host->pump();
    EXPECT_EQ(windowText(t), L"7.25");
    click(kApply);
    EXPECT_EQ(host->store().get(Param::DbDiff), 72);

    // Emptied: the threshold becomes 0.
    focus(t);
    SendMessageW(t, EM_SETSEL, 0, -1);
    keys(VK_DELETE);
    EXPECT_EQ(windowText(t), L"");
    click(kApply);
    EXPECT_EQ(host->store().get(Param::DbDiff), 0);

    // A letter, a sign, a blank or a second point are taken back.
    focus(t);
    typeText(L"5.0");
    host->pump();
    EXPECT_EQ(windowText(t), L"5.0");
    for (const wchar_t* bad : {L"x", L"-", L".", L",", L" "}) {
        typeText(bad);
        host->pump();
        EXPECT_EQ(windowText(t), L"5.0") << static_cast<char>(bad[0]);
    }
    // The caret stays where the rejected key left it.
    SendMessageW(t, EM_SETSEL, 1, 1);
    typeText(L"q");
    host->pump();
    EXPECT_EQ(windowText(t), L"5.0");
    DWORD start = 0, end = 0;
    SendMessageW(t, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 1u);
    // Typing goes on from there.
    SendMessageW(t, EM_SETSEL, 3, 3);
    typeText(L"5");
    host->pump();
    EXPECT_EQ(windowText(t), L"5.05");
    click(kApply);
    EXPECT_EQ(host->store().get(Param::DbDiff), 50);  // 5.05 dB in whole tenths

    // A comma is a separator too.
    focus(t);
    SendMessageW(t, EM_SETSEL, 0, -1);
    typeText(L"7,5");
    host->pump();
    EXPECT_EQ(windowText(t), L"7,5");
    click(kApply);
    EXPECT_EQ(host->store().get(Param::DbDiff), 75);
}

// How each text parses is checked in config_parse_test.cpp.
TEST_F(ConfigWindowTest, APastedThresholdThatDoesNotParseIsTakenBack)
{
    openWith();
    setField(kThresholdField, L"12.5");
    setField(kThresholdField, L"1.2.3");
    EXPECT_EQ(windowText(edit(kThresholdField)), L"12.5");
    click(kApply);
    EXPECT_EQ(host->store().get(Param::DbDiff), 125);
}

// --------------------------------------------------------------- keyboard

TEST_F(ConfigWindowTest, EnterInAFieldWorksAsOkay)
{
    openWith();
    HWND f = edit(kBandField0 + 3);
    focus(f);
    SendMessageW(f, EM_SETSEL, 0, -1);
    typeText(L"4500");
    host->pump();
    keys(VK_RETURN);
    EXPECT_FALSE(isOpen());
    EXPECT_EQ(host->store().get(Param::Filter3), 4500);
    EXPECT_EQ(host->codes(), (std::vector<int>{201, 205}));
}

TEST_F(ConfigWindowTest, EnterWithBadBandsShowsTheBoxStaysOpenAndGivesTheFocusBack)
{
    openWith();
    setBands(L"100", L"600", L"500", L"4000");
    focus(edit(kBandField0 + 2));
    BoxContents box;
    {
        DialogDriver driver(GetCurrentProcessId(), readBoxAndPressOk(&box));
        pressKey(VK_RETURN);
        host->pump();
        driver.join();
    }
    host->pump();
    EXPECT_EQ(box.caption, L"Invalid Data");
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(host->store().get(Param::Filter1), 500);
    EXPECT_EQ(GetFocus(), edit(kBandField0 + 2)) << "the focus did not come back to the field";
}

TEST_F(ConfigWindowTest, EnterAndSpaceOnAButtonDoWhatTheButtonDoes)
{
    openWith();
    // Apply by Enter: applies and stays open.
    setField(kThresholdField, L"2.5");
    focus(button(kApply));
    keys(VK_RETURN);
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(host->store().get(Param::DbDiff), 25);
    // Apply by Space.
    setField(kThresholdField, L"3.5");
    focus(button(kApply));
    keys(VK_SPACE);
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(host->store().get(Param::DbDiff), 35);
    // Defaults by Space fills the controls.
    focus(button(kDefaults));
    keys(VK_SPACE);
    EXPECT_EQ(windowText(edit(kThresholdField)), L"5.0");
    EXPECT_EQ(host->store().get(Param::DbDiff), 35);
    // Cancel by Enter closes without applying.
    focus(button(kCancel));
    keys(VK_RETURN);
    EXPECT_FALSE(isOpen());
    EXPECT_EQ(host->store().get(Param::DbDiff), 35);
}

TEST_F(ConfigWindowTest, SpaceInAFieldIsNotTypedAndDoesNothing)
{
    openWith();
    HWND t = edit(kThresholdField);
    focus(t);
    SendMessageW(t, EM_SETSEL, 3, 3);
    keys(VK_SPACE);
    EXPECT_EQ(windowText(t), L"5.0");
    EXPECT_TRUE(isOpen());
    EXPECT_TRUE(host->codes().empty());
}

TEST_F(ConfigWindowTest, SaveByEnterOnTheSaveButton)
{
    openWith();
    focus(button(kSave));
    keys(VK_RETURN);
    EXPECT_FALSE(isOpen());
    EXPECT_EQ(host->codes(), (std::vector<int>{202, 205}));
    EXPECT_EQ(settingValueCount(), 16);  // the fifteen and the recording device
}

TEST_F(ConfigWindowTest, TabMovesThroughTheControlsInOrder)
{
    openWith();
    // The lists and the threshold, the six colour fields, the band limits,
    // then the buttons.
    const std::vector<HWND> order = {
        list(kFrequencyList), list(kSamplesList), list(kLevelList), edit(kThresholdField),
        list(kRangeList),     swatch(0),          swatch(1),          swatch(2),
        swatch(3),            swatch(4),          swatch(5),          edit(kBandField0),
        edit(kBandField0 + 1), edit(kBandField0 + 2), edit(kBandField0 + 3), button(kApply),
        button(kSave),        button(kDefaults),  button(kOkay),      button(kCancel)};
    focus(order.front());
    for (size_t i = 1; i < order.size(); ++i) {
        SCOPED_TRACE("Tab to stop " + std::to_string(i) + " id " + std::to_string(GetDlgCtrlID(order[i])));
        keys(VK_TAB);
        EXPECT_EQ(GetFocus(), order[i]);
    }
    for (size_t i = order.size() - 1; i-- > 0;) {
        SCOPED_TRACE("Shift+Tab to stop " + std::to_string(i) + " id " + std::to_string(GetDlgCtrlID(order[i])));
        pressKeyWith(VK_SHIFT, VK_TAB);
        host->pump();
        EXPECT_EQ(GetFocus(), order[i]);
    }
}

TEST_F(ConfigWindowTest, KeyboardChoiceInAnOpenListIsTheListsOwn)
{
    openWith();
    HWND l = list(kFrequencyList);
    focus(l);
    SendMessageW(l, CB_SHOWDROPDOWN, TRUE, 0);
    host->pump();
    ASSERT_TRUE(SendMessageW(l, CB_GETDROPPEDSTATE, 0, 0));
    keys(VK_DOWN);
    keys(VK_RETURN);  // chooses "24" and closes the list, not the window
    EXPECT_TRUE(isOpen());
    EXPECT_FALSE(SendMessageW(l, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(selectedText(kFrequencyList), L"24");
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.042    Integration Time 0.672 sec");
    EXPECT_EQ(host->store().get(Param::SampFrq), 12000);
    // Now Enter is Okay again.
    keys(VK_RETURN);
    EXPECT_FALSE(isOpen());
    EXPECT_EQ(host->store().get(Param::SampFrq), 24000);
}

TEST_F(ConfigWindowTest, ArrowKeysOnAClosedListUpdateTheSampleWindowLine)
{
    openWith();
    HWND l = list(kSamplesList);
    focus(l);
    keys(VK_DOWN);  // 2048, the list stays closed
    EXPECT_FALSE(SendMessageW(l, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(selectedText(kSamplesList), L"2048");
    // 2048 / 12000 s = 170 ms; 16 times 2.720 s.
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.170    Integration Time 2.720 sec");
    focus(list(kLevelList));
    keys(VK_HOME);  // 1
    EXPECT_EQ(windowText(control(kSampleLine)),
              L"Sample window 0.170    Integration Time 0.170 sec");
    EXPECT_TRUE(host->writes().empty());
}

// ---------------------------------------------------------------- colours

// The colour inside a swatch as it reached the screen.
COLORREF swatchPixel(HWND swatch)
{
    RECT r;
    GetWindowRect(swatch, &r);
    const Picture p = captureScreen(r);
    return p.at(p.width() / 2, p.height() / 2);
}

TEST_F(ConfigWindowTest, CancelledColourDialogChangesNothing)
{
    openWith();
    const COLORREF colour = host->config()->swatchColour(2);
    const HBRUSH brush = host->config()->swatchBrush(2);
    ColourDialogSeen seen;
    {
        DialogDriver driver(GetCurrentProcessId(), colourDialog(&seen, false, 0));
        PostMessageW(swatch(2), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(swatch(2), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        host->pump();
        driver.join();
        ASSERT_TRUE(driver.seen());
    }
    host->pump();
    // The dialog opened fully, on the field's colour (reference: blue).
    EXPECT_TRUE(seen.fullOpen);
    EXPECT_EQ(seen.red, L"0");
    EXPECT_EQ(seen.green, L"0");
    EXPECT_EQ(seen.blue, L"255");
    EXPECT_EQ(host->config()->swatchColour(2), colour);
    EXPECT_EQ(host->config()->swatchBrush(2), brush);
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(swatchPixel(swatch(2)), RGB(0, 0, 255));
    EXPECT_TRUE(host->codes().empty());
}

TEST_F(ConfigWindowTest, PickedColourShowsAtOnceAndReachesTheStoreOnApply)
{
    openWith();
    const HBRUSH old = host->config()->swatchBrush(3);
    const COLORREF picked = RGB(200, 30, 140);
    ColourDialogSeen seen;
    {
        DialogDriver driver(GetCurrentProcessId(),
                            colourDialog(&seen, true, picked, L"config_colour_dialog.png"));
        PostMessageW(swatch(3), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        host->pump();
        driver.join();
        ASSERT_TRUE(driver.seen());
    }
    host->pump();
    EXPECT_EQ(seen.green, L"255");  // the analysis colour it opened on
    EXPECT_EQ(host->config()->swatchColour(3), picked);
    EXPECT_NE(host->config()->swatchBrush(3), old);
    EXPECT_EQ(GetObjectType(old), 0u);  // the old brush is gone
    LOGBRUSH lb{};
    GetObjectW(host->config()->swatchBrush(3), sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, picked);
    EXPECT_EQ(swatchPixel(swatch(3)), picked);
    // Not in the store before Apply.
    EXPECT_EQ(host->store().get(Param::NoiseColor), 0x00FF00);
    click(kApply);
    EXPECT_EQ(host->store().get(Param::NoiseColor), static_cast<int>(picked));
    LOGPEN lp{};
    GetObjectW(host->store().handle<HGDIOBJ>(Param::NoisePen), sizeof lp, &lp);
    EXPECT_EQ(lp.lopnColor, picked);  // the graph's analysis pen
    EXPECT_TRUE(host->codes().empty());

    // Picking the colour the field already has makes no new brush.
    const HBRUSH current = host->config()->swatchBrush(3);
    {
        DialogDriver driver(GetCurrentProcessId(), colourDialog(&seen, true, picked));
        PostMessageW(swatch(3), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        host->pump();
        driver.join();
    }
    EXPECT_EQ(host->config()->swatchBrush(3), current);
}

TEST_F(ConfigWindowTest, ColourChangesRepaintTheWholeWindow)
{
    openWith();
    host->pump(60);
    std::vector<HWND> shown;
    for (HWND w : descendants(cw))
        if (IsWindowVisible(w))
            shown.push_back(w);
    auto pending = [&] {
        int n = 0;
        for (HWND w : shown) {
            RECT r;
            if (GetUpdateRect(w, &r, FALSE))
                ++n;
        }
        return n;
    };
    const int all = static_cast<int>(shown.size());
    ASSERT_GE(all, 44);
    ASSERT_EQ(pending(), 0);
    SendMessageW(cw, WM_QX_PARAMETER, Param::DbDiff, 0);
    EXPECT_EQ(pending(), 0);
    for (int id : {Param::BackColor, Param::FilterColor, Param::BackBrush, Param::FilterPen}) {
        SendMessageW(cw, WM_QX_PARAMETER, static_cast<WPARAM>(id), 0);
        RECT r;
        EXPECT_TRUE(GetUpdateRect(cw, &r, FALSE)) << id;
        EXPECT_EQ(pending(), all) << id;
        host->pump(60);
        EXPECT_EQ(pending(), 0);
    }
    SendMessageW(cw, WM_QX_PARAMETER, Param::LabelBrush, 0);  // 37: not a display colour
    EXPECT_EQ(pending(), 0);
}

TEST_F(ConfigWindowTest, AppliedColoursRepaintTheWindowThroughTheStore)
{
    openWith();
    host->pump(60);
    host->config()->setSwatchColour(1, RGB(9, 99, 199));
    host->pump(60);
    click(kApply);  // pumps the store's 1034s, which repaint everything
    EXPECT_EQ(swatchPixel(swatch(1)), RGB(9, 99, 199));
    EXPECT_EQ(host->store().get(Param::GridColor), static_cast<int>(RGB(9, 99, 199)));
}

// ---------------------------------------------------------- window's life

TEST_F(ConfigWindowTest, ClosingDeletesTheBrushesAndTellsTheOwnerOnce)
{
    openWith();
    HBRUSH brushes[6];
    for (int i = 0; i < 6; ++i) {
        brushes[i] = host->config()->swatchBrush(i);
        EXPECT_EQ(GetObjectType(brushes[i]), static_cast<DWORD>(OBJ_BRUSH));
    }
    click(kCancel);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(GetObjectType(brushes[i]), 0u) << i;
        EXPECT_EQ(host->config()->swatchBrush(i), nullptr);
    }
    EXPECT_EQ(host->config()->handle(), nullptr);
    EXPECT_FALSE(IsWindow(cw));
    EXPECT_EQ(host->closedCount, 1);
    EXPECT_TRUE(IsWindowEnabled(host->window()));
}

TEST_F(ConfigWindowTest, ReopeningReplacesTheWindowAndTheOldOneReportsFirst)
{
    openWith();
    HWND first = cw;
    ASSERT_TRUE(host->open());
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(host->closedCount, 1);
    EXPECT_NE(host->configWindow(), nullptr);
    EXPECT_FALSE(IsWindowEnabled(host->window()));
}

TEST_F(ConfigWindowTest, WithoutOwnerNothingIsCreated)
{
    ConfigWindow lonely(nullptr);
    EXPECT_FALSE(lonely.create(nullptr));
    EXPECT_EQ(lonely.handle(), nullptr);
    MSG m{};
    EXPECT_EQ(lonely.preTranslate(&m), 0);
}

TEST_F(ConfigWindowTest, DeletingTheObjectWithItsWindowOpenTakesTheWindowDown)
{
    openWith();
    HWND w = cw;
    HBRUSH b = host->config()->swatchBrush(0);
    auto* alone = new ConfigWindow(static_cast<GuiOwner*>(host.get()));
    ASSERT_TRUE(alone->create(host->window()));
    HWND second = alone->handle();
    host->clearLog();
    delete alone;
    EXPECT_FALSE(IsWindow(second));
    EXPECT_TRUE(host->codes().empty());  // its owner was not told
    EXPECT_TRUE(IsWindow(w));
    EXPECT_EQ(GetObjectType(b), static_cast<DWORD>(OBJ_BRUSH));
}

// ------------------------------------------------------------------ leaks

TEST_F(ConfigWindowTest, RepeatedOpenAndCloseLeaksNothing)
{
    openWith();
    const DWORD pid = GetCurrentProcessId();
    auto cycle = [&] {
        ASSERT_TRUE(host->open());
        SendMessageW(findControl(host->configWindow(), kCancel, L"Button"), BM_CLICK, 0, 0);
        ASSERT_EQ(host->configWindow(), nullptr);
        host->pump(0, 50);
    };
    for (int i = 0; i < 20; ++i)
        cycle();
    host->pump(50);
    const int gdi0 = gdiProbeIndex();
    const int kernel0 = kernelHandleCount(pid);
    const int windows0 = windowCount(pid);
    ASSERT_GT(kernel0, 0);
    // A leak of one object a cycle would be thirty, well over the margins.
    constexpr int kCycles = 30;
    for (int i = 0; i < kCycles; ++i)
        cycle();
    host->pump(50);
    const int gdi1 = gdiProbeIndex();
    const int kernel1 = kernelHandleCount(pid);
    const int windows1 = windowCount(pid);
    EXPECT_LE(gdi1 - gdi0, 4) << "GDI objects leaked";
    EXPECT_LE(kernel1 - kernel0, 2) << "kernel handles leaked";
    EXPECT_EQ(windows1, windows0) << "windows left behind";
    std::printf("%d open/close cycles: GDI probe %d -> %d, kernel handles %d -> %d, windows %d -> %d\n",
                kCycles, gdi0, gdi1, kernel0, kernel1, windows0, windows1);

    // The same measurements catch a leak of one brush and one event per
    // cycle over as many cycles.
    std::vector<HBRUSH> leakedBrushes;
    std::vector<HANDLE> leakedEvents;
    for (int i = 0; i < kCycles; ++i) {
        cycle();
        leakedBrushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
        leakedEvents.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    host->pump(50);
    const int gdi2 = gdiProbeIndex();
    const int kernel2 = kernelHandleCount(pid);
    EXPECT_GE(gdi2 - gdi1, kCycles - 4);
    EXPECT_GE(kernel2 - kernel1, kCycles - 2);
    std::printf("with a deliberate leak of %d brushes and events: GDI probe %d -> %d, kernel %d -> %d\n",
                kCycles, gdi1, gdi2, kernel1, kernel2);
    for (HBRUSH b : leakedBrushes)
        DeleteObject(b);
    for (HANDLE e : leakedEvents)
        CloseHandle(e);
}

TEST_F(ConfigWindowTest, RepeatedAppliesOfNewColoursLeakNothing)
{
    openWith();
    const DWORD pid = GetCurrentProcessId();
    HWND apply = button(kApply);
    int k = 0;
    auto round = [&] {
        ++k;
        for (int i = 0; i < 6; ++i)
            host->config()->setSwatchColour(i, RGB((k * 7 + i) & 0xFF, (k * 13) & 0xFF, i * 40));
        SendMessageW(apply, BM_CLICK, 0, 0);
        host->pump(0, 50);
    };
    for (int i = 0; i < 20; ++i)
        round();
    host->pump(50);
    const int gdi0 = gdiProbeIndex();
    const int kernel0 = kernelHandleCount(pid);
    // A leak of one object an apply would be thirty, well over the margins.
    constexpr int kRounds = 30;
    for (int i = 0; i < kRounds; ++i)
        round();
    host->pump(50);
    const int gdi1 = gdiProbeIndex();
    const int kernel1 = kernelHandleCount(pid);
    EXPECT_EQ(host->store().get(Param::BackColor), static_cast<int>(host->config()->swatchColour(0)));
    EXPECT_LE(gdi1 - gdi0, 4) << "GDI objects leaked";
    EXPECT_LE(kernel1 - kernel0, 2) << "kernel handles leaked";
    std::printf("%d colour applies: GDI probe %d -> %d, kernel handles %d -> %d\n", kRounds, gdi0,
                gdi1, kernel0, kernel1);
    EXPECT_TRUE(host->codes().empty());  // colours alone never stop a measurement
}

// ------------------------------------------------------------ screenshots

TEST_F(ConfigWindowTest, TheSampleLineIsDrawnWholeAtItsLongestValue)
{
    // 16384 samples at 4000 Hz integrated 1000 times: the longest line.
    // Its last glyph, the "c" of "sec", reaches a little beyond its text
    // extent: the ink must end inside the line's field, not at its edge.
    openWith({{L"SampFrq", 4000}, {L"NumSamples", 16384}, {L"IntLvl", 1000}});
    host->pump(100);
    HWND line = control(144);
    ASSERT_NE(line, nullptr);
    ASSERT_NE(windowText(line).find(L"4096.000"), std::wstring::npos);
    RECT r;
    GetWindowRect(line, &r);
    const Picture p = captureScreen(r);
    const COLORREF paper = p.at(0, 0);
    int firstInk = -1, lastInk = -1;
    for (int x = 0; x < p.width(); ++x)
        for (int y = 0; y < p.height(); ++y)
            if (p.at(x, y) != paper && GetRValue(p.at(x, y)) < 100) {
                if (firstInk < 0)
                    firstInk = x;
                lastInk = x;
            }
    ASSERT_GT(lastInk, p.width() / 2) << "no text found";
    EXPECT_LE(lastInk, p.width() - 2) << "the line's last glyph is cut at its edge";
    EXPECT_GE(firstInk, 1) << "the line's first glyph is cut at its edge";
    // That its text fits the label at every DPI is checked in dpi_test.cpp.
}

TEST_F(ConfigWindowTest, Screenshots)
{
    openWith({{L"dbDiff", 125}, {L"displaydb", 2}});
    host->pump(100);
    const Picture open = captureWindow(cw);
    writePng(open, screenshotPath(L"config_window.png"));
    // The window's background is the label brush colour (0xA0C0C0 nearest).
    RECT client;
    GetClientRect(cw, &client);
    POINT origin{0, 0};
    ClientToScreen(cw, &origin);
    RECT w;
    GetWindowRect(cw, &w);
    const COLORREF background = open.at(origin.x - w.left + 2, origin.y - w.top + 130);
    EXPECT_EQ(background, static_cast<COLORREF>(host->store().get(Param::UiColor19)));
    // Each swatch shows its colour.
    EXPECT_EQ(swatchPixel(swatch(0)), RGB(128, 128, 128));
    EXPECT_EQ(swatchPixel(swatch(5)), RGB(255, 255, 255));

    click(kDefaults);
    host->config()->setSwatchColour(0, RGB(30, 60, 90));
    host->pump(100);
    writePng(captureWindow(cw), screenshotPath(L"config_window_edited.png"));
}

}  // namespace

// ------------------------------------------------------------ field faults

TEST_F(ConfigWindowTest, OpensWithTheFocusOnTheFirstList)
{
    openWith();
    host->pump();
    EXPECT_EQ(GetFocus(), list(kFrequencyList));
}

TEST_F(ConfigWindowTest, SpaceAndEnterOnAColourFieldOpenTheDialogAndTheFocusComesBack)
{
    openWith();
    focus(swatch(3));
    writePng(captureWindow(cw), screenshotPath(L"config_swatch_focus.png"));
    for (WORD key : {static_cast<WORD>(VK_SPACE), static_cast<WORD>(VK_RETURN)}) {
        focus(swatch(3));
        ColourDialogSeen seen;
        {
            DialogDriver driver(GetCurrentProcessId(), colourDialog(&seen, true, RGB(0, 0, 0)));
            pressKey(key);
            host->pump();
            driver.join();
            ASSERT_TRUE(driver.seen()) << "key " << key;
        }
        host->pump();
        EXPECT_TRUE(isOpen()) << "Enter on a colour field is not Okay";
        EXPECT_EQ(host->config()->swatchColour(3), RGB(0, 0, 0)) << "black picked";
        EXPECT_EQ(GetFocus(), swatch(3)) << "the focus did not come back, key " << key;
        host->config()->setSwatchColour(3, RGB(0, 255, 0));
    }
}

// A limit above half the sampling frequency would measure only up to half
// of it: refused with a box that names the limit.
TEST_F(ConfigWindowTest, BandLimitsAboveHalfTheRateAreRefused)
{
    openWith();
    choose(kFrequencyList, L"4");
    BoxContents box;
    {
        DialogDriver driver(GetCurrentProcessId(), readBoxAndPressOk(&box));
        click(kApply);
        driver.join();
    }
    host->pump();
    EXPECT_EQ(box.caption, L"Invalid Data");
    EXPECT_EQ(box.text, L"Band limit 4000 Hz is above half the sampling frequency (2000 Hz)."
                        L"\n\nChange and re-apply or cancel.");
    EXPECT_EQ(host->store().get(Param::SampFrq), 12000) << "nothing applied";
    EXPECT_TRUE(host->writes().empty());
    EXPECT_TRUE(isOpen());

    // Exactly half the rate is the last bin: accepted.
    setField(kBandField0 + 3, L"2000");
    click(kApply);
    EXPECT_EQ(host->store().get(Param::SampFrq), 4000);
    EXPECT_EQ(host->store().get(Param::Filter3), 2000);
}

// A registry that refuses the write: HKCU\SOFTWARE\Tevra as a volatile key,
// under which the settings key (non-volatile) cannot be made.
TEST_F(ConfigWindowTest, SaveThatCannotWriteWarnsAndKeepsTheWindowOpen)
{
    openWith();
    clearSettings();
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Tevra");
    HKEY tevra = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Tevra", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &tevra, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(tevra);

    setField(kThresholdField, L"7.5");
    BoxContents box;
    {
        DialogDriver driver(GetCurrentProcessId(), readBoxAndPressOk(&box));
        click(kSave);
        driver.join();
        ASSERT_TRUE(driver.seen()) << "Save failed without a word";
    }
    host->pump();
    EXPECT_EQ(box.caption, L"Settings Not Saved");
    EXPECT_EQ(box.owner, cw);
    EXPECT_TRUE(isOpen()) << "the window closed as if saved";
    EXPECT_EQ(windowText(edit(kThresholdField)), L"7.5");
    EXPECT_EQ(settingValueCount(), 0);

    // With the registry writable again, Save saves and closes.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Tevra");
    click(kSave);
    EXPECT_FALSE(isOpen());
    EXPECT_EQ(readSettingValue(L"dbDiff"), 75);
}
