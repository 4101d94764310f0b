// The windows at the screen's DPI. run_at_dpis.sh runs this program once at
// each of 96, 120, 144 and 192 DPI, each time in a Wine prefix of its own
// with "LogPixels" set and a private screen big enough for 200 %.
//
// At the DPI it finds itself at, the program checks
// - through the real qx700.exe: the main window's and the configuration
//   window's client sizes are their 96-DPI client sizes scaled, the outer
//   sizes the client plus the frame (and menu bar) for that DPI, both windows lie on the
//   screen, every child lies inside its parent's client area, and every
//   child of the two windows is at its 96-DPI place scaled (at 96 DPI: at
//   exactly today's place); a picture of each window is saved as
//   dpi<DPI>_main.png and dpi<DPI>_config.png;
// - with the windows in this process (the real store, UI thread and
//   toolkit, as in inprocess_test.cpp): the store's fonts are made for the
//   DPI, and every text of both windows, measured in the font its control
//   answers to WM_GETFONT, fits its control, also at the longest texts the
//   settings can give.
//
// The 96-DPI client sizes: the run at 96 DPI measures them (and checks them
// against 639 x 574 and 315 x 613 outer minus the frame at 96 DPI) and
// leaves them in $QX_DPI_BASELINE for the later runs; without that file the
// outer sizes minus the frame at 96 DPI are used.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DpiAwareness.h"
#include "Driver.h"
#include "InProcessProgram.h"
#include "Layouts.h"
#include "foundation/ParameterStore.h"
#include "app/UiThread.h"
#include "audio/AudioEngine.h"
#include "gui/GuiDpi.h"

using namespace drive;

