// Finding and reading windows the way a user's tools do, in this process or
// another: by class and title, among the descendants, texts through
// WM_GETTEXT with a time limit (a window of another process may be busy).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qxsupport {

// The window's text; "<no answer>" when its thread did not answer in time.
std::wstring windowText(HWND window, DWORD limitMs = 5000);
std::wstring classNameOf(HWND window);
// Descendants in window-list order (depth first), or the direct children.
std::vector<HWND> descendants(HWND root);
std::vector<HWND> childWindows(HWND root);
// The first descendant with this control id (and class, when given), or null.
HWND findDescendant(HWND root, int id, const wchar_t* cls = nullptr);
// Top-level windows of a process (0: any process) with this class and
// title, when given.
std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* cls, const wchar_t* title = nullptr);
// Waits up to limitMs for such a window that is visible; null when none
// came. `idle` runs between looks (e.g. a message loop).
HWND waitForTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* title, DWORD limitMs,
                     const std::function<void()>& idle = nullptr);
// The window with the keyboard focus in a thread, or null.
HWND focusOf(DWORD threadId);
// A window's rectangle in the client coordinates of another (null: the
// screen).
RECT rectIn(HWND reference, HWND window);

}  // namespace qxsupport
