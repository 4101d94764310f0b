// The main window's menu bar: File, Edit, View, Measure and Help, with every
// command of the window's buttons, system menu and keys.
//
// How it works
// - buildMainMenu() makes the bar in code; each item carries the command id
//   its key or button already gives (resources/resource.h), so a menu
//   choice arrives as the same WM_COMMAND as the shortcut, and the window
//   handles both in one place. The shortcuts are shown after a tab.
// - The bar's own mnemonics (F, I, V, S, H) avoid the letters of the Alt keys
//   of the buttons (A, C, D, E, L, M, P, R), which the accelerator table
//   takes first.
// - The window lies outside the client area: the main window grows by the
//   bar's height and keeps its client layout (GuiDpi::TopLevelFrame::menu).
// - enableMenuCommand() greys an item out or back, as the window does with
//   the button of the same command.
#pragma once

#include <windows.h>

// The whole menu bar, or null when it cannot be made.
HMENU buildMainMenu();
void enableMenuCommand(HWND window, int commandId, bool enabled);
// Opens the user guide (UserGuide.html beside the program) in the default
// browser; tells the user where it was looked for when it is missing or
// cannot be opened.
void openUserGuide(HWND window);
