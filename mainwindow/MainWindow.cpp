// Placeholder until the main window exists: the UI thread finds no window to
// create and ends at once.
#include "mainwindow/MainWindowGlue.h"

MainWindow* newMainWindow(GuiOwner*) { return nullptr; }
HWND createMainWindow(MainWindow*) { return nullptr; }
BOOL preTranslateMainWindow(MainWindow*, MSG*) { return FALSE; }
void deleteMainWindow(MainWindow*) {}
