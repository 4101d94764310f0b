// The yardstick of the start-up benchmark: the least a Win32 program does to
// show a window, a class, a window, a painted client area and a message
// loop, built and linked as the analyzer is (static, Unicode, GUI).
#include <windows.h>

#include "WindowProgram.h"

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
        TextOutW(dc, 10, 10, L"Minimal window", 14);
        EndPaint(window, &paint);
        return 0;
    }
    default:
        return windowProgramDefault(window, message, wParam, lParam);
    }
}

}  // namespace

extern "C" int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    return runWindowProgram(instance, L"MinimalWindow", L"Minimal window", windowProc, show);
}
