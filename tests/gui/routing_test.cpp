// The window class, the one window procedure and the creation patterns, with
// real windows.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TestHost.h"
#include "WindowQuery.h"
#include "gui/GuiControls.h"
#include "gui/GuiDecorations.h"
#include "gui/GuiLabels.h"
#include "gui/GuiLevelMeter.h"
#include "gui/GuiSpectrumGraph.h"
#include "gui/GuiWaveformView.h"

namespace {

// A window object that records the messages its windowProc receives.
class Recorder : public GuiWindow {
public:
    explicit Recorder(GuiOwner* owner) : GuiWindow(owner) {}
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        seen.push_back(message);
        if (message == WM_CREATE)
            userDataAtCreate = GetWindowLongPtrW(window, GWLP_USERDATA);
        if (message == WM_NCDESTROY)
            handleAtNcDestroy = handle();
        return GuiWindow::windowProc(window, message, wParam, lParam);
    }
    bool create(DWORD exStyle, DWORD style, int x, int y, int w, int h, const wchar_t* caption, int id,
                HWND parent)
    {
        return createOwnWindow(exStyle, style, x, y, w, h, caption, id, parent);
    }
    std::vector<UINT> seen;
    LONG_PTR userDataAtCreate = 0;
    HWND handleAtNcDestroy = nullptr;
};

std::vector<UINT> g_hooked;
HHOOK g_hook = nullptr;
LRESULT CALLBACK recordSent(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION)
        g_hooked.push_back(reinterpret_cast<CWPSTRUCT*>(lParam)->message);
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

// Refuses the creation of the window with one control id: a control that
// cannot be created (its container has the id + 10000 and is let through).
// Also records the size every window was asked to have, by id.
int g_refusedId = 0;
HHOOK g_cbt = nullptr;
struct Asked {
    INT_PTR id;
    SIZE size;
    DWORD style;
};
std::vector<Asked> g_asked;
LRESULT CALLBACK refuseCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        auto* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        g_asked.push_back({reinterpret_cast<INT_PTR>(cbt->lpcs->hMenu), SIZE{cbt->lpcs->cx, cbt->lpcs->cy},
                           static_cast<DWORD>(cbt->lpcs->style)});
    }
    if (code == HCBT_CREATEWND && g_refusedId) {
        auto* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        if (reinterpret_cast<INT_PTR>(cbt->lpcs->hMenu) == g_refusedId)
            return 1;
    }
    return CallNextHookEx(g_cbt, code, wParam, lParam);
}

// What every window was asked for while `make` ran (its result returned).
bool recordAsked(const std::function<bool()>& make)
{
    g_asked.clear();
    g_cbt = SetWindowsHookExW(WH_CBT, refuseCreation, nullptr, GetCurrentThreadId());
    const bool made = make();
    UnhookWindowsHookEx(g_cbt);
    return made;
}

int countChildren(HWND parent) { return static_cast<int>(qxsupport::descendants(parent).size()); }

std::wstring className(HWND w) { return qxsupport::classNameOf(w); }

}  // namespace

TEST(Registration, RegistersOnceAndAgainSilently)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    EXPECT_TRUE(registerGuiWindowClass(instance));
    EXPECT_TRUE(registerGuiWindowClass(instance));  // already exists: success

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExW(instance, L"P2GUIWindow", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
    EXPECT_EQ(wc.lpfnWndProc, &guiWindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(6)));
    EXPECT_EQ(wc.hCursor, LoadCursorW(nullptr, IDC_ARROW));
#ifdef QX_TEST_HAS_RESOURCES
    EXPECT_NE(wc.hIcon, nullptr);
    EXPECT_NE(wc.hIconSm, nullptr);
#endif
}

