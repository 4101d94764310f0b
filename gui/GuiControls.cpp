#include "gui/GuiControls.h"

#include "gui/GdiScope.h"

namespace {
constexpr int kTextBuffer = 255;

// One edge of a bevel `count` hairlines thick: the line and its copies moved
// one pixel at a time by (dx, dy), towards the inside of the button.
void edge(HDC dc, int x1, int y1, int x2, int y2, int dx, int dy, int count)
{
    POINT points[2] = {{x1, y1}, {x2, y2}};
    GuiWindow::repeatPolyline(dc, points, 2, count, dx, dy);
}
}  // namespace

// ---------------------------------------------------------------- GuiButton

GuiButton::GuiButton(GuiOwner* owner, int commandCode) : GuiWindow(owner), commandCode_(commandCode) {}

bool GuiButton::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                       HWND parent)
{
    if (!createWrappedControl(L"button",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_OWNERDRAW, -1, x,
                              y, width, height, caption, id, parent))
        return false;
    // Drawn by drawItem with font(); given to the control too, so that it
    // answers WM_GETFONT with it.
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
    return true;
}

HFONT GuiButton::font() const { return storeFont(Param::ButtonFont); }
HPEN GuiButton::shadowPen() const { return storeHandle<HPEN>(Param::ButtonShadowPen); }
HPEN GuiButton::highlightPen() const { return storeHandle<HPEN>(Param::ButtonHighlightPen); }
COLORREF GuiButton::backgroundColour() const { return storeColour(Param::UiColor15); }
COLORREF GuiButton::textColour() const { return storeColour(Param::UiColor16); }
COLORREF GuiButton::disabledBackgroundColour() const { return storeColour(Param::UiColor17); }
COLORREF GuiButton::disabledTextColour() const { return storeColour(Param::UiColor18); }
HBRUSH GuiButton::faceBrush() const { return storeHandle<HBRUSH>(Param::ButtonFaceBrush); }
HBRUSH GuiButton::disabledFaceBrush() const
{
    return storeHandle<HBRUSH>(Param::ButtonDisabledBrush);
}

LRESULT GuiButton::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM) {
        drawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return 1;
    }
    // One command per click: the second click of a double-click arrives as
    // BN_DOUBLECLICKED and is not a new command.
    if (message == WM_COMMAND && owner_) {
        if (HIWORD(wParam) != BN_CLICKED)
            return 0;
        return notifyOwner(commandCode_);
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

int GuiButton::drawItem(const DRAWITEMSTRUCT* item)
{
    HDC buffer = ownerPaintBuffer();
    HDC dc = buffer ? buffer : item->hDC;
    const int l = item->rcItem.left;
    const int t = item->rcItem.top;
    const int r = item->rcItem.right;
    const int b = item->rcItem.bottom;
    {
        GdiSelection fontSelection(dc, font());
        GdiSelection pen(dc, highlightPen());
        GdiSelection brush(dc, faceBrush());
        BkModeScope mode(dc, TRANSPARENT);
        BkColourScope bk(dc, backgroundColour());
        TextColourScope text(dc, textColour());

        wchar_t caption[kTextBuffer];
        const int length = static_cast<int>(SendMessageW(
            item->hwndItem, WM_GETTEXT, kTextBuffer, reinterpret_cast<LPARAM>(caption)));
        RECT textRect = item->rcItem;
        const UINT state = item->itemState;
        // The bevel's hairlines: one pixel each at 96 DPI, k pixels at k x 96.
        const int k = lineWidth();

        auto innerRectangle = [&] {
            for (int i = 0; i < k; ++i) {
                const int a = 3 * k + i;
                MoveToEx(dc, l + a, t + a, nullptr);
                LineTo(dc, r - 1 - a, t + a);
                LineTo(dc, r - 1 - a, b - 1 - a);
                LineTo(dc, l + a, b - 1 - a);
                LineTo(dc, l + a, t + a);
            }
        };

        if (state & ODS_DISABLED) {
            if (HBRUSH face = disabledFaceBrush())
                FillRect(dc, &item->rcItem, face);
            bk.set(disabledBackgroundColour());
            text.set(disabledTextColour());
            fontSelection.select(font());
        } else if (state & ODS_SELECTED) {
            if (HBRUSH face = faceBrush())
                FillRect(dc, &item->rcItem, face);
            pen.select(shadowPen());
            edge(dc, l, t, l, b, 1, 0, 2 * k);
            edge(dc, l, t, r, t, 0, 1, 2 * k);
            edge(dc, r - 1, t, r - 1, b, -1, 0, 2 * k);
            edge(dc, l, b - 1, r, b - 1, 0, -1, 2 * k);
            pen.select(highlightPen());
            innerRectangle();
            bk.set(backgroundColour());
            text.set(textColour());
            fontSelection.select(font());
            OffsetRect(&textRect, k, k);
        } else {
            if (HBRUSH face = faceBrush())
                FillRect(dc, &item->rcItem, face);
            pen.select(highlightPen());
            edge(dc, l, t, l, b, 1, 0, k);
            edge(dc, l + k, t + k, l + k, b - k, 1, 0, k);
            edge(dc, l, t, r, t, 0, 1, k);
            edge(dc, l + k, t + k, r - k, t + k, 0, 1, k);
            if (state & ODS_FOCUS)
                innerRectangle();
            pen.select(shadowPen());
            edge(dc, r - 1, t + k, r - 1, b, -1, 0, k);
            edge(dc, r - 1 - k, t + 2 * k, r - 1 - k, b - k, -1, 0, k);
            edge(dc, r - 1, b - 1, l, b - 1, 0, -1, k);
            edge(dc, r - 1 - k, b - 1 - k, l + k, b - 1 - k, 0, -1, k);
            bk.set(backgroundColour());
            text.set(textColour());
            fontSelection.select(font());
        }
        DrawTextW(dc, caption, length, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (buffer)
        BitBlt(item->hDC, 0, 0, r - l, b - t, buffer, l, t, SRCCOPY);
    return 0;
}

// ------------------------------------------------------------------ GuiEdit

GuiEdit::GuiEdit(GuiOwner* owner, int commandCode, DWORD extraStyle, int textLimit)
    : GuiWindow(owner), commandCode_(commandCode), textLimit_(textLimit), extraStyle_(extraStyle)
{
}

bool GuiEdit::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                     HWND parent)
{
    if (!createWrappedControl(L"edit", extraStyle_ | WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP,
                              -1, x, y, width, height, caption, id, parent))
        return false;
    SendMessageW(handle_, EM_LIMITTEXT, static_cast<WPARAM>(textLimit_), 0);
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
    return true;
}

HFONT GuiEdit::font() const { return storeFont(Param::EditFont); }

LRESULT GuiEdit::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && owner_)
        notifyOwner(commandCode_);
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

// -------------------------------------------------------------- GuiComboBox

GuiComboBox::GuiComboBox(GuiOwner* owner, int commandCode)
    : GuiWindow(owner), commandCode_(commandCode)
{
}

bool GuiComboBox::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                         HWND parent)
{
    if (!createWrappedControl(L"combobox", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST,
                              kListHeight, x, y, width, height, caption, id, parent))
        return false;
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
    fitToContainer();
    return true;
}

