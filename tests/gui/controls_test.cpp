// The owner-drawn button, the edit field, the drop-down list and the colour
// swatch, used with the real mouse and keyboard.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TestHost.h"
#include "gui/GuiControls.h"

namespace {

constexpr COLORREF kFace = 0xA08080;
constexpr COLORREF kFaceOff = 0x606060;
constexpr COLORREF kLight = 0xD0D0D0;
constexpr COLORREF kShadow = 0x7A7070;
constexpr COLORREF kText = 0xFFFFFF;
constexpr COLORREF kTextOff = 0xC0C0C0;
constexpr int kBw = 70;
constexpr int kBh = 25;

// The expected edge picture of a button face: lines drawn like MoveToEx /
// LineTo (end pixel left out), in drawing order.
class Face {
public:
    explicit Face(COLORREF fill) : p_(static_cast<size_t>(kBw) * kBh, fill) {}
    void line(int x1, int y1, int x2, int y2, COLORREF c)
    {
        const int dx = (x2 > x1) - (x2 < x1), dy = (y2 > y1) - (y2 < y1);
        for (int x = x1, y = y1; x != x2 || y != y2; x += dx, y += dy)
            if (x >= 0 && y >= 0 && x < kBw && y < kBh) p_[static_cast<size_t>(y) * kBw + x] = c;
    }
    void inner(COLORREF c)
    {
        const int l = 0, t = 0, r = kBw, b = kBh;
        line(l + 3, t + 3, r - 4, t + 3, c);
        line(r - 4, t + 3, r - 4, b - 4, c);
        line(r - 4, b - 4, l + 3, b - 4, c);
        line(l + 3, b - 4, l + 3, t + 3, c);
    }
    COLORREF at(int x, int y) const { return p_[static_cast<size_t>(y) * kBw + x]; }

private:
    std::vector<COLORREF> p_;
};

Face raised(bool focus)
{
    const int l = 0, t = 0, r = kBw, b = kBh;
    Face f(kFace);
    f.line(l, t, l, b, kLight);
    f.line(l + 1, t + 1, l + 1, b - 1, kLight);
    f.line(l, t, r, t, kLight);
    f.line(l + 1, t + 1, r - 1, t + 1, kLight);
    if (focus) f.inner(kLight);
    f.line(r - 1, t + 1, r - 1, b, kShadow);
    f.line(r - 2, t + 2, r - 2, b - 1, kShadow);
    f.line(r - 1, b - 1, l, b - 1, kShadow);
    f.line(r - 2, b - 2, l + 1, b - 2, kShadow);
    return f;
}

Face pressed()
{
    const int l = 0, t = 0, r = kBw, b = kBh;
    Face f(kFace);
    f.line(l, t, l, b, kShadow);
    f.line(l + 1, t, l + 1, b, kShadow);
    f.line(l, t, r, t, kShadow);
    f.line(l, t + 1, r, t + 1, kShadow);
    f.line(r - 1, t, r - 1, b, kShadow);
    f.line(r - 2, t, r - 2, b, kShadow);
    f.line(l, b - 1, r, b - 1, kShadow);
    f.line(l, b - 2, r, b - 2, kShadow);
    f.inner(kLight);
    return f;
}

// Compares the face outside the caption's area (the caption is short and
// centred, so a 6-pixel band all round holds edges and face only).
::testing::AssertionResult looksLike(const Image& image, const Face& face)
{
    for (int y = 0; y < kBh; ++y)
        for (int x = 0; x < kBw; ++x) {
            const bool band = x < 6 || y < 6 || x >= kBw - 6 || y >= kBh - 6;
            if (band && image.at(x, y) != face.at(x, y))
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << std::hex << image.at(x, y) << " not "
                       << face.at(x, y);
        }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Button, FourLooks)
{
    TestHost host;
    auto& button = host.adopt(new GuiButton(&host, 101));
    auto& other = host.adopt(new GuiButton(&host, 102));
    ASSERT_TRUE(button.create(20, 20, kBw, kBh, L"Go", 101, host.window()));
    ASSERT_TRUE(other.create(120, 20, kBw, kBh, L"Other", 102, host.window()));
    SetFocus(other.handle());
    pumpMessages();

    // Released, without focus: raised edges, no inner rectangle.
    repaint(button.handle());
    const Image normal = captureClient(button.handle());
    EXPECT_TRUE(looksLike(normal, raised(false)));
    const auto caption = pixelsOf(normal, kText);
    EXPECT_GT(caption.size(), 10u);

    // Focused: the inner rectangle in the highlight pen.
    SetFocus(button.handle());
    pumpMessages();
    const Image focused = captureClient(button.handle());
    EXPECT_TRUE(looksLike(focused, raised(true)));
    EXPECT_EQ(pixelsOf(focused, kText), caption);

    // Pressed (and focused): shadow all round, inner rectangle, caption one
    // pixel right and down.
    SendMessageW(button.handle(), BM_SETSTATE, TRUE, 0);
    pumpMessages();
    const Image down = captureClient(button.handle());
    EXPECT_TRUE(looksLike(down, pressed()));
    std::set<std::pair<int, int>> shifted;
    for (auto p : caption) shifted.insert({p.first + 1, p.second + 1});
    EXPECT_EQ(pixelsOf(down, kText), shifted);
    SendMessageW(button.handle(), BM_SETSTATE, FALSE, 0);
    pumpMessages();

    // Disabled: the disabled face, no edges, the disabled caption colour.
    EnableWindow(button.handle(), FALSE);
    pumpMessages();
    repaint(button.handle());
    const Image off = captureClient(button.handle());
    EXPECT_TRUE(looksLike(off, Face(kFaceOff)));
    EXPECT_EQ(pixelsOf(off, kTextOff), caption);
    EXPECT_EQ(off.count(kText), 0);

    // Disabled wins over every other state bit.
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 101;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = ODS_DISABLED | ODS_FOCUS | ODS_SELECTED;
    item.hwndItem = button.handle();
    item.hDC = GetDC(button.handle());
    item.rcItem = RECT{0, 0, kBw, kBh};
    EXPECT_EQ(button.drawItem(&item), 0);
    ReleaseDC(button.handle(), item.hDC);
    const Image forced = captureClient(button.handle());
    EXPECT_TRUE(looksLike(forced, Face(kFaceOff)));
    EXPECT_EQ(pixelsOf(forced, kTextOff), caption);
}

TEST(Button, ClickAndSpaceEachGiveOneNotification)
{
    TestHost host;
    host.onNotify = [](int) { return 77; };
    auto& button = host.adopt(new GuiButton(&host, 101));
    ASSERT_TRUE(button.create(20, 20, kBw, kBh, L"&Reference", 101, host.window()));
    pumpMessages();
    clickAt(button.handle(), 35, 12);
    EXPECT_EQ(host.notifications, std::vector<int>{101});
    SetFocus(button.handle());
    pressKey(VK_SPACE);
    EXPECT_EQ(host.notifications, (std::vector<int>{101, 101}));

    // While the mouse button is held the face looks pressed. (Pressed away
    // from the first click's spot, so that it is not a double-click.)
    POINT p{12, 18};
    ClientToScreen(button.handle(), &p);
    qxsupport::mouseEvent(p, MOUSEEVENTF_LEFTDOWN);
    pumpMessages();
    EXPECT_TRUE(looksLike(captureClient(button.handle()), pressed()));
    EXPECT_EQ(host.notifications.size(), 2u);  // nothing until released
    qxsupport::mouseEvent(p, MOUSEEVENTF_LEFTUP);
    pumpMessages();
    EXPECT_EQ(host.notifications, (std::vector<int>{101, 101, 101}));
    EXPECT_TRUE(looksLike(captureClient(button.handle()), raised(true)));

    // A double-click is two commands of the control (clicked, then
    // double-clicked): one command per click, the second is not a new one.
    doubleClickAt(button.handle(), 50, 8);
    EXPECT_EQ(host.notifications, (std::vector<int>{101, 101, 101, 101}));

    // The owner's answer is the result of the control's WM_COMMAND.
    HWND container = GetParent(button.handle());
    EXPECT_EQ(SendMessageW(container, WM_COMMAND, MAKEWPARAM(101, BN_CLICKED),
                           reinterpret_cast<LPARAM>(button.handle())),
              77);
    // Without an owner nothing is sent.
    button.setOwner(nullptr);
    Sleep(GetDoubleClickTime() + 50);
    clickAt(button.handle(), 35, 12);
    EXPECT_EQ(host.notifications.size(), 5u);
}

TEST(Edit, EachTextChangeGivesOneNotification)
{
    TestHost host;
    auto& edit = host.adopt(new GuiEdit(&host, 209, ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER, 5));
    ASSERT_TRUE(edit.create(183, 172, 120, 20, nullptr, 119, host.window()));
    pumpMessages();
    EXPECT_TRUE(host.notifications.empty());  // creation reports nothing
    SetFocus(edit.handle());
    typeText(L"7");
    EXPECT_EQ(host.notifications, std::vector<int>{209});
    typeText(L"12");
    EXPECT_EQ(host.notifications.size(), 3u);
    // ES_NUMBER refuses a letter: no change, no notification.
    typeText(L"x");
    EXPECT_EQ(host.notifications.size(), 3u);
    typeText(L"34");
    EXPECT_EQ(host.notifications.size(), 5u);
    // The limit of 5 characters holds.
    typeText(L"56");
    wchar_t text[16] = {};
    GetWindowTextW(edit.handle(), text, 16);
    EXPECT_STREQ(text, L"71234");
    // Setting the text is one change.
    const size_t before = host.notifications.size();
    SetWindowTextW(edit.handle(), L"50");
    EXPECT_EQ(host.notifications.size(), before + 1);
    // Backspace deletes one character: one change.
    SendMessageW(edit.handle(), EM_SETSEL, 2, 2);
    pressKey(VK_BACK);
    EXPECT_EQ(host.notifications.size(), before + 2);
    for (int code : host.notifications) EXPECT_EQ(code, 209);
    // Without an owner the field still works and reports nothing.
    edit.setOwner(nullptr);
    typeText(L"9");
    EXPECT_EQ(host.notifications.size(), before + 2);
    GetWindowTextW(edit.handle(), text, 16);
    EXPECT_STREQ(text, L"59");
}

TEST(ComboBox, ClosingTheListGivesOneNotification)
{
    TestHost host;
    auto& combo = host.adopt(new GuiComboBox(&host, 206));
    ASSERT_TRUE(combo.create(183, 31, 120, 21, nullptr, 103, host.window()));
    for (const wchar_t* item : {L"4", L"8", L"12", L"24", L"48"})
        SendMessageW(combo.handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageW(combo.handle(), CB_SETCURSEL, 2, 0);
    pumpMessages();
    SetFocus(combo.handle());
    pumpMessages();

    // Open and close with the keyboard without choosing.
    pressKey(VK_F4);
    EXPECT_TRUE(SendMessageW(combo.handle(), CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_TRUE(host.notifications.empty());  // opening reports nothing
    pressKey(VK_F4);
    EXPECT_FALSE(SendMessageW(combo.handle(), CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(host.notifications, std::vector<int>{206});

    // Changing the selection with the list closed is not a closing.
    pressKey(VK_DOWN);
    EXPECT_EQ(SendMessageW(combo.handle(), CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(host.notifications.size(), 1u);

    // Open with the mouse, pick an entry: one more on the close.
    RECT rc;
    GetClientRect(combo.handle(), &rc);
    clickAt(combo.handle(), rc.right - 8, rc.bottom / 2);
    ASSERT_TRUE(SendMessageW(combo.handle(), CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(host.notifications.size(), 1u);
    pressKey(VK_UP);
    pressKey(VK_RETURN);
    EXPECT_FALSE(SendMessageW(combo.handle(), CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(host.notifications, (std::vector<int>{206, 206}));
    EXPECT_EQ(SendMessageW(combo.handle(), CB_GETCURSEL, 0, 0), 2);
}

TEST(ColorSwatch, ShowsItsBrushAndReportsClicks)
{
    TestHost host;
    auto& swatch = host.adopt(new GuiColorSwatch(&host, 215));
    ASSERT_TRUE(swatch.create(183, 259, 120, 21, nullptr, 124, host.window()));
    pumpMessages();
    RECT rc;
    GetClientRect(swatch.handle(), &rc);
    EXPECT_EQ(rc.right, 118);  // one-pixel border
    EXPECT_EQ(rc.bottom, 19);

    HBRUSH red = CreateSolidBrush(0x0000FF);
    ValidateRect(swatch.handle(), nullptr);
    swatch.setBrush(red);
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(swatch.handle(), &update, FALSE));  // invalidated
    // The colour shows when the background is erased.
    RedrawWindow(swatch.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Image image = captureClient(swatch.handle());
    EXPECT_EQ(image.count(0x0000FF), 118 * 19);

    clickAt(swatch.handle(), 50, 10);
    EXPECT_EQ(host.notifications, std::vector<int>{215});
    clickAt(swatch.handle(), 100, 5);
    EXPECT_EQ(host.notifications, (std::vector<int>{215, 215}));

    // The brush is borrowed: destroying the swatch leaves it alive.
    DestroyWindow(swatch.handle());
    EXPECT_EQ(GetObjectType(red), static_cast<DWORD>(OBJ_BRUSH));
    DeleteObject(red);

    // A swatch without an owner ignores clicks.
    auto& lone = host.adopt(new GuiColorSwatch(&host, 216));
    ASSERT_TRUE(lone.create(183, 282, 120, 21, nullptr, 126, host.window()));
    lone.setOwner(nullptr);
    pumpMessages();
    clickAt(lone.handle(), 50, 10);
    EXPECT_EQ(host.notifications.size(), 2u);
}
