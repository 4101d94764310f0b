// One program at a time: a second start brings the running program's window
// to the front and ends, instead of recording from the same device twice.
//
// How it works
// - The first program creates a named mutex (in the user's session) and
//   keeps it for its life; Windows closes it when the process ends, however
//   it ends.
// - The main window carries a window property (kMainWindowProperty,
//   mainwindow/MainWindowGlue.h), so a
//   second program finds exactly that window among the top-level windows of
//   the toolkit's class (the configuration window has the same class).
// - A second program whose mutex already existed looks for that window for a
//   few seconds (the first may still be making it), restores it when
//   minimised, brings its active pop-up (an open dialog or the
//   configuration window) or the window itself to the front, and ends.
#pragma once

#include <windows.h>

namespace single_instance {

// True when this is the only program running: go on. False when another one
// runs: it has been brought to the front (as far as it could be found) and
// this one should end.
bool claim();

// The running program's main window, or null.
HWND findRunning();

}  // namespace single_instance
