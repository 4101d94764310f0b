// The text widgets: GuiLabel and its variants, which differ from it only in
// a font or a text colour (and the difference label in its state), and
// GuiLogo, a title label that shows the logo bitmap in place of its text.
//
// How it works
// - A label draws its own window text with DrawTextW in the format given at
//   construction, into the owner's paint buffer at the label's own position
//   in its parent (x, y from WM_MOVE), and copies that rectangle to the
//   screen. Owners change the text with WM_SETTEXT and then have the label
//   draw it at once (WM_QX_DRAWNOW, as the display widgets do: outside the
//   WM_PAINT cycle, which under Wine costs more than the drawing) or
//   invalidate it. A readout that changes with every block is given its
//   text with setTextSoon: it answers WM_GETTEXT with it at once, and takes
//   it as its window text (a wineserver round trip under Wine) when its
//   owner draws it, a few times a second (settleText).
// - Each style getter reads one store parameter; a variant overrides one or
//   two getters and nothing else.
// - GuiLogo loads bitmap 136 when it is created and copies it into the paint
//   buffer through its own memory DC, made on the first paint and kept; it
//   falls back to the label's painting when the bitmap is missing.
#pragma once

#include <string>

#include "foundation/Owned.h"
#include "gui/GuiWindow.h"

class GuiLabel : public GuiWindow {
public:
    // format: DrawTextW flags, e.g. DT_RIGHT | DT_VCENTER | DT_SINGLELINE.
    GuiLabel(GuiOwner* owner, int format) : GuiWindow(owner), format_(format) {}

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Plain pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HBRUSH eraseBrush() const;         // 37
    virtual HFONT font() const;                // 49
    virtual COLORREF backgroundColour() const; // 19
    virtual COLORREF textColour() const;       // 20

    int format() const { return format_; }
    // Right-aligned text ends this many layout pixels inside the right edge:
    // room for the last glyph's overhang, which a font's text extent leaves
    // out (0 by default).
    void setRightInset(int layoutPixels) { rightInset_ = layoutPixels; }
    // Upright text reads from bottom to top, centred in the label (an axis
    // caption beside a vertical scale), in its font turned by 90 degrees.
    // WM_GETFONT still answers the font itself: the text's length runs
    // along the label's height.
    void setUpright(bool upright);
    bool upright() const { return upright_; }
    // A text the label answers WM_GETTEXT with from now on, but that becomes
    // its own window text (what another process reads, and a wineserver
    // round trip under Wine) only at settleText(): for readouts that change
    // with every block and are drawn a few times a second.
    void setTextSoon(const std::wstring& text);
    void settleText();

protected:
    // What the label shows inside `box` (its client rectangle where it
    // draws), with its font, colours and a transparent background selected:
    // its window text in its format.
    virtual void drawContent(HDC dc, const RECT& box);

private:
    LRESULT paint(HWND window, bool now = false);
    void drawUpright(HDC dc, const wchar_t* text, int length, const RECT& box);

    int format_;
    int rightInset_ = 0;
    bool upright_ = false;
    std::wstring textSoon_;
    bool textSoonPending_ = false;
    GdiObject<HFONT> turned_;    // font() turned, made when first needed
    HFONT turnedFrom_ = nullptr; // the font it was made from
};

// Word-wrapped explanatory text.
class GuiNoteText final : public GuiLabel {
public:
    GuiNoteText(GuiOwner* owner, int format) : GuiLabel(owner, format) {}
    HFONT font() const override;          // 52
    COLORREF textColour() const override; // 24
};

// The notice line at the foot of the main window.
class GuiFooterLabel final : public GuiLabel {
public:
    GuiFooterLabel(GuiOwner* owner, int format) : GuiLabel(owner, format) {}
    COLORREF textColour() const override;  // 72
};

// A difference readout: its text turns to the warning colour while the
// difference is below the threshold.
class GuiDifferenceLabel final : public GuiLabel {
public:
    GuiDifferenceLabel(GuiOwner* owner, int format) : GuiLabel(owner, format) {}
    COLORREF textColour() const override;  // 21 while below the threshold, else 20
    // Stores the state and redraws the label when it changed.
    void setBelowThreshold(int state);
    int belowThreshold() const { return belowThreshold_; }

private:
    int belowThreshold_ = 0;
};

class GuiTitleLabel : public GuiLabel {
public:
    GuiTitleLabel(GuiOwner* owner, int format) : GuiLabel(owner, format) {}
    HFONT font() const override;           // 39
    COLORREF textColour() const override;  // 22
};

// The logo is kept drawn at four scales (bitmaps 136, 137, 138 and 139 for
// 100, 125, 150 and 200 %), so that it is never a stretched picture. At
// another scale the largest drawing that fits the box is shown, at its left
// and centred from top to bottom.
class GuiLogo final : public GuiTitleLabel {
public:
    static constexpr int kBitmapResource = 136;

    GuiLogo(GuiOwner* owner, int format) : GuiTitleLabel(owner, format) {}

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Loads the bitmap for the store's DPI (null when missing), then the
    // plain pattern.
    bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                HWND parent) override;
    // Moves as every widget does, and takes the bitmap for the new DPI.
    void applyDpi() override;
    // The bitmap resource shown at `dpi` in a box of the layout size
    // width x height: the largest drawing that fits.
    static int bitmapResourceFor(int dpi, int width, int height);

    HBITMAP bitmap() const { return bitmap_.get(); }
    HDC bitmapDc() const { return bitmapDc_.get(); }

private:
    LRESULT paintBitmap(HWND window);
    void loadBitmap(int width, int height);

    GdiObject<HBITMAP> bitmap_;  // never selected outside paintBitmap
    int bitmapResource_ = 0;
    SIZE bitmapSize_{};  // of the drawing held
    int logoWidth_ = 0;  // the layout size of the box
    int logoHeight_ = 0;
    MemoryDc bitmapDc_;
};