namespace {

// Before any window is made: sizes in real pixels, as the program sees them.
const bool g_dpiAware = qxsupport::becomeDpiAware();

int dpi() { return qxsupport::screenDpi(); }

std::string narrow(const std::wstring& w)
{
    std::string s;
    for (wchar_t c : w)
        s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

std::string describe(const RECT& r)
{
    std::ostringstream os;
    os << "(" << r.left << "," << r.top << " " << r.right - r.left << "x" << r.bottom - r.top
       << ")";
    return os.str();
}

// --------------------------------------------------------------- the layout

using Place = qxsupport::LayoutPlace;



// Outer sizes at 96 DPI, as the windows have always been.
constexpr SIZE kMainOuter96 = {639, 574};
constexpr SIZE kConfigOuter96 = {315, 613};

RECT scaled(const Place& p, int d)
{
    const int x = GuiDpi::scale(p.x, d);
    const int y = GuiDpi::scale(p.y, d);
    return RECT{x, y, x + GuiDpi::scale(p.w, d), y + GuiDpi::scale(p.h, d)};
}

using qxsupport::childWindows;
using qxsupport::descendants;

// A window's rectangle in its parent's client coordinates.
RECT rectInParent(HWND w) { return rectIn(GetParent(w), w); }

SIZE clientSize(HWND w)
{
    RECT r{};
    GetClientRect(w, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE outerSize(HWND w)
{
    RECT r{};
    GetWindowRect(w, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// The frame a window of this style has at a DPI: outer minus client size,
// with the row of its menu bar when it has one and `asMade` holds. Without
// `asMade`, the frame the window had before it got its sizing frame and
// menu bar, around the same client area.
SIZE frameAt(HWND w, int d, bool asMade = true)
{
    RECT r{0, 0, 0, 0};
    DWORD style = static_cast<DWORD>(GetWindowLongW(w, GWL_STYLE));
    if (!asMade)
        style &= ~static_cast<DWORD>(WS_THICKFRAME | WS_MAXIMIZEBOX);
    AdjustWindowRectExForDpi(&r, style, asMade && GetMenu(w) != nullptr,
                             static_cast<DWORD>(GetWindowLongW(w, GWL_EXSTYLE)),
                             static_cast<UINT>(d));
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// ----------------------------------------------------- 96-DPI client sizes

std::string baselinePath() { return environment("QX_DPI_BASELINE"); }

void recordBaseline(const std::string& name, SIZE client)
{
    const std::string path = baselinePath();
    if (path.empty())
        return;
    std::ofstream out(windowsPath(path).c_str(), std::ios::app);
    out << name << " " << client.cx << " " << client.cy << "\n";
}

// The 96-DPI client size of a window: measured by the run at 96 DPI, or the
// outer size at 96 DPI minus the frame at 96 DPI.
SIZE clientAt96(const std::string& name, SIZE outer96, HWND w, std::string& source)
{
    const std::string path = baselinePath();
    if (!path.empty()) {
        std::ifstream in(windowsPath(path).c_str());
        std::string n;
        SIZE s{};
        while (in >> n >> s.cx >> s.cy)
            if (n == name) {
                source = "measured at 96 DPI";
                return s;
            }
    }
    const SIZE f = frameAt(w, 96, false);
    source = "outer size at 96 DPI minus the frame";
    return SIZE{outer96.cx - f.cx, outer96.cy - f.cy};
}

// --------------------------------------------------------------- the checks

// The window's size at this DPI, and the 96-DPI client size recorded at 96.
void expectSizes(HWND w, const std::string& name, SIZE outer96)
{
    const int d = dpi();
    const SIZE client = clientSize(w);
    const SIZE outer = outerSize(w);
    const SIZE frame = frameAt(w, d);
    if (d == 96) {
        // Today's window exactly, its menu bar (if any) added above the
        // client area.
        const SIZE f96 = frameAt(w, 96, false);
        EXPECT_EQ(client.cx, outer96.cx - f96.cx) << name;
        EXPECT_EQ(client.cy, outer96.cy - f96.cy) << name;
        EXPECT_EQ(outer.cx, outer96.cx + frame.cx - f96.cx) << name;
        EXPECT_EQ(outer.cy, outer96.cy + frame.cy - f96.cy) << name;
        recordBaseline(name, client);
    }
    std::string source;
    const SIZE base = clientAt96(name, outer96, w, source);
    std::printf("%s at %d DPI: client %ldx%ld (96-DPI client %ldx%ld, %s), outer %ldx%ld\n",
                name.c_str(), d, client.cx, client.cy, base.cx, base.cy, source.c_str(), outer.cx,
                outer.cy);
    EXPECT_EQ(client.cx, GuiDpi::scale(base.cx, d)) << name << ": client width at " << d << " DPI";
    EXPECT_EQ(client.cy, GuiDpi::scale(base.cy, d)) << name << ": client height at " << d << " DPI";
    EXPECT_EQ(outer.cx, client.cx + frame.cx) << name << ": outer width is client plus frame";
    EXPECT_EQ(outer.cy, client.cy + frame.cy) << name << ": outer height is client plus frame";
}

void expectOnScreen(HWND w, const std::string& name)
{
    RECT r{};
    GetWindowRect(w, &r);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST), &info));
    const RECT& m = info.rcMonitor;
    EXPECT_TRUE(r.left >= m.left && r.top >= m.top && r.right <= m.right && r.bottom <= m.bottom)
        << name << " " << describe(r) << " is not wholly on the screen " << describe(m);
}

// Every descendant lies inside its parent's client area.
void expectChildrenInside(HWND top, const std::string& name)
{
    int checked = 0;
    for (HWND w : descendants(top)) {
        HWND parent = GetParent(w);
        const RECT r = rectInParent(w);
        RECT client{};
        GetClientRect(parent, &client);
        ++checked;
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                    r.bottom <= client.bottom)
            << name << ": child " << GetDlgCtrlID(w) << " (" << narrow(className(w)) << " \""
            << narrow(text(w)) << "\") " << describe(r) << " leaves its parent "
            << GetDlgCtrlID(parent) << " with client " << describe(client) << " at " << dpi()
            << " DPI";
    }
    EXPECT_GT(checked, 0) << name << " has no children";
}

void expectMainLayout(HWND main)
{
    const int d = dpi();
    std::map<int, HWND> byId;
    for (HWND w : childWindows(main)) {
        const int id = GetDlgCtrlID(w);
        EXPECT_EQ(byId.count(id), 0u) << "two children with id " << id;
        byId[id] = w;
    }
    std::set<int> expected;
    for (const Place& p : qxsupport::kMainWindowLayout) {
        expected.insert(p.id);
        ASSERT_EQ(byId.count(p.id), 1u) << "no child " << p.id;
        const RECT want = scaled(p, d);
        const RECT got = rectInParent(byId[p.id]);
        EXPECT_TRUE(EqualRect(&want, &got))
            << "main window child " << p.id << " at " << d << " DPI: " << describe(got)
            << ", expected " << describe(want);
    }
    for (const auto& c : byId)
        EXPECT_EQ(expected.count(c.first), 1u) << "a child not in the layout: " << c.first;
}

void expectConfigLayout(HWND config)
{
    const int d = dpi();
    const std::vector<HWND> kids = childWindows(config);
    const size_t n = qxsupport::kConfigWindowChildren;
    ASSERT_EQ(kids.size(), n);
    for (size_t i = 0; i < n; ++i) {
        const Place& p = qxsupport::kConfigWindowLayout[i];
        EXPECT_EQ(GetDlgCtrlID(kids[i]), p.id) << "child " << i + 1;
        RECT want = scaled(p, d);
        want.bottom = want.top + qxsupport::containerHeight(kids[i], want.bottom - want.top);
        const RECT got = rectInParent(kids[i]);
        EXPECT_TRUE(EqualRect(&want, &got))
            << "configuration window child " << i + 1 << " (id " << p.id << ") at " << d
            << " DPI: " << describe(got) << ", expected " << describe(want);
    }
}

// The configuration window of the program whose main window this is.
HWND findConfig(HWND main)
{
    HWND found = nullptr;
    waitFor(
        [&] {
            for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
                if (GetWindow(w, GW_OWNER) == main && IsWindowVisible(w) &&
                    className(w) == L"P2GUIWindow" && text(w) == L"Configuration") {
                    found = w;
                    return true;
                }
            return false;
        },
        10000);
    return found;
}

HWND openConfig(HWND main)
{
    auto c = children(main);
    if (!c.count(104))
        return nullptr;
    click(c[104]);
    HWND config = findConfig(main);
    if (config)
        answers(config);
    return config;
}

std::string pictureName(const char* window)
{
    return "dpi" + std::to_string(dpi()) + "_" + window;
}

// A picture of the window once it and every child have been painted (none
// has an update region left).
std::string pictureOf(HWND top, const char* window)
{
    const bool painted = waitFor(
        [&] {
            if (GetUpdateRect(top, nullptr, FALSE))
                return false;
            for (HWND w : descendants(top))
                if (GetUpdateRect(w, nullptr, FALSE))
                    return false;
            return true;
        },
        5000);
    EXPECT_TRUE(painted) << window << " is still not painted";
    answers(top);
    return screenshot(top, pictureName(window));
}

}  // namespace

// ------------------------------------------------------------ the DPI itself

TEST(Dpi, TheRunIsAtTheDpiItWasMeantFor)
{
    EXPECT_TRUE(g_dpiAware) << "this program must see real pixels";
    const int d = dpi();
    std::printf("screen DPI %d\n", d);
    if (qxsupport::expectedDpi() != 0) {
        EXPECT_EQ(d, qxsupport::expectedDpi()) << "LogPixels did not take effect";
    }
    EXPECT_TRUE(d == 96 || d == 120 || d == 144 || d == 192) << d;
}

// ------------------------------------------------------- the real program

class ProgramAtDpi : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings::clear();
        ASSERT_TRUE(program.start()) << "qx700.exe ($QX_EXE) did not start";
        main = program.window();
    }
    void TearDown() override
    {
        if (config && IsWindow(config))
            PostMessageW(config, WM_CLOSE, 0, 0);
        waitFor([&] { return !config || !IsWindow(config); }, 10000);
        program.close();
        program.waitExit(15000);
        settings::clear();
    }

