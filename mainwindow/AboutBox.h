// "About QX-700..." in the main window's system menu: the version, the
// build's commit and the licence, in a message box owned by the window.
//
// How it works
// - addAboutItem() appends a separator and the item (id ID_SYS_ABOUT) to the
//   window's system menu, which Alt+Space or a click on the icon opens.
// - The system-menu item arrives as WM_SYSCOMMAND, the Help menu's as
//   WM_COMMAND, both with ID_SYS_ABOUT; handleAboutCommand() recognises
//   either and shows the box. The box is modal: the window's display pauses
//   while it is open, capture goes on.
#pragma once

#include <windows.h>

void addAboutItem(HWND window);
// True when the message was the About command (then the box has been shown).
bool handleAboutCommand(HWND window, UINT message, WPARAM wParam);
void showAbout(HWND window);