HFONT GuiComboBox::font() const { return storeFont(Param::EditFont); }

void GuiComboBox::applyDpi()
{
    GuiWindow::applyDpi();
    fitToContainer();
}

void GuiComboBox::fitToContainer()
{
    HWND container = handle_ ? GetParent(handle_) : nullptr;
    if (!container)
        return;
    RECT box{};
    RECT closed{};
    GetClientRect(container, &box);
    GetWindowRect(handle_, &closed);
    const int needed = closed.bottom - closed.top;
    if (needed <= box.bottom)
        return;  // the rest of the container shows the window's background
    RECT place{};
    GetWindowRect(container, &place);
    MapWindowPoints(nullptr, GetParent(container), reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(container, nullptr, place.left, place.top, place.right - place.left, needed,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

LRESULT GuiComboBox::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)  // the container, below a closed list lower than itself
        return eraseBackground(window, reinterpret_cast<HDC>(wParam),
                               storeHandle<HBRUSH>(Param::LabelBrush));
    if (message == WM_COMMAND && HIWORD(wParam) == CBN_CLOSEUP && owner_)
        notifyOwner(commandCode_);
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

// ----------------------------------------------------------- GuiColorSwatch

GuiColorSwatch::GuiColorSwatch(GuiOwner* owner, int commandCode)
    : GuiWindow(owner), commandCode_(commandCode)
{
}

bool GuiColorSwatch::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                            HWND parent)
{
    // A tab stop: the keyboard reaches it, and its owner opens the colour
    // dialog on Space or Enter.
    return createOwnWindow(0, GuiStyle::Bordered | WS_TABSTOP, x, y, width, height, caption, id,
                           parent);
}

void GuiColorSwatch::setBrush(HBRUSH brush)
{
    brush_ = brush;
    if (handle_)
        InvalidateRect(handle_, nullptr, FALSE);
}

LRESULT GuiColorSwatch::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: {
        const LRESULT erased = eraseBackground(window, reinterpret_cast<HDC>(wParam), brush_);
        // The focused swatch shows the dotted focus frame inside its border.
        if (GetFocus() == window) {
            RECT r;
            GetClientRect(window, &r);
            InflateRect(&r, -scaled(2), -scaled(2));
            DrawFocusRect(reinterpret_cast<HDC>(wParam), &r);
        }
        return erased;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, TRUE);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the class has CS_DBLCLKS: a quick second click is still a click
        notifyOwner(commandCode_);
        return 0;
    default:
        break;
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}