    Program program;
    HWND main = nullptr;
    HWND config = nullptr;
};

TEST_F(ProgramAtDpi, TheMainWindowIsItsLayoutScaled)
{
    const int d = dpi();
    EXPECT_EQ(static_cast<int>(GetDpiForWindow(main)), d);
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(main)),
              DPI_AWARENESS_PER_MONITOR_AWARE)
        << "the program is per-monitor DPI aware";
    expectSizes(main, "main", kMainOuter96);
    expectOnScreen(main, "the main window");
    expectChildrenInside(main, "main window");
    expectMainLayout(main);
    EXPECT_FALSE(pictureOf(main, "main").empty()) << "no picture (QX_SCREENSHOTS unset?)";
}

TEST_F(ProgramAtDpi, TheConfigurationWindowIsItsLayoutScaled)
{
    const int d = dpi();
    config = openConfig(main);
    ASSERT_NE(config, nullptr) << "the Config button opened no window";
    expectSizes(config, "config", kConfigOuter96);
    expectOnScreen(config, "the configuration window");
    expectChildrenInside(config, "configuration window");
    expectConfigLayout(config);
    // The last row, Okay and Cancel, wholly inside.
    RECT client{};
    GetClientRect(config, &client);
    auto c = children(config);
    for (int id : {10138, 10139}) {
        ASSERT_EQ(c.count(id), 1u) << id;
        const RECT r = rectInParent(c[id]);
        EXPECT_LE(r.bottom, client.bottom) << id << " at " << d << " DPI";
        EXPECT_LE(r.right, client.right) << id << " at " << d << " DPI";
    }
    EXPECT_FALSE(pictureOf(config, "config").empty()) << "no picture (QX_SCREENSHOTS unset?)";
}

