#include "mainwindow/AboutBox.h"

#include <string>

#include "mainwindow/AboutText.h"
#include "qx_licence.h"
#include "qx_version.h"
#include "resources/resource.h"

void addAboutItem(HWND window)
{
    HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu)
        return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, ID_SYS_ABOUT, L"&About QX-700...");
}

bool handleAboutCommand(HWND window, UINT message, WPARAM wParam)
{
    // The low four bits of a system command are the system's own.
    const bool about = (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == ID_SYS_ABOUT) ||
                       (message == WM_COMMAND && LOWORD(wParam) == ID_SYS_ABOUT);
    if (about)
        showAbout(window);
    return about;
}

void showAbout(HWND window)
{
    const std::wstring body =
        aboutText(L"" QX_VERSION_TEXT, L"" QX_COMMIT_TEXT, kQxLicenceText);
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof box;
    box.hwndOwner = window;
    box.hInstance = GetModuleHandleW(nullptr);
    box.lpszText = body.c_str();
    box.lpszCaption = L"About QX-700";
    box.dwStyle = MB_OK | MB_USERICON;
    box.lpszIcon = MAKEINTRESOURCEW(IDI_APP_LARGE);
    box.dwLanguageId = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    MessageBoxIndirectW(&box);
}
