#include "gui/GuiLabels.h"

#include <algorithm>

#include "gui/GdiScope.h"
#include "gui/GuiDpi.h"

namespace {
constexpr int kTextBuffer = 255;
}

// ----------------------------------------------------------------- GuiLabel

bool GuiLabel::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                      HWND parent)
{
    return createOwnWindow(0, GuiStyle::Plain, x, y, width, height, caption, id, parent);
}

HBRUSH GuiLabel::eraseBrush() const { return storeHandle<HBRUSH>(Param::LabelBrush); }
HFONT GuiLabel::font() const { return storeFont(Param::LabelFont); }
COLORREF GuiLabel::backgroundColour() const { return storeColour(Param::UiColor19); }
COLORREF GuiLabel::textColour() const { return storeColour(Param::UiColor20); }

LRESULT GuiLabel::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        return paint(window);
    case WM_QX_DRAWNOW:
        return canDrawNow(window) ? (paint(window, true), 1) : 0;
    case WM_ERASEBKGND:
        return eraseBackground(window, reinterpret_cast<HDC>(wParam), eraseBrush());
    case WM_GETTEXTLENGTH:
        if (textSoonPending_)
            return static_cast<LRESULT>(textSoon_.size());
        break;
    case WM_GETTEXT:
        if (textSoonPending_) {
            auto* buffer = reinterpret_cast<wchar_t*>(lParam);
            if (!buffer || wParam == 0)
                return 0;
            const std::size_t n = std::min<std::size_t>(textSoon_.size(), wParam - 1);
            std::copy(textSoon_.begin(), textSoon_.begin() + static_cast<std::ptrdiff_t>(n), buffer);
            buffer[n] = L'\0';
            return static_cast<LRESULT>(n);
        }
        break;
    case WM_SETTEXT:
        textSoonPending_ = false;  // a text set since replaces the one to come
        break;
    default:
        break;
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

void GuiLabel::setTextSoon(const std::wstring& text)
{
    textSoon_ = text;
    textSoonPending_ = true;
}

void GuiLabel::settleText()
{
    if (!textSoonPending_)
        return;
    textSoonPending_ = false;
    if (handle_)
        SendMessageW(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(textSoon_.c_str()));
}

LRESULT GuiLabel::paint(HWND window, bool now)
{
    RECT rc;
    GetClientRect(window, &rc);
    GuiPaint paint(window, ownerPaintBuffer(), now);
    HDC dc = paint.target();
    // In the paint buffer a label draws at its place in the parent; straight
    // on the screen it draws in its own client coordinates.
    const int dx = paint.buffered() ? x_ : 0;
    const int dy = paint.buffered() ? y_ : 0;
    RECT shifted = rc;
    OffsetRect(&shifted, dx, dy);
    if (HBRUSH brush = eraseBrush())
        FillRect(dc, &shifted, brush);
    {
        GdiSelection fontSelection(dc, font());
        BkColourScope bk(dc, backgroundColour());
        BkModeScope mode(dc, TRANSPARENT);
        TextColourScope colour(dc, textColour());
        drawContent(dc, shifted);
    }
    paint.present(dx, dy, rc.right - rc.left, rc.bottom - rc.top);
    return 0;
}

void GuiLabel::drawContent(HDC dc, const RECT& shifted)
{
    wchar_t text[kTextBuffer];
    const int length = static_cast<int>(
        SendMessageW(handle_, WM_GETTEXT, kTextBuffer, reinterpret_cast<LPARAM>(text)));
    RECT textRect = shifted;
    UINT format = static_cast<UINT>(format_);
    if ((format_ & DT_RIGHT) && rightInset_ > 0) {
        // The last glyph's overhang goes into the inset: DrawTextW would
        // clip it at the narrowed rectangle, the label's own edge does not.
        textRect.right -= scaled(rightInset_);
        format |= DT_NOCLIP;
    }
    if (length > 0 && upright_)
        drawUpright(dc, text, length, shifted);
    else if (length > 0)
        DrawTextW(dc, text, length, &textRect, format);
}

void GuiLabel::setUpright(bool upright)
{
    if (upright == upright_)
        return;
    upright_ = upright;
    if (handle_)
        InvalidateRect(handle_, nullptr, FALSE);
}

// The text's extent in the font as it is, then the same text turned: it runs
// upwards from its origin, its cell height to the right of it.
void GuiLabel::drawUpright(HDC dc, const wchar_t* text, int length, const RECT& box)
{
    HFONT plain = font();
    if (!plain)
        return;
    if (!turned_ || turnedFrom_ != plain) {
        LOGFONTW lf{};
        if (!GetObjectW(plain, sizeof lf, &lf))
            return;
        lf.lfEscapement = 900;
        lf.lfOrientation = 900;
        turned_.reset(CreateFontIndirectW(&lf));
        turnedFrom_ = plain;
    }
    SIZE extent{};
    TEXTMETRICW metrics{};
    {
        GdiSelection measure(dc, plain);
        GetTextExtentPoint32W(dc, text, length, &extent);
        GetTextMetricsW(dc, &metrics);
    }
    GdiSelection turned(dc, turned_.get());
    const int x = box.left + (box.right - box.left - metrics.tmHeight) / 2;
    const int y = box.top + (box.bottom - box.top + extent.cx) / 2;
    TextOutW(dc, x, y, text, length);
}

