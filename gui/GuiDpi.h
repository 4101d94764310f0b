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
// - The parameter store keeps the DPI its fonts and pens are made for
//   (Param::Dpi). A top-level window that finds itself at another DPI, at
//   creation or through WM_DPICHANGED, remakes them with
//   ParameterStore::setDpi and moves its children to their scaled places
//   (GuiWindow::applyDpi).
#pragma once

#include <windows.h>

#include "gui/GuiGeometry.h"

namespace GuiDpi {

constexpr int kBase = 96;

inline int scale(int value, int dpi) { return GuiGeometry::scaleForDpi(value, dpi); }

// The window's DPI (GetDpiForWindow), or the screen's where that function is
// missing; 96 for a null window.
int windowDpi(HWND window);

// The window rectangle around `client` for the style at `dpi`
// (AdjustWindowRectExForDpi, or AdjustWindowRectEx where it is missing).
RECT outerRect(const RECT& client, DWORD style, DWORD exStyle, int dpi);

// The outer size of a window of this style whose client area is the layout
// size (width x height in 96-DPI pixels) scaled to `dpi`.
SIZE outerSizeFor(int width, int height, DWORD style, DWORD exStyle, int dpi);

// The 96-DPI client size of a window whose outer size at 96 DPI is
// outerWidth x outerHeight.
SIZE clientSizeAt96(int outerWidth, int outerHeight, DWORD style, DWORD exStyle);

}  // namespace GuiDpi
