// What the configuration window's tests share, in the test host and against
// the real program: finding and reading windows, driving modal dialogs from
// a second thread, and the program itself. The registry, real input,
// handle counts, pictures and waiting come from the support library
// (tests/support) under the names these tests have always used.
//
// How it works
// - A modal box or dialog (a "#32770" window) blocks the thread that opened
//   it; DialogDriver waits for one on a thread of its own and acts on it
//   (reads its text, fills its fields, clicks its buttons by posting).
// - RunningProgram is the driver's Program (tests/mainwindow/Driver.h) with
//   the ending these tests want: whatever modal box is up first, then the
//   main window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Driver.h"
#include "Handles.h"
#include "Input.h"
#include "Picture.h"
#include "Registry.h"
#include "Shell.h"
#include "Wait.h"
#include "WindowQuery.h"

// ---------------------------------------------------------------- registry

using qxsupport::kSettingNames;
using qxsupport::kSettingsKey;
using qxsupport::clearSettings;
using qxsupport::readSettingValue;
using qxsupport::writeSettingValue;
using qxsupport::settingValueCount;

// ----------------------------------------------------------------- windows

using qxsupport::windowText;
using qxsupport::classNameOf;
using qxsupport::descendants;
inline std::vector<HWND> children(HWND root) { return qxsupport::childWindows(root); }
// The first descendant with this control id (and class, when given).
HWND findControl(HWND root, int id, const wchar_t* cls = nullptr);
// A window's rectangle in its parent's client coordinates.
inline RECT rectInParent(HWND window) { return qxsupport::rectIn(GetParent(window), window); }
using qxsupport::topLevelWindows;
using qxsupport::waitForTopLevel;

// Items of a combobox: texts, item data, current selection (-1 none).
struct ListState {
    std::vector<std::wstring> texts;
    std::vector<long long> data;
    int selection = -1;
};
ListState listState(HWND combo);

// -------------------------------------------------------------- modal boxes

// Runs an action on the first "#32770" window of a process that appears,
// on a thread of its own, while the test's thread is held in the modal loop.
class DialogDriver {
public:
    using Action = std::function<void(HWND dialog)>;
    DialogDriver(DWORD pid, Action action, int timeoutMs = 10000);
    ~DialogDriver();  // joins
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    bool seen() const { return seen_.load(); }
    // Waits for the driver to finish (it gives up after its time-out).
    void join();

private:
    std::atomic<bool> seen_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// What a message box said; filled by its driver.
struct BoxContents {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    bool hasIcon = false;
};
// A DialogDriver action: records the box and presses its OK button.
DialogDriver::Action readBoxAndPressOk(BoxContents* out);
// Presses a dialog button by posting BM_CLICK.
void pressDialogButton(HWND dialog, int id);

// What the colour dialog showed when it opened.
struct ColourDialogSeen {
    bool fullOpen = false;
    std::wstring red, green, blue;
};
// A DialogDriver action for the colour dialog: reads it (into seen, when
// given), types the colour into its fields and presses OK, or presses Cancel
// when pick is false; with a screenshot name it saves a picture first.
DialogDriver::Action colourDialog(ColourDialogSeen* seen, bool pick, COLORREF colour,
                                  const wchar_t* screenshot = nullptr);

// ------------------------------------------------------------------- input

using qxsupport::keyDown;
using qxsupport::keyUp;
using qxsupport::pressKey;
using qxsupport::pressKeyWith;
// Types the characters as key strokes of the current layout.
inline void typeText(const wchar_t* text) { qxsupport::typeKeys(text); }
using qxsupport::xdoKey;
using qxsupport::xdoType;

// ------------------------------------------------------------------ leaks

using qxsupport::kernelHandleCount;
using qxsupport::gdiProbeIndex;
using qxsupport::windowCount;

// -------------------------------------------------------------- pictures

using qxsupport::Picture;
using qxsupport::captureScreen;
using qxsupport::captureWindow;
using qxsupport::writePng;
using qxsupport::screenshotPath;

// Waits, dispatching this thread's messages, until pred() holds or timeoutMs
// passed. Returns pred()'s last value.
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs,
                      const std::function<void()>& pump)
{
    return qxsupport::waitFor(pred, static_cast<DWORD>(timeoutMs), 5, pump);
}

// ----------------------------------------------------------- the program

using qxsupport::runShell;

// qx700.exe ($QX_EXE), started as a user starts it and ended when the
// object goes: asked to close, and terminated if it does not.
class RunningProgram : public drive::Program {
public:
    RunningProgram() = default;
    ~RunningProgram();

    // Starts it and waits for the main window, shown and answering. False
    // when either fails.
    bool start();
    // Closes whatever modal box is up, then the main window, and waits for
    // the process to end (true).
    bool close(int timeoutMs = 15000);
    HWND mainWindow() const { return window(); }
    DWORD pid() const { return processId(); }
    // The window that has the keyboard focus in the program's UI thread.
    HWND focus() const { return qxsupport::focusOf(threadId()); }
};
