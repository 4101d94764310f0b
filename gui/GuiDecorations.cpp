#include "gui/GuiDecorations.h"

#include <initializer_list>

#include "gui/GdiScope.h"
#include "gui/GuiGeometry.h"

namespace {
constexpr int kTextBuffer = 255;
constexpr int kBarGap = 5;
}  // namespace

// -------------------------------------------------------------- GuiProgress

void GuiProgress::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
}

void GuiProgress::setValue(int value)
{
    value_ = value;
    if (handle_)
        InvalidateRect(handle_, nullptr, FALSE);
}

bool GuiProgress::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                         HWND parent)
{
    return createOwnWindow(0, GuiStyle::Plain, x, y, width, height, caption, id, parent);
}

int GuiProgress::minimum() { return minimum_; }
int GuiProgress::maximum() { return maximum_; }
int GuiProgress::value() { return value_; }
COLORREF GuiProgress::backgroundColour() const { return storeColour(Param::UiColor19); }
COLORREF GuiProgress::textColour() const { return storeColour(Param::UiColor20); }
HBRUSH GuiProgress::eraseBrush() const { return storeHandle<HBRUSH>(Param::LabelBrush); }
HBRUSH GuiProgress::fillBrush() const { return storeHandle<HBRUSH>(Param::ProgressFillBrush); }
HBRUSH GuiProgress::emptyBrush() const { return storeHandle<HBRUSH>(Param::ProgressEmptyBrush); }
HFONT GuiProgress::font() const { return storeFont(Param::LabelFont); }

LRESULT GuiProgress::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        return paint(window);
    case WM_ERASEBKGND:
        return eraseBackground(window, reinterpret_cast<HDC>(wParam), eraseBrush());
    default:
        return GuiWindow::windowProc(window, message, wParam, lParam);
    }
}

LRESULT GuiProgress::paint(HWND window)
{
    GuiPaint paint(window, ownerPaintBuffer());
    HDC dc = paint.target();
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc;
    GetClientRect(window, &rc);

    wchar_t text[kTextBuffer];
    const int length = static_cast<int>(
        SendMessageW(window, WM_GETTEXT, kTextBuffer, reinterpret_cast<LPARAM>(text)));
    RECT bar = rc;
    if (length > 0) {
        GdiSelection fontSelection(dc, font());
        BkColourScope bk(dc, backgroundColour());
        TextColourScope colour(dc, textColour());
        SIZE extent{};
        GetTextExtentPoint32W(dc, text, length, &extent);
        RECT textRect = rc;
        DrawTextW(dc, text, length, &textRect, static_cast<UINT>(format_));
        bar.left += extent.cx;
    }
    bar.left += scaled(kBarGap);
    // GDI fills a rectangle given right-to-left as well; a bar pushed past
    // the right edge by the text must fill nothing.
    HBRUSH empty = emptyBrush();
    if (empty && bar.left < bar.right)
        FillRect(dc, &bar, empty);

    const int v = value();
    const int high = maximum();
    const int low = minimum();
    if (high != low) {
        double fraction = static_cast<double>(v) / (high - low);
        if (fraction < 0.0)
            fraction = 0.0;
        if (fraction > 1.0)
            fraction = 1.0;
        bar.right = bar.left + static_cast<int>((bar.right - bar.left) * fraction);
        HBRUSH fill = fillBrush();
        if (fill && bar.left < bar.right)
            FillRect(dc, &bar, fill);
    }
    paint.present(0, 0, rc.right - rc.left, rc.bottom - rc.top);
    return 0;
}

void GuiIntegrationProgress::setFraction(double fraction)
{
    fraction_ = fraction > 1.0 ? 1.0 : fraction;
    if (HWND h = handle())
        InvalidateRect(h, nullptr, FALSE);
}

int GuiIntegrationProgress::value()
{
    if (fraction_ >= 0.0) {
        value_ = minimum() + static_cast<int>((maximum() - minimum()) * fraction_);
        return value_;
    }
    ParameterStore* s = store();
    if (!s)
        return value_;
    value_ = GuiGeometry::integrationProgressValue(minimum(), maximum(), s->get(Param::IntLvl),
                                                   s->get(Param::IntCount));
    return value_;
}

// ----------------------------------------------------------------- GuiPanel

bool GuiPanel::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                      HWND parent)
{
    return createOwnWindow(0, GuiStyle::Plain, x, y, width, height, caption, id, parent);
}

HBRUSH GuiPanel::eraseBrush() const { return storeHandle<HBRUSH>(Param::PanelBrush); }

LRESULT GuiPanel::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return eraseBackground(window, reinterpret_cast<HDC>(wParam), eraseBrush());
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

// ----------------------------------------------------------- GuiBandDiagram

bool GuiBandDiagram::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                            HWND parent)
{
    return createOwnWindow(0, GuiStyle::Plain, x, y, width, height, caption, id, parent);
}

HPEN GuiBandDiagram::pen() const { return storeHandle<HPEN>(Param::DiagramPen); }
HBRUSH GuiBandDiagram::eraseBrush() const { return storeHandle<HBRUSH>(Param::LabelBrush); }

LRESULT GuiBandDiagram::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        return paint(window);
    case WM_ERASEBKGND:
        return eraseBackground(window, reinterpret_cast<HDC>(wParam), eraseBrush());
    default:
        return GuiWindow::windowProc(window, message, wParam, lParam);
    }
}

LRESULT GuiBandDiagram::paint(HWND window)
{
    RECT rc;
    GetClientRect(window, &rc);
    GuiPaint paint(window, ownerPaintBuffer());
    HDC dc = paint.target();
    HBRUSH erase = eraseBrush();
    if (erase)
        FillRect(dc, &rc, erase);
    if (!paint.buffered())
        return 0;  // the bracket is drawn only through the paint buffer

    {
        Stroke stroke(*this, dc, pen());
        const int l = rc.left;
        const int mid = rc.top + (rc.bottom - rc.top) / 2;
        // The bracket: posts down over the four band-limit fields.
        POINT bracket[4] = {{l + scaled(38), rc.bottom}, {l + scaled(38), mid},
                            {l + scaled(273), mid}, {l + scaled(273), rc.bottom}};
        stroke.polyline(bracket, 4);
        // Ticks up to the band captions, and down to the inner fields.
        for (int x : {77, 155, 234}) {
            POINT tick[2] = {{l + scaled(x), mid}, {l + scaled(x), rc.top}};
            stroke.polyline(tick, 2);
        }
        for (int x : {116, 195}) {
            POINT tick[2] = {{l + scaled(x), mid}, {l + scaled(x), rc.bottom}};
            stroke.polyline(tick, 2);
        }
    }
    paint.present(0, 0, rc.right - rc.left, rc.bottom - rc.top);
    return 0;
}