// The logarithmic axis (its labels in place of the linear axis's five) and
// the third-octave view of a measurement, then the narrow-band view
// maximised: the graph takes the room and the rest keeps its corner, a
// marker placed from the keyboard reads its levels, and the menu opens over
// it; everything inside the window each time. Pictures dpi<DPI>_log,
// _thirds, _maximised_marker, _measure_menu and _view_menu.
TEST_F(ProgramAtDpi, TheViewsAndTheMaximisedWindowAreWhole)
{
    auto c = children(main);
    ASSERT_TRUE(c.count(185) && c.count(140) && c.count(101) && c.count(103) && c.count(120));
    PostMessageW(main, WM_COMMAND, 32791, 0);  // ID_CMD_LOG_AXIS, as Ctrl+L
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(c[185]) != 0; }, 5000));
    EXPECT_FALSE(IsWindowVisible(c[140]));
    // A Reference of quiet noise, then an Analysis with a tone over it.
    ASSERT_TRUE(feed({"noise 0.01"}));
    click(c[101]);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(c[102]) != 0; }, 30000));
    ASSERT_TRUE(feed({"noise 0.01", "sine 1000 0.1"}));
    click(c[102]);
    EXPECT_TRUE(waitFor([&] { return !std::isnan(number(text(c[159]))); }, 15000));
    expectChildrenInside(main, "main window (log axis)");
    EXPECT_FALSE(pictureOf(main, "log").empty());
    PostMessageW(main, WM_COMMAND, 32794, 0);  // ID_CMD_VIEW_THIRDS, as Ctrl+3
    answers(main);
    EXPECT_FALSE(pictureOf(main, "thirds").empty());

    PostMessageW(main, WM_COMMAND, 32791, 0);  // the linear axis again
    PostMessageW(main, WM_COMMAND, 32792, 0);  // ID_CMD_VIEW_NARROW, as Ctrl+1
    auto graphWidth = [&] {
        const RECT r = rectInParent(c[120]);
        return r.right - r.left;
    };
    const int before = graphWidth();
    PostMessageW(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(waitFor([&] { return IsZoomed(main) && graphWidth() > before; }, 10000))
        << "the graph did not grow with the maximised window";
    expectChildrenInside(main, "maximised main window");
    PostMessageW(main, WM_COMMAND, 32787, 0);  // ID_CMD_MARKER_AT_PEAK, as Ctrl+M
    answers(main);
    EXPECT_FALSE(pictureOf(main, "maximised_marker").empty());

    SetForegroundWindow(main);
    for (const char* menuKey : {"alt+s", "alt+v"}) {
        ASSERT_TRUE(key(menuKey));
        HWND menu = nullptr;
        ASSERT_TRUE(waitFor([&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); },
                            10000))
            << menuKey << " opens its menu";
        screenshot(menu, pictureName(menuKey[4] == 's' ? "measure_menu" : "view_menu"));
        key("Escape");
        key("Escape");
        ASSERT_TRUE(waitFor([&] { return !IsWindowVisible(FindWindowW(L"#32768", nullptr)); }, 5000));
    }
    feed({"silence"});
}

// The "Microphone and Sound Card" dialog (a dialog of the system's, laid
// out in dialog units): on the screen, every control inside it, its
// buttons' captions within their buttons.
TEST_F(ProgramAtDpi, TheMicrophoneAndSoundCardDialogIsWhole)
{
    PostMessageW(main, WM_COMMAND, 0x7150, 0);  // ID_CMD_SOUND_DEVICES, as Ctrl+D
    HWND dialog = nullptr;
    ASSERT_TRUE(waitFor([&] {
        for (const MessageBoxInfo& b : messageBoxes(program.processId()))
            if (b.caption == L"Microphone and Sound Card")
                dialog = b.box;
        return dialog != nullptr;
    }, 10000));
    expectOnScreen(dialog, "the Microphone and Sound Card dialog");
    expectChildrenInside(dialog, "Microphone and Sound Card dialog");
    for (int id : {1104, 1105, IDOK, IDCANCEL}) {
        HWND button = GetDlgItem(dialog, id);
        ASSERT_NE(button, nullptr) << id;
        const HDC dc = GetDC(button);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)));
        const std::wstring caption = text(button);
        SIZE extent{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(button, dc);
        RECT r{};
        GetClientRect(button, &r);
        EXPECT_LT(extent.cx, r.right) << "\"" << std::string(caption.begin(), caption.end())
                                      << "\" does not fit at " << dpi() << " DPI";
    }
    EXPECT_FALSE(pictureOf(dialog, "devices").empty());
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(dialog); }, 10000));
}

