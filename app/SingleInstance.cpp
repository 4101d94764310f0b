#include "app/SingleInstance.h"

#include "gui/GuiWindow.h"
#include "mainwindow/MainWindowGlue.h"

namespace single_instance {

namespace {

const wchar_t* const kMutexName = L"Local\\Tevra.QX-700.Running";

BOOL CALLBACK findMarked(HWND window, LPARAM found)
{
    wchar_t cls[64] = L"";
    GetClassNameW(window, cls, 64);
    if (lstrcmpW(cls, kGuiWindowClass) == 0 && GetPropW(window, kMainWindowProperty)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND findRunning()
{
    HWND found = nullptr;
    EnumWindows(findMarked, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool claim()
{
    // Kept open for the program's life on purpose.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS)
        return true;  // the first (or no mutex at all: better twice than never)
    CloseHandle(mutex);
    HWND running = nullptr;
    // The first program may be making its window right now.
    for (int waited = 0; waited < 10000 && !(running = findRunning()); waited += 100)
        Sleep(100);
    if (running) {
        if (IsIconic(running))
            ShowWindow(running, SW_RESTORE);
        HWND front = GetLastActivePopup(running);
        SetForegroundWindow(front ? front : running);
    }
    return false;
}

}  // namespace single_instance