// ----------------------------------------------------------------- variants

HFONT GuiNoteText::font() const { return storeFont(Param::NoteFont); }
COLORREF GuiNoteText::textColour() const { return storeColour(Param::UiColor24); }

COLORREF GuiFooterLabel::textColour() const { return storeColour(Param::UiColor72); }

COLORREF GuiDifferenceLabel::textColour() const
{
    return storeColour(belowThreshold_ ? Param::UiColor21 : Param::UiColor20);
}

void GuiDifferenceLabel::setBelowThreshold(int state)
{
    if (state == belowThreshold_)
        return;
    belowThreshold_ = state;
    if (handle_)
        InvalidateRect(handle_, nullptr, FALSE);
}

HFONT GuiTitleLabel::font() const { return storeFont(Param::TitleFont); }
COLORREF GuiTitleLabel::textColour() const { return storeColour(Param::UiColor22); }

// ------------------------------------------------------------------ GuiLogo

namespace {
// The drawings of the logo, largest first: resource and size (165 x 52 at
// 200, 150, 125 and 100 %).
struct LogoDrawing {
    int resource;
    int width;
    int height;
};
constexpr LogoDrawing kLogoDrawings[] = {
    {139, 330, 104}, {138, 248, 78}, {137, 206, 65}, {136, 165, 52}};
}  // namespace

int GuiLogo::bitmapResourceFor(int dpi, int width, int height)
{
    for (const LogoDrawing& d : kLogoDrawings)
        if (d.width <= GuiDpi::scale(width, dpi) && d.height <= GuiDpi::scale(height, dpi))
            return d.resource;
    return kBitmapResource;
}

void GuiLogo::loadBitmap(int width, int height)
{
    const int wanted = bitmapResourceFor(dpi(), width, height);
    if (bitmap_ && wanted == bitmapResource_)
        return;
    HBITMAP made = static_cast<HBITMAP>(LoadImageW(ownerInstance(), MAKEINTRESOURCEW(wanted),
                                                   IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    if (!made && wanted != kBitmapResource) {
        made = static_cast<HBITMAP>(LoadImageW(ownerInstance(), MAKEINTRESOURCEW(kBitmapResource),
                                               IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    }
    if (!made)
        return;  // the one in hand, if any, stays
    bitmap_.reset(made);
    bitmapResource_ = wanted;
    BITMAP info{};
    GetObjectW(made, sizeof info, &info);
    bitmapSize_ = SIZE{info.bmWidth, info.bmHeight};
}

bool GuiLogo::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                     HWND parent)
{
    if (!owner_)
        return false;
    loadBitmap(width, height);
    logoWidth_ = width;
    logoHeight_ = height;
    return GuiTitleLabel::create(x, y, width, height, caption, id, parent);
}

void GuiLogo::applyDpi()
{
    loadBitmap(logoWidth_, logoHeight_);
    GuiTitleLabel::applyDpi();
}

LRESULT GuiLogo::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT && bitmap_)
        return paintBitmap(window);
    if (message == WM_QX_DRAWNOW && bitmap_)
        return 0;  // the logo is painted through WM_PAINT only
    return GuiTitleLabel::windowProc(window, message, wParam, lParam);
}

LRESULT GuiLogo::paintBitmap(HWND window)
{
    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    GuiPaint paint(window, ownerPaintBuffer());
    HDC dc = paint.target();
    const int dx = paint.buffered() ? x_ : 0;
    const int dy = paint.buffered() ? y_ : 0;
    if (!bitmapDc_)
        bitmapDc_.reset(CreateCompatibleDC(dc));
    if (bitmapDc_) {
        // The bitmap is selected only while it is copied, so it is never held
        // in a DC when the logo is deleted.
        GdiSelection picture(bitmapDc_.get(), bitmap_.get());
        const SIZE b = bitmapSize_;
        // A drawing smaller than the box (at a scale between two drawings)
        // sits at the left, centred from top to bottom, on the background.
        if (b.cx < w || b.cy < h) {
            RECT box{dx, dy, dx + w, dy + h};
            if (HBRUSH brush = eraseBrush())
                FillRect(dc, &box, brush);
        }
        const int top = b.cy < h ? (h - b.cy) / 2 : 0;
        BitBlt(dc, dx, dy + top, w < b.cx ? w : b.cx, h < b.cy ? h : b.cy, bitmapDc_.get(), 0, 0,
               SRCCOPY);
    }
    paint.present(dx, dy, w, h);
    return 0;
}
