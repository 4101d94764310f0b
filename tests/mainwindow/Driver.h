// Driving the real qx700.exe from a test program in the same Wine prefix, the
// way a user would: start it, find its window and children, read texts and
// states, click buttons, press keys through the X server (xdotool), look at
// the pixels on the screen, answer message boxes, and set what the virtual
// microphone hears.
//
// The environment comes from scripts/test: QX_EXE (Unix path of the program,
// or the first command-line argument), QX_FEED_SIGNAL_WIN (the feeder's signal
// file), QX_SCREENSHOTS (where pictures go) and DISPLAY.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Environment.h"
#include "Input.h"
#include "Picture.h"
#include "Registry.h"
#include "Shell.h"
#include "Wait.h"
#include "WindowQuery.h"

namespace drive {

// "Z:\..." for a Unix path; Windows paths pass unchanged.
using qxsupport::windowsPath;
using qxsupport::environment;

// The program under test: QX_EXE or what main() was given.
void setProgramPath(const std::string& unixPath);
std::wstring programPath();

// Polls until the condition holds or the time is up; true when it held.
using qxsupport::waitFor;

class Program {
public:
    Program() = default;
    ~Program();  // a program still running at the end of a test is ended
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts the program and waits for its main window. False when either
    // fails. Extra Unix environment entries ("NAME=value") start it through
    // the shell; no other instance may be running then.
    bool start(const std::vector<std::string>& unixEnvironment = {});
    HWND window() const { return window_; }
    DWORD processId() const { return pi_.dwProcessId; }
    DWORD threadId() const;  // the thread that owns the main window
    bool running() const;
    // Waits for the process to end; its exit code, or STILL_ACTIVE on time-out.
    DWORD waitExit(DWORD timeoutMs);
    // Asks the window to close, as its close box does, and answers No when
    // it asks whether to save settings applied but not saved.
    void close();

private:
    PROCESS_INFORMATION pi_{};
    HWND window_ = nullptr;
};

// The main window of a process (0: of any process): class "P2GUIWindow",
// no parent.
HWND findMainWindow(DWORD processId);

// Every descendant window by control id (buttons: the control's own id; the
// container around it has the id + 10000).
std::map<int, HWND> children(HWND main);
inline std::wstring text(HWND window) { return qxsupport::windowText(window); }
inline std::wstring className(HWND window) { return qxsupport::classNameOf(window); }
// The window's rectangle in the client coordinates of `main`.
using qxsupport::rectIn;
// The window with the keyboard focus in the given thread, or null.
using qxsupport::focusOf;

// Clicks a button as BM_CLICK does, and returns once the program has handled
// the click, or after a second when its handler shows a modal box (which
// holds the answer back until the box is gone).
void click(HWND button);
// True once the window's thread has answered a message (within limitMs):
// everything sent to it before has been handled.
bool answers(HWND window, DWORD limitMs = 5000);
// Keys through the X server, e.g. "alt+r", "Return", "Tab".
inline bool key(const char* keys) { return qxsupport::xdoKey(keys); }
// A mouse click at a screen position through the X server.
inline bool mouseClick(int x, int y) { return qxsupport::xdoClick(x, y); }

// Runs a Unix command line through /bin/sh and waits for it; its exit code,
// or -1 when it could not be started or timed out.
using qxsupport::runShell;
// The same, returning what it printed on standard output.
using qxsupport::shellOutput;

// Saves the window's screen rectangle as $QX_SCREENSHOTS/<name>.png; the
// path written, or empty when there is no folder or the capture failed.
using qxsupport::screenshot;

// A copy of part of the screen, for looking at what the program painted.
using Pixels = qxsupport::Picture;
inline Pixels capture(const RECT& screenRect) { return qxsupport::captureScreen(screenRect); }
// The client-area rectangle of a child on the screen.
RECT screenRectOf(HWND child);

// Top-level message boxes ("#32770") of a process, with caption and text.
struct MessageBoxInfo {
    HWND box;
    std::wstring caption;
    std::wstring text;
};
std::vector<MessageBoxInfo> messageBoxes(DWORD processId);
// Presses the box's button with that id (IDYES, IDNO, ...) and waits until
// the box has closed, so that a box shown next is not mistaken for it; false
// when it did not close in time. dismiss() presses OK.
bool answer(const MessageBoxInfo& box, int buttonId);
// After a close was asked of `main`: waits until it is gone or asks whether
// to save settings applied but not saved, and then answers No.
void closeWithoutSaving(DWORD processId, HWND main);
bool dismiss(const MessageBoxInfo& box);
// Waits for the process's message box with that caption (a dialog with a
// message text); false when none came in time.
bool waitForBox(DWORD processId, const std::wstring& caption, MessageBoxInfo& box,
                DWORD timeoutMs = 10000);
// Answers the standard file dialog with that caption as a user does: types
// `path` into its file-name field and presses its OK button. False when no
// such dialog came or it has no file-name field.
bool answerFileDialog(DWORD processId, const std::wstring& caption, const std::wstring& path,
                      DWORD timeoutMs = 15000);

// The virtual microphone's signal, lines as the feeder reads them:
// "sine FREQ AMPLITUDE", "noise AMPLITUDE", "silence". Returns once the
// microphone hears the new signal (false after 10 s).
bool feed(const std::vector<std::string>& lines);

// A readout as a number; NAN when it is not one.
double number(const std::wstring& text);

// The clipboard's text (empty: none), and the clipboard emptied.
std::wstring clipboardText();
void clearClipboard();
// `s` cut at every `sep`.
std::vector<std::wstring> splitOn(const std::wstring& s, const std::wstring& sep);

// The program's settings key, HKCU\SOFTWARE\Tevra\QX-700.
namespace settings {
inline void clear() { qxsupport::clearSettings(); }
inline void set(const wchar_t* name, DWORD value) { qxsupport::writeSettingValue(name, value); }
inline void setText(const wchar_t* name, const std::wstring& text)
{
    qxsupport::writeSettingText(name, text);
}
// The value as a signed 32-bit number, or -1 when missing or not a 4-byte
// DWORD.
inline long long get(const wchar_t* name)
{
    const long long v = qxsupport::readSettingValue(name);
    return v < 0 ? -1 : static_cast<int>(static_cast<DWORD>(v));
}
// A fresh key with the band limits of the measurement tests: 100, 3000,
// 3012 and 4000 Hz, so that at 12000 Hz and 1024 samples band 2 is bin 256
// alone (a 3000 Hz tone), and the integration level given.
void toneBands(int integration);
}  // namespace settings

}  // namespace drive
