// GuiDpi: the display scale of the windows.
//
// How it works
// - Every window is laid out in 96-DPI pixels ("layout units") and shown at
//   its window's DPI: a layout value v becomes GuiGeometry::scaleForDpi(v,
//   dpi), MulDiv(v, dpi, 96). At 96 DPI nothing changes.
// - The program is per-monitor DPI aware (v2) where Windows offers it and
//   system aware before that (the manifest says so). The functions of the
//   newer Windows versions are looked up at run time, with the older
//   equivalents as the fallback, so the program still starts where they are
//   missing.
// - Each top-level window keeps its own DPI: the one GetDpiForWindow gives
//   it at creation, then the one each WM_DPICHANGED brings. Its widgets learn
//   it from their owner (GuiOwner::widgetDpi) and draw with the store's fonts
//   made for it (ParameterStore::font), so two windows on monitors of
//   different scales are each drawn at their own. The main window's DPI is
//   also the store's (Param::Dpi, set with ParameterStore::setDpi); a window
//   that finds itself at another DPI moves its children to their scaled
//   places (GuiWindow::applyDpi).
#pragma once

#include <windows.h>

#include "gui/GuiGeometry.h"

namespace GuiDpi {

constexpr int kBase = 96;

inline int scale(int value, int dpi) { return GuiGeometry::scaleForDpi(value, dpi); }

// The window's DPI (GetDpiForWindow), or the screen's where that function is
// missing; 96 for a null window.
int windowDpi(HWND window);

// A top-level window of the toolkit: its styles and its client size in
// layout units, the one from which every size at another DPI follows.
struct TopLevelFrame {
    DWORD style;
    DWORD exStyle;
    SIZE layoutClient;
    // The window has a menu bar of one row, outside the client area.
    BOOL menu = FALSE;

    // For a window that is outerWidth x outerHeight at 96 DPI, frame included
    // (and no menu bar).
    static TopLevelFrame forOuterSizeAt96(int outerWidth, int outerHeight, DWORD style,
                                          DWORD exStyle);
    // The outer size at `dpi`: the layout's client area scaled, and the frame
    // of that DPI around it (AdjustWindowRectExForDpi, or AdjustWindowRectEx
    // where it is missing).
    SIZE outerAt(int dpi) const;
    // Gives `window` the outer size for `dpi`, with its top left at `at` (or
    // where it is); should the frame it really gets differ from the computed
    // one, the size is corrected so that the client area is exactly the
    // layout's scaled: a frame never cuts into the content.
    void fit(HWND window, int dpi, const POINT* at) const;
};

}  // namespace GuiDpi