// ------------------------------------------------------ in this process

namespace {

struct NoEngine : NotificationHandler {
    int notify(const Notification&) override { return 0; }
};

std::wstring shownText(const std::wstring& caption)
{
    // A button draws "&x" as an underlined x and "&&" as "&".
    std::wstring out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size())
            ++i;
        out += caption[i];
    }
    return out;
}

HFONT fontOf(HWND w)
{
    DWORD_PTR font = 0;
    if (!SendMessageTimeoutW(w, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, 5000, &font))
        return nullptr;
    return reinterpret_cast<HFONT>(font);
}

// Measures in a DC of the window with the font selected.
class Measure {
public:
    Measure(HWND w, HFONT font) : w_(w), dc_(GetDC(w)), old_(SelectObject(dc_, font)) {}
    ~Measure()
    {
        SelectObject(dc_, old_);
        ReleaseDC(w_, dc_);
    }
    SIZE extent(const std::wstring& t) const
    {
        SIZE s{};
        GetTextExtentPoint32W(dc_, t.c_str(), static_cast<int>(t.size()), &s);
        return s;
    }
    // The height the word-wrapped text needs at this width.
    RECT wrapped(const std::wstring& t, int width, UINT format) const
    {
        RECT r{0, 0, width, 0};
        DrawTextW(dc_, t.c_str(), static_cast<int>(t.size()), &r, format | DT_CALCRECT);
        return r;
    }

private:
    HWND w_;
    HDC dc_;
    HGDIOBJ old_;
};

std::wstring itemText(HWND combo, int i)
{
    const LRESULT n = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (n <= 0)
        return std::wstring();
    std::wstring t(static_cast<size_t>(n) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&t[0]));
    t.resize(static_cast<size_t>(n));
    return t;
}

struct TextRules {
    std::set<int> wrapped;      // ids of word-wrapped notes
    UINT wrapFormat = 0;        // their DrawTextW format
    std::set<int> pictures;     // ids whose text is shown as a picture
    std::set<int> upright;      // ids whose text reads upwards along the height
    std::set<HFONT> storeFonts; // the fonts a control may answer with
};

