// Tooltips: a sentence shown when the pointer rests on a control, saying
// what pressing it does.
//
// How it works
// - One standard tooltip window (comctl32's "tooltips_class32") per
//   top-level window, owned by it, so it goes when that window goes.
// - Each control is a tool identified by its handle; the tooltip subclasses
//   it to see the pointer (TTF_SUBCLASS), so no message relaying is needed.
// - The tip's text is kept by the tooltip itself; the font is the system's
//   (the tip is not part of the window's scaled layout).
#pragma once

#include <windows.h>

#include <string>

namespace GuiTips {

// The tooltip window of `owner`, or null when none could be made.
HWND create(HWND owner);
// Adds `control` with its text; false when the tooltip refused it.
bool add(HWND tips, HWND control, const wchar_t* text);
// The text of `control`'s tip, empty when it has none (for those who check).
std::wstring textOf(HWND tips, HWND control);

}  // namespace GuiTips