TEST(Registration, FailureIsReportedToTheCallerWithTheSystemError)
{
    // Wine refuses classes registered for user32's own module, which gives a
    // genuine failure of RegisterClassExW here. The toolkit shows no box: the
    // call returns at once.
    HINSTANCE user32 = GetModuleHandleW(L"user32.dll");
    ASSERT_NE(user32, nullptr);
    DWORD error = 0;
    if (registerGuiWindowClass(user32, &error))
        GTEST_SKIP() << "this system registers classes for user32's module";
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST(Routing, MessagesBeforeCreateGetDefaultProcessingAndObjectSeesTheRest)
{
    TestHost host;
    auto& rec = host.adopt(new Recorder(&host));
    g_hooked.clear();
    g_hook = SetWindowsHookExW(WH_CALLWNDPROC, recordSent, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(rec.create(0, WS_CHILD | WS_VISIBLE, 10, 10, 50, 20, L"early", 7, host.window()));
    UnhookWindowsHookEx(g_hook);

    // The window procedure got WM_NCCREATE (and others) before WM_CREATE...
    auto first = [](const std::vector<UINT>& v, UINT m) {
        for (size_t i = 0; i < v.size(); ++i)
            if (v[i] == m)
                return static_cast<int>(i);
        return -1;
    };
    ASSERT_GE(first(g_hooked, WM_NCCREATE), 0);
    ASSERT_GT(first(g_hooked, WM_CREATE), first(g_hooked, WM_NCCREATE));
    // ...but the object's first message is WM_CREATE, and by then the user
    // data already holds the object.
    ASSERT_FALSE(rec.seen.empty());
    EXPECT_EQ(rec.seen.front(), static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(rec.userDataAtCreate, reinterpret_cast<LONG_PTR>(static_cast<GuiWindow*>(&rec)));
    // Default processing of WM_NCCREATE set the caption.
    wchar_t text[16] = {};
    GetWindowTextW(rec.handle(), text, 16);
    EXPECT_STREQ(text, L"early");
    EXPECT_EQ(GetDlgCtrlID(rec.handle()), 7);
    // Messages after creation reach the object.
    SendMessageW(rec.handle(), WM_USER + 5, 0, 0);
    EXPECT_EQ(rec.seen.back(), static_cast<UINT>(WM_USER + 5));
}

TEST(Routing, DestroyClearsUserDataAndHandle)
{
    TestHost host;
    auto& rec = host.adopt(new Recorder(&host));
    ASSERT_TRUE(rec.create(0, WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, L"", 8, host.window()));
    HWND w = rec.handle();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(static_cast<GuiWindow*>(&rec)));
    DestroyWindow(w);
    EXPECT_EQ(rec.seen.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(rec.handleAtNcDestroy, w);  // the object still knew its window then
    EXPECT_EQ(rec.handle(), nullptr);     // and is cut loose afterwards
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(rec.preTranslate(nullptr), 0);
}

TEST(Routing, MoveTracksSignedPosition)
{
    TestHost host;
    auto& label = host.adopt(new GuiLabel(&host, DT_SINGLELINE));
    ASSERT_TRUE(label.create(30, 40, 50, 20, L"x", 9, host.window()));
    EXPECT_EQ(label.x(), 30);  // WM_MOVE of creation
    EXPECT_EQ(label.y(), 40);
    SetWindowPos(label.handle(), nullptr, -30, -20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(label.x(), -30);
    EXPECT_EQ(label.y(), -20);
    // A sunken window reports the position of its client area.
    auto& view = host.adopt(new GuiWaveformView(&host));
    ASSERT_TRUE(view.create(100, 50, 104, 54, nullptr, 10, host.window()));
    EXPECT_EQ(view.x(), 102);
    EXPECT_EQ(view.y(), 52);
}

TEST(Routing, PreTranslateWithoutWindowReturnsZero)
{
    TestHost host;
    auto& label = host.adopt(new GuiLabel(&host, 0));
    MSG msg{};
    msg.hwnd = host.window();
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_TAB;
    EXPECT_EQ(label.preTranslate(&msg), 0);
    auto& button = host.adopt(new GuiButton(&host, 1));
    EXPECT_EQ(button.preTranslate(&msg), 0);
}

TEST(Routing, CreateWithoutOwnerMakesNothing)
{
    TestHost host;
    const int before = countChildren(host.window());
    auto& label = host.adopt(new GuiLabel(nullptr, 0));
    EXPECT_FALSE(label.create(0, 0, 10, 10, L"a", 1, host.window()));
    EXPECT_EQ(label.handle(), nullptr);
    auto& button = host.adopt(new GuiButton(nullptr, 101));
    EXPECT_FALSE(button.create(0, 0, 10, 10, L"b", 2, host.window()));
    EXPECT_EQ(button.handle(), nullptr);
    auto& graph = host.adopt(new GuiSpectrumGraph(nullptr));
    EXPECT_FALSE(graph.create(0, 0, 10, 10, nullptr, 3, host.window()));
    auto& logo = host.adopt(new GuiLogo(nullptr, 0));
    EXPECT_FALSE(logo.create(0, 0, 10, 10, L"c", 4, host.window()));
    EXPECT_EQ(countChildren(host.window()), before);
    // The same widget with an owner is created.
    label.setOwner(&host);
    EXPECT_TRUE(label.create(0, 0, 10, 10, L"a", 1, host.window()));
    EXPECT_EQ(countChildren(host.window()), before + 1);
}

TEST(CreationPatterns, StylesIdsAndClasses)
{
    TestHost host;
    struct Case {
        GuiWindow* widget;
        DWORD exStyle;
        DWORD style;
    };
    auto& label = host.adopt(new GuiLabel(&host, DT_SINGLELINE));
    GuiLevelMeter* meter = nullptr;
    auto& refMeter = host.adopt(new GuiReferenceMeter(&host));
    meter = &refMeter;
    auto& graph = host.adopt(new GuiSpectrumGraph(&host));
    auto& view = host.adopt(new GuiWaveformView(&host));
    auto& swatch = host.adopt(new GuiColorSwatch(&host, 215));
    auto& panel = host.adopt(new GuiPanel(&host));
    auto& diagram = host.adopt(new GuiBandDiagram(&host));
    auto& progress = host.adopt(new GuiProgress(&host, DT_SINGLELINE));
    ASSERT_TRUE(label.create(0, 0, 50, 20, L"l", 11, host.window()));
    ASSERT_TRUE(meter->create(0, 30, 82, 19, nullptr, 12, host.window()));
    ASSERT_TRUE(graph.create(0, 60, 584, 204, nullptr, 13, host.window()));
    ASSERT_TRUE(view.create(0, 270, 584, 104, nullptr, 14, host.window()));
    ASSERT_TRUE(swatch.create(600, 0, 120, 21, nullptr, 15, host.window()));
    ASSERT_TRUE(panel.create(600, 30, 100, 2, nullptr, 16, host.window()));
    ASSERT_TRUE(diagram.create(600, 40, 311, 10, nullptr, 17, host.window()));
    ASSERT_TRUE(progress.create(600, 60, 150, 20, L"p", 18, host.window()));
    const Case cases[] = {
        {&label, 0, WS_CHILD | WS_VISIBLE},
        {meter, 0, WS_CHILD | WS_VISIBLE},
        {&graph, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE},
        {&view, WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE},
        {&swatch, 0, WS_CHILD | WS_VISIBLE | WS_BORDER},
        {&panel, 0, WS_CHILD | WS_VISIBLE},
        {&diagram, 0, WS_CHILD | WS_VISIBLE},
        {&progress, 0, WS_CHILD | WS_VISIBLE},
    };
    int id = 11;
    for (const Case& c : cases) {
        HWND w = c.widget->handle();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(className(w), L"P2GUIWindow");
        EXPECT_EQ(GetParent(w), host.window());
        EXPECT_EQ(GetDlgCtrlID(w), id);
        const DWORD style = static_cast<DWORD>(GetWindowLongW(w, GWL_STYLE));
        const DWORD ex = static_cast<DWORD>(GetWindowLongW(w, GWL_EXSTYLE));
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_BORDER | WS_CLIPCHILDREN), c.style) << id;
        EXPECT_EQ(ex & (WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT), c.exStyle) << id;
        EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(c.widget)) << id;
        ++id;
    }
    RECT rc;
    GetClientRect(graph.handle(), &rc);
    EXPECT_EQ(rc.right, 580);  // the sunken edge takes two pixels a side
    EXPECT_EQ(rc.bottom, 200);
}

TEST(CreationPatterns, WrappedControlsSitInAContainer)
{
    TestHost host;
    auto& button = host.adopt(new GuiButton(&host, 101));
    auto& edit = host.adopt(new GuiEdit(&host, 209, ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER, 5));
    auto& combo = host.adopt(new GuiComboBox(&host, 206));
    ASSERT_TRUE(button.create(10, 10, 70, 25, L"&Reference", 101, host.window()));
    ASSERT_TRUE(edit.create(10, 40, 120, 20, L"12", 119, host.window()));
    ASSERT_TRUE(combo.create(10, 70, 120, 21, nullptr, 103, host.window()));

    struct Case {
        GuiWindow* widget;
        const wchar_t* cls;
        int id;
        int height;
    };
    const Case cases[] = {{&button, L"Button", 101, 25}, {&edit, L"Edit", 119, 20}, {&combo, L"ComboBox", 103, 21}};
    for (const Case& c : cases) {
        HWND control = c.widget->handle();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(lstrcmpiW(className(control).c_str(), c.cls), 0);
        EXPECT_EQ(GetDlgCtrlID(control), c.id);
        HWND container = GetParent(control);
        EXPECT_EQ(className(container), L"P2GUIWindow");
        EXPECT_EQ(GetParent(container), host.window());
        EXPECT_EQ(GetDlgCtrlID(container), c.id + 10000);
        EXPECT_EQ(GetDlgItem(host.window(), c.id + 10000), container);
        EXPECT_EQ(GetWindowLongPtrW(container, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(c.widget));
        const DWORD style = static_cast<DWORD>(GetWindowLongW(container, GWL_STYLE));
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
                  static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
        EXPECT_TRUE(GetWindowLongW(container, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
        wchar_t caption[8] = L"?";
        GetWindowTextW(container, caption, 8);
        EXPECT_STREQ(caption, L"");
        RECT cr;
        GetWindowRect(container, &cr);
        RECT r;
        GetWindowRect(control, &r);
        // The container keeps the asked height; a drop-down list's grows to
        // its closed list where that is higher (its frame is never cut off).
        const int closed = r.bottom - r.top;
        const bool list = c.id == 103;
        EXPECT_EQ(cr.bottom - cr.top, list && closed > c.height ? closed : c.height);
        EXPECT_EQ(r.left, cr.left);
        EXPECT_EQ(r.top, cr.top);
        EXPECT_EQ(r.right - r.left, cr.right - cr.left);
        const DWORD cs = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
        EXPECT_TRUE(cs & WS_TABSTOP);
        EXPECT_TRUE(cs & WS_VISIBLE);
    }
    wchar_t text[32];
    GetWindowTextW(button.handle(), text, 32);
    EXPECT_STREQ(text, L"&Reference");
    EXPECT_EQ(GetWindowLongW(button.handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_TRUE(GetWindowLongW(button.handle(), GWL_STYLE) & BS_CENTER);
    EXPECT_EQ(SendMessageW(edit.handle(), EM_GETLIMITTEXT, 0, 0), 5);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(edit.handle(), WM_GETFONT, 0, 0)),
              host.params().handle<HFONT>(Param::EditFont));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(combo.handle(), WM_GETFONT, 0, 0)),
              host.params().handle<HFONT>(Param::EditFont));
}

TEST(CreationPatterns, FailedControlLeavesNoContainer)
{
    TestHost host;
    const int before = countChildren(host.window());
    g_cbt = SetWindowsHookExW(WH_CBT, refuseCreation, nullptr, GetCurrentThreadId());
    g_refusedId = 119;
    auto& edit = host.adopt(new GuiEdit(&host, 209, 0, 5));
    const bool made = edit.create(10, 10, 100, 20, L"", 119, host.window());
    g_refusedId = 101;
    auto& button = host.adopt(new GuiButton(&host, 101));
    const bool madeButton = button.create(10, 40, 70, 25, L"B", 101, host.window());
    g_refusedId = 0;
    UnhookWindowsHookEx(g_cbt);

    EXPECT_FALSE(made);
    EXPECT_EQ(edit.handle(), nullptr);
    EXPECT_EQ(GetDlgItem(host.window(), 119 + 10000), nullptr);
    EXPECT_FALSE(madeButton);
    EXPECT_EQ(button.handle(), nullptr);
    EXPECT_EQ(GetDlgItem(host.window(), 101 + 10000), nullptr);
    EXPECT_EQ(countChildren(host.window()), before);

    // Without the refusal the same objects are created, container and all.
    EXPECT_TRUE(edit.create(10, 10, 100, 20, L"", 119, host.window()));
    EXPECT_NE(GetDlgItem(host.window(), 119 + 10000), nullptr);
}

TEST(CreationPatterns, ComboBoxIsMade150HighInAContainerOfTheAskedHeight)
{
    TestHost host;
    auto& combo = host.adopt(new GuiComboBox(&host, 206));
    ASSERT_TRUE(recordAsked([&] { return combo.create(10, 70, 120, 21, nullptr, 103, host.window()); }));
    std::vector<Asked> mine;
    for (auto& a : g_asked)
        if (a.id == 103 || a.id == 10103)
            mine.push_back(a);
    ASSERT_EQ(mine.size(), 2u);
    EXPECT_EQ(mine[0].id, 10103);  // the container first, as asked
    EXPECT_EQ(mine[0].size.cx, 120);
    EXPECT_EQ(mine[0].size.cy, 21);
    EXPECT_EQ(mine[1].id, 103);  // then the control, 150 high
    EXPECT_EQ(mine[1].size.cx, 120);
    EXPECT_EQ(mine[1].size.cy, 150);
    EXPECT_EQ(mine[1].style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST));
}

TEST(CreationPatterns, EditIsAskedForItsStyleBitsAndABorder)
{
    TestHost host;
    auto& edit = host.adopt(new GuiEdit(&host, 211, ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER, 5));
    auto& button = host.adopt(new GuiButton(&host, 201));
    ASSERT_TRUE(recordAsked([&] {
        return edit.create(8, 473, 60, 20, nullptr, 113, host.window()) &&
               button.create(28, 515, 75, 25, L"Apply", 135, host.window());
    }));
    bool sawEdit = false, sawButton = false;
    for (auto& a : g_asked) {
        if (a.id == 113) {
            sawEdit = true;
            EXPECT_EQ(a.style, static_cast<DWORD>(0x2082 | WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP));
            EXPECT_EQ(a.size.cx, 60);
            EXPECT_EQ(a.size.cy, 20);
        }
        if (a.id == 135) {
            sawButton = true;
            EXPECT_EQ(a.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_OWNERDRAW));
            EXPECT_EQ(a.size.cx, 75);
            EXPECT_EQ(a.size.cy, 25);
        }
    }
    EXPECT_TRUE(sawEdit);
    EXPECT_TRUE(sawButton);
}

TEST(CreationPatterns, ContainerDestructionClearsWrapperHandle)
{
    TestHost host;
    auto& button = host.adopt(new GuiButton(&host, 101));
    ASSERT_TRUE(button.create(10, 10, 70, 25, L"B", 101, host.window()));
    HWND control = button.handle();
    DestroyWindow(GetParent(control));
    EXPECT_FALSE(IsWindow(control));
    EXPECT_EQ(button.handle(), nullptr);
}
