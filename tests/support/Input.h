// Real input, as a user gives it: keys and mouse through SendInput (into
// Wine's own input queue), or through the X server with xdotool, which goes
// the whole way from the display to the window that has the focus there.
#pragma once

#include <windows.h>

#include <string>

namespace qxsupport {

// Keys by virtual-key code (with their scan codes), to whatever has the
// focus.
void keyDown(WORD vk);
void keyUp(WORD vk);
void pressKey(WORD vk);
void pressKeyWith(WORD modifier, WORD vk);
// Characters as key strokes of the current keyboard layout (WM_KEYDOWN with
// the key's code, shifted where the layout wants it).
void typeKeys(const wchar_t* text);
// Characters as Unicode input (VK_PACKET), whatever the layout.
void typeCharacters(const wchar_t* text);

// One mouse event at a screen position, e.g. MOUSEEVENTF_LEFTDOWN, or 0 for
// a move alone. The position travels with the event: a separate SetCursorPos
// can be overtaken by the X server's own report of the pointer.
void mouseEvent(POINT screen, DWORD flags);

// Through the X server: keys like "alt+r", "Return", "Tab"; text typed as
// it stands; `clicks` left clicks (60 ms apart) at a screen position.
bool xdoKey(const std::string& keys);
bool xdoType(const std::string& text);
bool xdoClick(int x, int y, int clicks = 1);

}  // namespace qxsupport
