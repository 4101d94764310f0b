// What the configuration window's tests share, in the test host and against
// the real program: the registry, finding and reading windows, real input,
// driving modal dialogs from a second thread, counting handles, screenshots.
//
// How it works
// - Registry: the settings key of the current user, read and written
//   directly with the registry API, independent of the program's own code.
// - Windows are found the way a user's tools would: by class and title, by
//   control id among the descendants, texts through WM_GETTEXT with a time
//   limit (a window of another process may be busy).
// - A modal box or dialog (a "#32770" window) blocks the thread that opened
//   it; DialogDriver waits for one on a thread of its own and acts on it
//   (reads its text, fills its fields, clicks its buttons by posting).
// - Leaks: kernel handles are counted through NtQuerySystemInformation
//   (class 16, the system handle table, filtered by process id), which works
//   under Wine where GetProcessHandleCount does not. GDI objects: a burst of
//   fresh probe objects uses up the free slots of the process's GDI table and
//   then runs into new ones, so the highest slot index it reaches is the
//   number of live objects plus the burst: it grows only when objects leak. Windows are counted by
//   enumerating the process's windows and their descendants.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// ---------------------------------------------------------------- registry

// The fifteen settings values, in the program's saving order.
extern const wchar_t* const kSettingNames[15];
// HKCU subkey of the settings.
extern const wchar_t* const kSettingsKey;

// Deletes the settings key with every value.
void clearSettings();
// A REG_DWORD setting, or -1 when missing (or not a 4-byte DWORD).
long long readSettingValue(const wchar_t* name);
void writeSettingValue(const wchar_t* name, DWORD value);
// How many values the key holds (0 when the key is missing).
int settingValueCount();

// ----------------------------------------------------------------- windows

std::wstring windowText(HWND window);
std::wstring classNameOf(HWND window);
// Descendants of root in window-list order (depth first), or only the direct
// children.
std::vector<HWND> descendants(HWND root);
std::vector<HWND> children(HWND root);
// The first descendant with this control id (and class, when given).
HWND findControl(HWND root, int id, const wchar_t* cls = nullptr);
// A window's rectangle in its parent's client coordinates.
RECT rectInParent(HWND window);
// Top-level windows of a process with this class (and title, when given).
std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* cls, const wchar_t* title = nullptr);
// Waits up to timeoutMs for such a window; null when none came.
HWND waitForTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* title, int timeoutMs,
                     const std::function<void()>& idle = nullptr);

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

// ------------------------------------------------------------------- input

// Real keyboard input (SendInput) to whatever has the focus.
void keyDown(WORD vk);
void keyUp(WORD vk);
void pressKey(WORD vk);
void pressKeyWith(WORD modifier, WORD vk);
// Types the characters as key strokes of the current layout.
void typeText(const wchar_t* text);

// ------------------------------------------------------------------ leaks

// Kernel handles the process holds, from the system handle table; -1 when
// the table cannot be read.
int kernelHandleCount(DWORD pid);
// Highest GDI table slot reached by a burst of fresh probe objects: it moves
// one for one with the GDI objects the process holds.
int gdiProbeIndex();
// Windows (top-level and all their descendants) that a process owns.
int windowCount(DWORD pid);

// -------------------------------------------------------------- pictures

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00rrggbb, top-down
    COLORREF at(int x, int y) const;
};
// A screen rectangle as it is shown now.
Picture captureScreen(const RECT& screenRect);
Picture captureWindow(HWND window);  // frame included
bool writePng(const Picture& picture, const std::wstring& path);
// $QX_SCREENSHOTS (a Unix path) as a Windows path with the file name
// appended; empty when unset.
std::wstring screenshotPath(const wchar_t* fileName);
// A Unix path from the environment as a Windows path ("Z:\..."); empty when
// the variable is unset.
std::wstring unixPathFromEnv(const char* variable);

// Waits, dispatching this thread's messages, until pred() holds or timeoutMs
// passed. Returns pred()'s last value.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs,
               const std::function<void()>& pump);

// ----------------------------------------------------------- the program

// Runs a Unix shell command from inside Wine and waits for it; its exit
// status, or -1 (Wine gives back neither the end nor the status of a Unix
// child, so the command reports it through a file).
int runShell(const std::string& command, int timeoutMs = 20000);
// Real X input to the focused window: xdotool key / type.
bool xdoKey(const std::string& keys);
bool xdoType(const std::string& text);

// qx700.exe ($QX_EXE), started as a user starts it and ended when the
// object goes: asked to close, and terminated if it does not.
class RunningProgram {
public:
    RunningProgram() = default;
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Starts it and waits for the main window. False when either fails.
    bool start();
    // Closes the main window and waits for the process to end (true).
    bool close(int timeoutMs = 15000);
    HWND mainWindow() const { return main_; }
    DWORD pid() const { return pi_.dwProcessId; }
    DWORD threadId() const { return main_ ? GetWindowThreadProcessId(main_, nullptr) : 0; }
    bool running() const;
    // The window that has the keyboard focus in the program's UI thread.
    HWND focus() const;

private:
    PROCESS_INFORMATION pi_{};
    HWND main_ = nullptr;
};
