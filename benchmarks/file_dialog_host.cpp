// The soak's yardstick for the file dialogs: a window that runs the
// program's own Save Measurement and Open Reference dialogs (fileDialog,
// mainwindow/FileIo.cpp) and nothing else, so that what the dialogs
// themselves hold on to can be told from what the program holds.
//
// How it works
// - WM_COMMAND kSaveDialog or kOpenDialog runs the dialog from the window
//   procedure, modal to the window, as the main window does. A line is
//   saved to the chosen path (so that it can be opened next); a path chosen
//   to open is not read. The soak answers the dialogs in both programs the same
//   way and counts the handles of both.
// - The dialogs keep their captions, so the soak finds them as it finds the
//   program's.
#include <windows.h>

#include "mainwindow/FileIo.h"
#include "WindowProgram.h"
#include "file_dialog_host.h"

namespace {

const wchar_t* const kFilter = L"Measurements (*.csv)\0*.csv\0All files (*.*)\0*.*\0";

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == file_dialog_host::kSaveDialog) {
            const std::wstring path =
                fileDialog(window, true, L"Save Measurement", kFilter, L"csv", L"Measurement.csv");
            std::wstring reason;
            if (!path.empty())
                writeFileAtomically(path, "Saved by the file dialog host\r\n", reason);
        } else if (LOWORD(wParam) == file_dialog_host::kOpenDialog)
            fileDialog(window, false, L"Open Reference", kFilter, L"csv", std::wstring());
        return 0;
    default:
        return windowProgramDefault(window, message, wParam, lParam);
    }
}

}  // namespace

extern "C" int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    return runWindowProgram(instance, file_dialog_host::kWindowClass, L"File dialog host", windowProc, show);
}
