// The body of a one-window program, shared by the benchmarks' yardsticks
// (minimal_window.cpp, file_dialog_host.cpp): a class with the given window
// procedure, one overlapped window, shown and painted, and the message loop
// until the window is destroyed. A window procedure passes what it does not
// handle to windowProgramDefault, which ends the loop with the window.
#pragma once

#include <windows.h>

inline LRESULT windowProgramDefault(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

inline int runWindowProgram(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                            WNDPROC windowProc, int show)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    if (!RegisterClassW(&windowClass))
        return 1;
    HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
