// What the UI thread needs of the main window, and nothing more: make it,
// create its window, let it look at messages before dispatch, delete it.
#pragma once

#include <windows.h>

class GuiOwner;
class MainWindow;

MainWindow* newMainWindow(GuiOwner* owner);
// Creates the window (no parent); returns its handle or null.
HWND createMainWindow(MainWindow* window);
// Accelerator-free keyboard handling and dialog navigation; nonzero = consumed.
BOOL preTranslateMainWindow(MainWindow* window, MSG* message);
void deleteMainWindow(MainWindow* window);
// How the window is first shown: maximised when it closed maximised
// (the registry value "Maximized"), else normally.
int mainWindowShowCommand();
extern const wchar_t* const kMaximizedValue;

// The property the main window carries for its life, by which a second
// start of the program finds it (app/SingleInstance.h).
extern const wchar_t* const kMainWindowProperty;
