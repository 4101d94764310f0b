// GuiWaveformView: the last recorded block as a time-domain trace over a
// grid of four rows and five columns.
//
// How it works
// - Each paint (WM_PAINT, or WM_QX_DRAWNOW with every block) copies the
//   background picture (the filled view and its grid; kept in a bitmap of
//   the view's own and drawn again only when its GuiBackgroundKey changes)
//   into the owner's paint buffer, draws over it,
//   once data are present, the Reference block of the newest display buffer
//   (and the Analysis block while the Analysis is measured), then copies the
//   view to the screen. Without a paint buffer only the background is shown.
// - A sample equal to the full-scale value (store parameter 66; 0 until
//   measured, read as 1) lands on the top edge, its negative on the bottom
//   edge. When the block has more samples than the view has pixels, the view
//   steps through it n / w samples per pixel and draws one segment per pixel;
//   when it has fewer, one sample per step, w / n pixels apart. The steps
//   start at element 1; the final step, which reaches element n, shows the
//   block's last sample (element n - 1).
#pragma once

#include <vector>

#include "gui/GuiWindow.h"

class GuiWaveformView final : public GuiWindow {
public:
    explicit GuiWaveformView(GuiOwner* owner);

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Sunken pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HBRUSH eraseBrush() const;    // 27
    virtual HPEN gridPen() const;         // 28
    virtual HPEN firstSetPen() const;     // 29
    virtual HPEN secondSetPen() const;    // 30
    // Set 0's samples when firstSet is nonzero, set 1's otherwise.
    virtual void drawWaveform(HWND window, HDC target, int firstSet, int bufferIndex);

    // Whether the background picture is kept between paints (by default);
    // off, every paint draws everything again: the view's cost without it,
    // for comparison.
    void setBackgroundKept(bool kept) { background_.setKept(kept); }

private:
    LRESULT paint(HWND window, bool now = false);

    GuiBackground<GuiBackgroundKey> background_;

    std::vector<POINT> points_;  // the trace being drawn; grows, never shrinks
};