// Every text of the window's descendants fits its control, in the font the
// control answers with; returns how many texts were measured.
int expectTextsFit(HWND top, const std::string& name, const TextRules& rules)
{
    const int d = dpi();
    int measured = 0;
    for (HWND w : descendants(top)) {
        const int id = GetDlgCtrlID(w);
        const std::wstring cls = className(w);
        const std::wstring t = text(w);
        const bool combo = _wcsicmp(cls.c_str(), L"ComboBox") == 0;
        const bool edit = _wcsicmp(cls.c_str(), L"Edit") == 0;
        if (!combo && (t.empty() || rules.pictures.count(id)))
            continue;
        const std::string what = name + " child " + std::to_string(id) + " (" + narrow(cls) +
                                 ") \"" + narrow(t) + "\" at " + std::to_string(d) + " DPI";
        HFONT font = fontOf(w);
        if (!font) {
            ADD_FAILURE() << what << " answers no font to WM_GETFONT";
            continue;
        }
        EXPECT_EQ(rules.storeFonts.count(font), 1u) << what << " draws in a font not of the store";
        Measure m(w, font);
        RECT client{};
        GetClientRect(w, &client);
        if (combo) {
            // Every entry fits the selection field.
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            if (!GetComboBoxInfo(w, &info)) {
                ADD_FAILURE() << what << ": no combo box information";
                continue;
            }
            const int fieldW = info.rcItem.right - info.rcItem.left;
            const int fieldH = info.rcItem.bottom - info.rcItem.top;
            const int count = static_cast<int>(SendMessageW(w, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) {
                const std::wstring item = itemText(w, i);
                const SIZE s = m.extent(item);
                ++measured;
                EXPECT_LE(s.cx, fieldW) << what << ": entry \"" << narrow(item) << "\" needs "
                                        << s.cx << " pixels, the field has " << fieldW;
                EXPECT_LE(s.cy, fieldH) << what << ": entry \"" << narrow(item) << "\" is "
                                        << s.cy << " pixels high, the field " << fieldH;
            }
            continue;
        }
        if (edit) {
            RECT format{};
            SendMessageW(w, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
            const SIZE s = m.extent(t);
            ++measured;
            EXPECT_LE(s.cx, format.right - format.left)
                << what << " needs " << s.cx << " pixels, the field's text area has "
                << format.right - format.left;
            EXPECT_LE(s.cy, client.bottom)
                << what << " is " << s.cy << " pixels high, the field " << client.bottom;
            continue;
        }
        ++measured;
        if (rules.wrapped.count(id)) {
            const RECT need = m.wrapped(t, client.right, rules.wrapFormat);
            EXPECT_LE(need.right, client.right)
                << what << " needs " << need.right << " pixels wide, has " << client.right;
            EXPECT_LE(need.bottom, client.bottom)
                << what << " needs " << need.bottom << " pixels high wrapped at " << client.right
                << ", has " << client.bottom;
            continue;
        }
        SIZE s = m.extent(_wcsicmp(cls.c_str(), L"Button") == 0 ? shownText(t) : t);
        if (rules.upright.count(id))
            s = SIZE{s.cy, s.cx};  // its length runs along the height
        EXPECT_LE(s.cx, client.right)
            << what << " needs " << s.cx << " pixels, the control has " << client.right;
        EXPECT_LE(s.cy, client.bottom)
            << what << " is " << s.cy << " pixels high, the control " << client.bottom;
    }
    return measured;
}

// The axis caption's ink clears the ink of every dB scale label by at least
// one pixel: the caption's text where its format puts it (left and middle,
// or upright and centred), each scale label's text at its right edge.
void expectAxisCaptionClearOfTheScale(HWND top, const std::set<int>& upright)
{
    auto child = [&](int id) { return GetDlgItem(top, id); };
    auto inParent = [&](HWND w) {
        RECT r{};
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    HWND caption = child(122);
    ASSERT_NE(caption, nullptr);
    const RECT c = inParent(caption);
    SIZE s = Measure(caption, fontOf(caption)).extent(text(caption));
    RECT ink{};
    if (upright.count(122)) {
        const int x = c.left + (c.right - c.left - s.cy) / 2;
        const int y = c.top + (c.bottom - c.top - s.cx) / 2;
        ink = RECT{x, y, x + s.cy, y + s.cx};
    } else {
        const int y = c.top + (c.bottom - c.top - s.cy) / 2;
        ink = RECT{c.left, y, c.left + s.cx, y + s.cy};
    }
    InflateRect(&ink, 1, 1);
    for (int id = 123; id <= 129; ++id) {
        HWND label = child(id);
        ASSERT_NE(label, nullptr) << id;
        const RECT l = inParent(label);
        const SIZE e = Measure(label, fontOf(label)).extent(text(label));
        const RECT labelInk{l.right - e.cx, l.top, l.right, l.bottom};
        RECT overlap{};
        EXPECT_FALSE(IntersectRect(&overlap, &ink, &labelInk))
            << "\"" << narrow(text(caption)) << "\" touches the scale label \"" << narrow(text(label))
            << "\" at " << dpi() << " DPI";
    }
}

const int kStoreFonts[] = {Param::ButtonFont, Param::TitleFont, Param::MarkerFont,
                           Param::EditFont,   Param::LabelFont, Param::NoteFont};

class InProcessAtDpi : public ::testing::Test, protected qxsupport::InProcessProgram {
protected:
    void SetUp() override
    {
        window = start(&noEngine);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(answers(window));
        for (int id : kStoreFonts)
            rules.storeFonts.insert(store->handle<HFONT>(id));
    }

    void TearDown() override
    {
        if (config && IsWindow(config))
            PostMessageW(config, WM_CLOSE, 0, 0);
        if (HWND main = ui->mainWindowHandle()) {
            PostMessageW(main, WM_CLOSE, 0, 0);
            closeWithoutSaving(GetCurrentProcessId(), main);
        }
        finish();
    }

    // The longest texts the settings give, one after the other: the
    // sample-window line at 16384 samples, 4000 Hz and 1000 spectra, then
    // five-digit band limits (at 48000 Hz).
    void writeLongestSampleWindow()
    {
        store->set(Param::SampFrq, 4000);
        store->set(Param::NumSamples, 16384);
        store->set(Param::IntLvl, 1000);
        ASSERT_TRUE(waitFor([&] { return text(children(window)[167]).find(L"4096.000") !=
                                         std::wstring::npos; },
                            5000));
    }
    void writeFiveDigitBands()
    {
        store->set(Param::SampFrq, 48000);
        for (int k = 0; k < 4; ++k)
            store->set(Param::Filter0 + k, 24000 - (3 - k) * 1111);
        ASSERT_TRUE(waitFor(
            [&] { return text(children(window)[118]).find(L"24000") != std::wstring::npos; },
            5000));
    }

    void closeConfig()
    {
        if (config && IsWindow(config))
            PostMessageW(config, WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitFor([&] { return !IsWindow(config) && IsWindowEnabled(window); }, 10000));
        config = nullptr;
    }

    NoEngine noEngine;
    HWND window = nullptr;
    HWND config = nullptr;
    TextRules rules;
};

}  // namespace

TEST_F(InProcessAtDpi, TheStoresFontsAreMadeForTheWindowsDpi)
{
    const int d = dpi();
    EXPECT_EQ(GuiDpi::windowDpi(window), d);
    const intptr_t storeDpi = store->get(Param::Dpi);
    EXPECT_EQ(storeDpi == 0 ? 96 : storeDpi, d) << "the store's DPI";
    // A store of its own makes the fonts at 96 DPI.
    ParameterStore at96;
    at96.createGdiObjects();
    for (int id : kStoreFonts) {
        LOGFONTW now{}, base{};
        ASSERT_NE(GetObjectW(store->handle<HFONT>(id), sizeof now, &now), 0) << id;
        ASSERT_NE(GetObjectW(at96.handle<HFONT>(id), sizeof base, &base), 0) << id;
        // Scaled, and lowered by at most a seventh where the glyphs would
        // otherwise grow wider than the layout around them.
        const int scaledHeight = GuiDpi::scale(std::abs(base.lfHeight), d);
        EXPECT_LE(std::abs(now.lfHeight), scaledHeight) << "font " << id << " at " << d << " DPI";
        EXPECT_GE(std::abs(now.lfHeight), scaledHeight - scaledHeight / 7)
            << "font " << id << " at " << d << " DPI";
        EXPECT_EQ(std::wstring(now.lfFaceName), std::wstring(base.lfFaceName)) << id;
    }
    at96.deleteGdiObjects();
}

TEST_F(InProcessAtDpi, EveryTextOfTheMainWindowFitsItsControl)
{
    rules.wrapped = {166};  // the note under the readouts
    rules.wrapFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL;
    rules.pictures = {112};  // the logo shows its bitmap
    EXPECT_GT(expectTextsFit(window, "main window", rules), 40);
    writeLongestSampleWindow();
    EXPECT_GT(expectTextsFit(window, "main window (longest sample-window line)", rules), 40);
    writeFiveDigitBands();
    EXPECT_GT(expectTextsFit(window, "main window (five-digit bands)", rules), 40);
    expectAxisCaptionClearOfTheScale(window, rules.upright);
}

// With a valid calibration the axis caption says "dB SPL", upright beside
// the scale.
TEST_F(InProcessAtDpi, TheAxisCaptionsFitAndClearTheScaleCalibratedOrNot)
{
    rules.pictures = {112};
    rules.wrapped = {166};
    rules.wrapFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL;
    expectAxisCaptionClearOfTheScale(window, rules.upright);
    store->set(Param::CalSampFrq, store->get(Param::SampFrq));
    store->set(Param::CalNumSamples, store->get(Param::NumSamples));
    store->set(Param::CalDate, 20261208);
    ASSERT_TRUE(waitFor([&] { return text(children(window)[122]) == L"dB SPL"; }, 5000));
    rules.upright = {122};
    EXPECT_GT(expectTextsFit(window, "main window (calibrated)", rules), 40);
    expectAxisCaptionClearOfTheScale(window, rules.upright);
    screenshot(window, "dpi" + std::to_string(dpi()) + "_calibrated");
    for (int range : {2, 3}) {  // the other scales' labels
        store->set(Param::DisplayDb, range);
        ASSERT_TRUE(waitFor([&] { return text(children(window)[129]) == (range == 2 ? L"40" : L"-30"); }, 5000));
        expectAxisCaptionClearOfTheScale(window, rules.upright);
    }
}

TEST_F(InProcessAtDpi, EveryTextOfTheConfigurationWindowFitsItsControl)
{
    // The factory settings, as the user sees them first.
    config = openConfig(window);
    ASSERT_NE(config, nullptr);
    EXPECT_GT(expectTextsFit(config, "configuration window", rules), 30);
    closeConfig();

    writeLongestSampleWindow();
    config = openConfig(window);
    ASSERT_NE(config, nullptr);
    ASSERT_NE(text(children(config)[144]).find(L"4096.000"), std::wstring::npos)
        << "the sample-window line shows the longest settings";
    EXPECT_GT(expectTextsFit(config, "configuration window (longest sample-window line)", rules),
              30);
    closeConfig();

    writeFiveDigitBands();
    config = openConfig(window);
    ASSERT_NE(config, nullptr);
    ASSERT_EQ(text(children(config)[116]), L"24000");
    EXPECT_GT(expectTextsFit(config, "configuration window (five-digit bands)", rules), 30);
}

// ----------------------------------- each window at its own monitor's DPI

namespace {

// What a top-level window shows of its scale: its client size, and each
// descendant's place and the font it answers to WM_GETFONT.
struct Scale {
    SIZE client{};
    std::map<HWND, std::pair<RECT, HFONT>> children;
};

Scale scaleOf(HWND top)
{
    Scale s;
    s.client = clientSize(top);
    for (HWND w : descendants(top))
        s.children[w] = {rectInParent(w), fontOf(w)};
    return s;
}

void expectSameScale(const Scale& now, const Scale& was, const std::string& name)
{
    EXPECT_EQ(now.client.cx, was.client.cx) << name << ": client width";
    EXPECT_EQ(now.client.cy, was.client.cy) << name << ": client height";
    EXPECT_EQ(now.children.size(), was.children.size()) << name;
    for (const auto& c : was.children) {
        const std::string what = name + " child " + std::to_string(GetDlgCtrlID(c.first));
        const auto n = now.children.find(c.first);
        ASSERT_NE(n, now.children.end()) << what << " is gone";
        EXPECT_TRUE(EqualRect(&n->second.first, &c.second.first))
            << what << " " << describe(n->second.first) << ", was " << describe(c.second.first);
        EXPECT_EQ(n->second.second, c.second.second) << what << ": another font";
        if (n->second.second) {
            EXPECT_EQ(GetObjectType(n->second.second), static_cast<DWORD>(OBJ_FONT))
                << what << " answers a deleted font";
        }
    }
}

}  // namespace

// The Configuration window moved to a monitor of another scale (Windows
// sends it WM_DPICHANGED; with one screen here, the test does) is laid out
// and draws at that scale, while the main window, on its own monitor, keeps
// its size, its fonts and the store's DPI. Back on the main window's monitor
// the Configuration window is exactly as it was.
TEST_F(InProcessAtDpi, TheConfigurationWindowAloneFollowsItsMonitorsDpi)
{
    const int d = dpi();
    const int other = d == 144 ? 96 : 144;
    config = openConfig(window);
    ASSERT_NE(config, nullptr);
    const Scale main = scaleOf(window);
    const Scale configAtD = scaleOf(config);
    const intptr_t storeDpi = store->get(Param::Dpi);
    // Which of the store's fonts each control draws with.
    std::map<HWND, int> fontIds;
    for (const auto& c : configAtD.children)
        for (int id : kStoreFonts)
            if (c.second.second && c.second.second == store->handle<HFONT>(id))
                fontIds[c.first] = id;
    ASSERT_GT(fontIds.size(), 30u);

    auto moveConfigTo = [&](int to) {
        RECT suggested{};
        GetWindowRect(config, &suggested);
        SendMessageW(config, WM_DPICHANGED, MAKEWPARAM(to, to),
                     reinterpret_cast<LPARAM>(&suggested));
        ASSERT_TRUE(answers(window));
    };
    moveConfigTo(other);
    std::string source;
    const SIZE base = clientAt96("config", kConfigOuter96, config, source);
    const SIZE client = clientSize(config);
    EXPECT_EQ(client.cx, GuiDpi::scale(base.cx, other)) << "client width at " << other << " DPI";
    EXPECT_EQ(client.cy, GuiDpi::scale(base.cy, other)) << "client height at " << other << " DPI";
    // Each control in its font made for the new DPI, as a store of its own
    // makes it.
    ParameterStore reference;
    reference.createGdiObjects();
    for (const auto& f : fontIds) {
        LOGFONTW now{}, want{};
        ASSERT_NE(GetObjectW(fontOf(f.first), sizeof now, &now), 0) << GetDlgCtrlID(f.first);
        GetObjectW(reinterpret_cast<HFONT>(reference.font(f.second, other)), sizeof want, &want);
        EXPECT_EQ(now.lfHeight, want.lfHeight)
            << "configuration window child " << GetDlgCtrlID(f.first) << ", font " << f.second;
        EXPECT_EQ(std::wstring(now.lfFaceName), std::wstring(want.lfFaceName));
    }
    reference.deleteGdiObjects();
    EXPECT_EQ(store->get(Param::Dpi), storeDpi) << "the store's DPI is the main window's";
    expectSameScale(scaleOf(window), main, "main window");
    pictureOf(config, ("config_at" + std::to_string(other)).c_str());

    moveConfigTo(d);
    expectSameScale(scaleOf(config), configAtD, "configuration window back");
    expectSameScale(scaleOf(window), main, "main window");
    EXPECT_EQ(store->get(Param::Dpi), storeDpi);
}
